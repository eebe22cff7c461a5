// The math library's initialisation, tables, lookups and angle routines.
#include "math/mathlib.h"

#include <gtest/gtest.h>
#include <math.h>
#include <string.h>

namespace {

unsigned int Bits(float f) {
    unsigned int bits;
    memcpy(&bits, &f, sizeof(bits));
    return bits;
}

// The x87 sine-cosine: results within one float step of the double-precision library's,
// and exactly the values the tables pin.
TEST(MathLibTest, SinCosMatchesTheLibraryToTheFloatStep) {
    const float angles[] = {0.0f, 1e-30f, 0.5f, -0.5f, 1.5707964f, 3.1415927f, -3.1415927f, 100.0f, -1234.5f, 1e6f};
    for (float a : angles) {
        float s = -7, c = -7;
        SinCos(a, &s, &c);
        EXPECT_NEAR(s, sin(static_cast<double>(a)), 1e-7 + 6e-8 * fabs(sin(static_cast<double>(a)))) << a;
        EXPECT_NEAR(c, cos(static_cast<double>(a)), 1e-7 + 6e-8 * fabs(cos(static_cast<double>(a)))) << a;
    }
    float s, c;
    SinCos(0.0f, &s, &c);
    EXPECT_EQ(Bits(s), 0u);
    EXPECT_EQ(c, 1.0f);
    // Beyond the instruction's range the library answers; NaN stays NaN.
    SinCos(1e30f, &s, &c);
    EXPECT_EQ(s, static_cast<float>(sin(static_cast<double>(1e30f))));
    EXPECT_EQ(c, static_cast<float>(cos(static_cast<double>(1e30f))));
    SinCos(INFINITY, &s, &c);
    EXPECT_TRUE(isnan(s) && isnan(c));
    SinCos(NAN, &s, &c);
    EXPECT_TRUE(isnan(s) && isnan(c));
    // The x87 stack is left balanced: a float returned through st(0) still arrives.
    for (int i = 0; i < 20; ++i) SinCos(1e30f, &s, &c);
    EXPECT_EQ(_sqrtf(4.0f), 2.0f);
}

TEST(MathLibTest, AngleVectorsTurnsAnglesIntoDirections) {
    struct Case {
        QAngle angles;
        Vector forward;
    } cases[] = {
        {{0, 0, 0}, {1, 0, 0}},
        {{0, 90, 0}, {0, 1, 0}},
        {{90, 0, 0}, {0, 0, -1}},
        {{-90, 0, 0}, {0, 0, 1}},
        {{0, 180, 0}, {-1, 0, 0}},
        {{0, -90, 0}, {0, -1, 0}},
        {{45, 45, 0}, {0.5f, 0.5f, -0.70710677f}},
    };
    for (const Case& c : cases) {
        Vector f = {9, 9, 9};
        AngleVectors(c.angles, &f);
        EXPECT_NEAR(f.x, c.forward.x, 1e-6) << c.angles.x << " " << c.angles.y;
        EXPECT_NEAR(f.y, c.forward.y, 1e-6) << c.angles.x << " " << c.angles.y;
        EXPECT_NEAR(f.z, c.forward.z, 1e-6) << c.angles.x << " " << c.angles.y;
    }
}

// Bit for bit: the radians come from the float constant 0.017453292 and one SinCos per
// angle, the products are float in the stated order.
TEST(MathLibTest, AngleVectorsIsExactToTheBit) {
    const QAngle angles[] = {{12.5f, -33.25f, 71.0f}, {-80.0f, 190.0f, -5.5f}, {0.1f, 359.9f, 180.0f}};
    for (const QAngle& a : angles) {
        float sp, cp, sy, cy, sr, cr;
        SinCos(a.x * 0.017453292f, &sp, &cp);
        SinCos(a.y * 0.017453292f, &sy, &cy);
        SinCos(a.z * 0.017453292f, &sr, &cr);
        Vector f, r, u, f1;
        AngleVectors(a, &f, &r, &u);
        AngleVectors(a, &f1);
        EXPECT_EQ(Bits(f.x), Bits(cp * cy));
        EXPECT_EQ(Bits(f.y), Bits(cp * sy));
        EXPECT_EQ(Bits(f.z), Bits(-sp));
        EXPECT_EQ(memcmp(&f, &f1, sizeof(f)), 0);
        EXPECT_EQ(Bits(r.x), Bits(cr * sy - sr * sp * cy));
        EXPECT_EQ(Bits(r.y), Bits(-sr * sp * sy - cr * cy));
        EXPECT_EQ(Bits(r.z), Bits(-sr * cp));
        EXPECT_EQ(Bits(u.x), Bits(sr * sy + cr * sp * cy));
        EXPECT_EQ(Bits(u.y), Bits(cr * sp * sy - sr * cy));
        EXPECT_EQ(Bits(u.z), Bits(cr * cp));
    }
    // 0.017453292 is the float with these bits.
    EXPECT_EQ(Bits(0.017453292f), 0x3C8EFA35u);
}

TEST(MathLibTest, AngleVectorsSkipsNullOutputsAndBuildsAnOrthonormalFrame) {
    QAngle a = {30.0f, 60.0f, 45.0f};
    Vector f, r, u;
    AngleVectors(a, &f, &r, &u);
    Vector onlyRight = {7, 7, 7}, onlyUp = {8, 8, 8};
    AngleVectors(a, nullptr, &onlyRight, nullptr);
    AngleVectors(a, nullptr, nullptr, &onlyUp);
    EXPECT_EQ(memcmp(&onlyRight, &r, sizeof(r)), 0);
    EXPECT_EQ(memcmp(&onlyUp, &u, sizeof(u)), 0);
    auto dot = [](const Vector& p, const Vector& q) { return p.x * q.x + p.y * q.y + p.z * q.z; };
    EXPECT_NEAR(dot(f, r), 0, 1e-6);
    EXPECT_NEAR(dot(f, u), 0, 1e-6);
    EXPECT_NEAR(dot(r, u), 0, 1e-6);
    EXPECT_NEAR(dot(r, r), 1, 1e-6);
    EXPECT_NEAR(dot(u, u), 1, 1e-6);
    // No roll: right is horizontal and points to the right of forward (yaw 0: -y).
    AngleVectors(QAngle{0, 0, 0}, &f, &r, &u);
    EXPECT_NEAR(r.y, -1.0f, 1e-7);
    EXPECT_NEAR(u.z, 1.0f, 1e-7);
}

}  // namespace
