// The math library's state and initialisation: the function pointers and feature flags,
// MathLib_Init's processor selection, the sine and gamma/colour tables with their
// lookups, the angle routines, and the constant vectors.
#include "math/mathlib.h"

#include <float.h>
#include <limits.h>
#include <math.h>
#include <string.h>

#include "math/mathlib_internal.h"
#include "tier0/cpu.h"

using mathlib_internal::kDegreesToRadians;

using mathlib_internal::SaturateToInt;

// All constant-initialised: usable before any static constructor has run.
float (*pfSqrt)(float) = _sqrtf;
float (*pfRSqrt)(float) = _rsqrtf;
float (*pfRSqrtFast)(float) = _rsqrtf;
float (*pfVectorNormalize)(Vector&) = _VectorNormalize;
void (*pfVectorNormalizeFast)(Vector&) = _VectorNormalizeFast;
float (*pfInvRSquared)(const float*) = _InvRSquared;
void (*pfFastSinCos)(float, float*, float*) = SinCos;
float (*pfFastCos)(float) = cosf;

const Vector vec3_origin = {0.0f, 0.0f, 0.0f};
const QAngle vec3_angle = {0.0f, 0.0f, 0.0f};
const Vector vec3_invalid = {FLT_MAX, FLT_MAX, FLT_MAX};
const unsigned int nanmask = 0x7F800000u;

float SinCosTable[256];
unsigned char texgammaremap[256];
int screenramp[1024];
int texencode[1024];
float texdecode[256];
float gammaencode22[256];
float gammadecode22[256];
float power2_n[256];
float lineartovertex[4096];
unsigned char lineartolightmap[4096];

namespace {

bool s_b3DNowEnabled = false;
bool s_bMMXEnabled = false;
bool s_bSSEEnabled = false;
bool s_bSSE2Enabled = false;

// 1/2.2 and 2.2 as floats, used in double arithmetic.
constexpr double kEncodeExponent22 = 0.45454543828964233;
constexpr double kDecodeExponent22 = 2.200000047683716;

int ClampByte(int value) { return value < 0 ? 0 : (value > 255 ? 255 : value); }

// Index of a linear intensity into the 1024-entry tables: (int)(1023 f) in float,
// clamped to 0..1023 (NaN to 0).
int LinearIndex1023(float f) {
    float scaled = 1023.0f * f;
    if (!(scaled > 0.0f)) return 0;
    if (scaled >= 1023.0f) return 1023;
    return static_cast<int>(scaled);
}

// f * 255 rounded to the nearest integer, ties to even, for f in [0, 1].
int ByteIndexRounded(float f) { return static_cast<int>(nearbyintf(f * 255.0f)); }

}  // namespace

bool MathLib_3DNowEnabled() { return s_b3DNowEnabled; }
bool MathLib_MMXEnabled() { return s_bMMXEnabled; }
bool MathLib_SSEEnabled() { return s_bSSEEnabled; }
bool MathLib_SSE2Enabled() { return s_bSSE2Enabled; }

void MathLib_Init(float gamma, float texGamma, float brightness, int overbright, bool allow3DNow, bool allowSSE,
                  bool allowSSE2, bool allowMMX) {
    const CPUInformation& cpu = *GetCPUInformation();

    pfSqrt = _sqrtf;
    pfRSqrt = _rsqrtf;
    pfRSqrtFast = _rsqrtf;
    pfVectorNormalize = _VectorNormalize;
    pfVectorNormalizeFast = _VectorNormalizeFast;
    pfInvRSquared = _InvRSquared;
    pfFastSinCos = SinCos;
    pfFastCos = cosf;

    s_bMMXEnabled = allowMMX && cpu.m_bMMX;

    s_b3DNowEnabled = allow3DNow && cpu.m_b3DNow;
    if (s_b3DNowEnabled) {
        pfVectorNormalize = _3DNow_VectorNormalize;
        pfVectorNormalizeFast = _3DNow_VectorNormalizeFast;
        pfInvRSquared = _3DNow_InvRSquared;
        pfSqrt = _3DNow_Sqrt;
        pfRSqrt = _3DNow_RSqrt;
        pfRSqrtFast = _3DNow_RSqrt;
    }

    // On a processor with both, the SSE choices replace the 3DNow ones.
    s_bSSEEnabled = allowSSE && cpu.m_bSSE;
    if (s_bSSEEnabled) {
        pfVectorNormalize = _VectorNormalize;
        pfVectorNormalizeFast = _SSE_VectorNormalizeFast;
        pfInvRSquared = _SSE_InvRSquared;
        pfSqrt = _SSE_Sqrt;
        pfRSqrt = _SSE_RSqrtAccurate;
        pfRSqrtFast = _SSE_RSqrtFast;
    }

    s_bSSE2Enabled = allowSSE2 && cpu.m_bSSE2;

    InitSinCosTable();
    BuildGammaTable(gamma, texGamma, brightness, overbright);
}

