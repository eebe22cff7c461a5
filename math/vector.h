// The two three-float records of the game's geometry: positions and directions
// (`Vector`) and view angles in degrees (`QAngle`). Plain data; the engine passes them
// by value as three consecutive floats.
#pragma once

struct Vector {
    float x, y, z;
};

struct QAngle {
    float x, y, z;  // pitch, yaw, roll
};

static_assert(sizeof(Vector) == 12 && sizeof(QAngle) == 12, "passed to the engine as three floats");