void InitSinCosTable() {
    for (int i = 0; i < 256; ++i) {
        SinCosTable[i] = static_cast<float>(sin(static_cast<double>(i + i) * M_PI * 0.00390625));
    }
}

void BuildExponentTable() {
    for (int i = 0; i < 256; ++i) {
        power2_n[i] = static_cast<float>(pow(2.0, i - 128) / 255.0);
    }
}

// Intermediate arithmetic is double throughout, from the float arguments, except the
// per-byte intensity of step 5, which is a float.
void BuildGammaTable(float gamma, float texGamma, float brightness, int overbright) {
    double g = gamma > 3.0f ? 3.0 : static_cast<double>(gamma);
    double invG = 1.0 / g;

    double toe;
    if (brightness <= 0.0f) {
        toe = 0.125;
    } else if (brightness > 1.0f) {
        toe = 0.05;
    } else {
        toe = 0.125 - 0.075 * (static_cast<double>(brightness) * brightness);
    }

    double texExponent = texGamma / g;
    for (int i = 0; i < 256; ++i) {
        texgammaremap[i] = static_cast<unsigned char>(ClampByte(SaturateToInt(pow(i / 255.0, texExponent) * 255.0)));
    }

    for (int i = 0; i < 1024; ++i) {
        double f = i / 1023.0;
        if (brightness > 1.0f) f *= brightness;
        if (f <= toe) {
            f = (f / toe) * 0.125;
        } else {
            f = 0.125 + ((f - toe) / (1.0 - toe)) * 0.875;
        }
        screenramp[i] = ClampByte(SaturateToInt(pow(f, invG) * 255.0));
    }

    for (int i = 0; i < 256; ++i) {
        float f = i / 255.0f;
        texdecode[i] = static_cast<float>(pow(f, texGamma));
        gammaencode22[i] = static_cast<float>(pow(f, kEncodeExponent22));
        gammadecode22[i] = static_cast<float>(pow(f, kDecodeExponent22));
    }

    double texEncodeExponent = 1.0 / texGamma;
    for (int i = 0; i < 1024; ++i) {
        // Not clamped: for a positive texture gamma every entry is within 0..255 anyway.
        texencode[i] = SaturateToInt(pow(i / 1023.0, texEncodeExponent) * 255.0);
    }

    BuildExponentTable();

    double factor = overbright == 2 ? 0.5 : (overbright == 4 ? 0.25 : 1.0);
    double lightExponent = 1.0 / gamma;  // the gamma as given, not lowered to 3
    for (int i = 0; i < 4096; ++i) {
        double f = pow(i * 0.0009765625, lightExponent);
        double vertex = f * factor;
        lineartovertex[i] = static_cast<float>(vertex > 1.0 ? 1.0 : vertex);
        // Round half to even (the default rounding mode), clamped before converting.
        double level = nearbyint(f * 255.0 * factor);
        lineartolightmap[i] = static_cast<unsigned char>(!(level > 0.0) ? 0 : (level > 255.0 ? 255 : level));
    }
}

float TextureToLinear(int c) {
    if (c < 0) return 0.0f;
    if (c > 255) return 1.0f;
    return texdecode[c];
}

int LinearToTexture(float f) { return texencode[LinearIndex1023(f)]; }

int LinearToScreenGamma(float f) { return screenramp[LinearIndex1023(f)]; }

float GammaToLinear(float f) {
    if (!(f >= 0.0f)) return 0.0f;
    if (f >= 0.95f) return 1.0f;
    return gammadecode22[ByteIndexRounded(f)];
}

float LinearToGamma(float f) {
    if (!(f >= 0.0f)) return 0.0f;
    if (f > 1.0f) return 1.0f;
    return gammaencode22[ByteIndexRounded(f)];
}

float GammaToLinearFullRange(float f) { return static_cast<float>(pow(f, kDecodeExponent22)); }

float LinearToGammaFullRange(float f) { return static_cast<float>(pow(f, kEncodeExponent22)); }

void AngleVectors(const QAngle& angles, Vector* forward) {
    float sp, cp, sy, cy;
    SinCos(angles.x * kDegreesToRadians, &sp, &cp);
    SinCos(angles.y * kDegreesToRadians, &sy, &cy);
    forward->x = cp * cy;
    forward->y = cp * sy;
    forward->z = -sp;
}

void AngleVectors(const QAngle& angles, Vector* forward, Vector* right, Vector* up) {
    float sp, cp, sy, cy, sr, cr;
    SinCos(angles.x * kDegreesToRadians, &sp, &cp);
    SinCos(angles.y * kDegreesToRadians, &sy, &cy);
    SinCos(angles.z * kDegreesToRadians, &sr, &cr);
    if (forward) {
        forward->x = cp * cy;
        forward->y = cp * sy;
        forward->z = -sp;
    }
    if (right) {
        right->x = cr * sy - sr * sp * cy;
        right->y = -sr * sp * sy - cr * cy;
        right->z = -sr * cp;
    }
    if (up) {
        up->x = sr * sy + cr * sp * cy;
        up->y = cr * sp * sy - sr * cy;
        up->z = cr * cp;
    }
}

namespace {

// atan2 and the scaling to degrees in double, stored as float; negative angles are
// brought into [0, 360) in float.
float DegreesOfAtan2(float y, float x) {
    float degrees = static_cast<float>(atan2(static_cast<double>(y), static_cast<double>(x)) * 180.0 / M_PI);
    if (degrees < 0.0f) degrees += 360.0f;
    return degrees;
}

void VectorAnglesWith(float (*root)(float), const float forward[3], float angles[3]) {
    float pitch, yaw;
    if (forward[0] == 0.0f && forward[1] == 0.0f) {
        yaw = 0.0f;
        pitch = forward[2] > 0.0f ? 270.0f : 90.0f;
    } else {
        yaw = DegreesOfAtan2(forward[1], forward[0]);
        float horizontal = root(forward[0] * forward[0] + forward[1] * forward[1]);
        pitch = DegreesOfAtan2(-forward[2], horizontal);
    }
    angles[0] = pitch;
    angles[1] = yaw;
    angles[2] = 0.0f;
}

}  // namespace

void VectorAngles(const Vector& forward, QAngle& angles) {
    const float in[3] = {forward.x, forward.y, forward.z};
    float out[3];
    VectorAnglesWith(pfSqrt, in, out);
    angles.x = out[0];
    angles.y = out[1];
    angles.z = out[2];
}

void VectorAngles(const float* forward, float* angles) { VectorAnglesWith(_sqrtf, forward, angles); }

float AngleNormalize(float angle) {
    angle = fmodf(angle, 360.0f);
    if (angle > 180.0f) {
        angle -= 360.0f;
    } else if (angle < -180.0f) {
        angle += 360.0f;
    }
    return angle;
}

float AngleNormalizePositive(float angle) {
    angle = fmodf(angle, 360.0f);
    if (angle < 0.0f) {
        angle += 360.0f;
        // A remainder just below 0 rounds up to a whole turn, which is 0.
        if (angle >= 360.0f) angle = 0.0f;
    }
    return angle;
}
