// The math library's angle, curve and integer helpers.
#include <float.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <math.h>
#include <string.h>

#include "math/mathlib.h"

namespace {

unsigned int Bits(float f) {
    unsigned int bits;
    memcpy(&bits, &f, sizeof(bits));
    return bits;
}

TEST(MathHelpersTest, ApproachMovesByAtMostTheSpeed) {
    EXPECT_EQ(Approach(10, 0, 3), 3.0f);
    EXPECT_EQ(Approach(10, 9, 3), 10.0f);
    EXPECT_EQ(Approach(-10, 0, 3), -3.0f);
    EXPECT_EQ(Approach(10, 7, 3), 10.0f) << "exactly the speed away reaches the target";
    EXPECT_EQ(Approach(-10, -7, 3), -10.0f);
    EXPECT_EQ(Approach(5, 5, 0), 5.0f);
}

// The quantised angle of a, computed with 64-bit integers.
float Quantised(float a) {
    float scaled = a * 182.04445f;
    long long truncated = static_cast<long long>(scaled);
    return 0.0054931640625f * static_cast<float>(truncated & 65535);
}

TEST(MathHelpersTest, ApproachAngleQuantisesAndTakesTheShortWay) {
    EXPECT_EQ(Bits(182.04445f), 0x43360B61u);
    EXPECT_EQ(ApproachAngle(10, 350, 5), 354.99695f);
    EXPECT_EQ(ApproachAngle(350, 10, 5), 9.99755859375f - 5.0f) << "the short way down, not wrapped";
    EXPECT_EQ(ApproachAngle(350, 10, -5), 9.99755859375f - 5.0f) << "the speed counts by its magnitude";
    EXPECT_EQ(ApproachAngle(10, 350, 1000), 9.99755859375f) << "within reach: the quantised target";
    EXPECT_EQ(ApproachAngle(-10, 0, 1000), 0.0054931640625f * 63716) << "negative angles wrap in 16 bits";
    EXPECT_EQ(ApproachAngle(360, 0, 1000), 0.0f);
    // Half a turn away counts as not more than half a turn: no correction.
    EXPECT_EQ(ApproachAngle(180, 0, 1), 1.0f);
    EXPECT_EQ(ApproachAngle(0, 180, 1), 179.0f);
    // The quantisation matches the integer one everywhere in the int range and beyond.
    const float angles[] = {0.0f,   0.005f,  -0.005f, 1.0f,    -1.0f, 359.999f, 12345.678f, -98765.43f,
                            1.1e7f, -1.1e7f, 1.2e7f,  -1.2e7f, 1e10f, -1e10f,   3e12f,      1e30f};
    for (float a : angles) EXPECT_EQ(ApproachAngle(a, 0, 1000), Quantised(a)) << a;
    EXPECT_EQ(ApproachAngle(NAN, 0, 1000), 0.0f);
    EXPECT_EQ(ApproachAngle(INFINITY, 0, 1000), 0.0f);
}

TEST(MathHelpersTest, AngleDifferencesTakeTheShortWay) {
    struct {
        float a, b, diff, distance;
    } cases[] = {
        {350, 10, -20, -20},
        {10, 350, 20, 20},
        {0, 0, 0, 0},
        {180, 0, -180, 180},
        {0, 180, 180, -180},
        {190, 10, -180, 180},
        {720, 0, 0, 360},
        {-720, 0, 0, -360},
        {370, 0, 10, 10},
        {0, 370, -10, -10},
        {179, 0, 179, 179},
        {181, 0, -179, -179},
        {0, 181, 179, 179},
        {-180, 0, 180, -180},
        // One turn of correction only: inputs further apart stay outside.
        {900, 0, -180, 540},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AngleDiff(c.a, c.b), c.diff) << c.a << " " << c.b;
        EXPECT_EQ(AngleDistance(c.a, c.b), c.distance) << c.a << " " << c.b;
    }
    EXPECT_TRUE(AnglesAreEqual(359, 1, 3));
    EXPECT_FALSE(AnglesAreEqual(359, 1, 2)) << "the bound is strict";
    EXPECT_TRUE(AnglesAreEqual(1, 359, 2.5f));
    EXPECT_TRUE(AnglesAreEqual(720, 0, 0.001f));
    EXPECT_FALSE(AnglesAreEqual(5, 5, 0));
}

TEST(MathHelpersTest, VectorYawRotateTurnsAboutZ) {
    Vector out = {9, 9, 9};
    VectorYawRotate(Vector{1, 0, 5}, 90, out);
    EXPECT_NEAR(out.x, 0, 1e-7);
    EXPECT_NEAR(out.y, 1, 1e-7);
    EXPECT_EQ(out.z, 5.0f);
    Vector same = {1, 0, 5};
    VectorYawRotate(same, 90, same);
    EXPECT_EQ(memcmp(&same, &out, sizeof(out)), 0) << "in and out as one object";
    Vector v = {2, 3, -1};
    VectorYawRotate(v, 33.3f, v);
    float s, c;
    SinCos(33.3f * 0.017453292f, &s, &c);
    EXPECT_EQ(Bits(v.x), Bits(2 * c - 3 * s));
    EXPECT_EQ(Bits(v.y), Bits(2 * s + 3 * c));
    EXPECT_EQ(v.z, -1.0f);
}

float Exponent(float amount) { return logf(amount) * -1.4427f; }

TEST(MathHelpersTest, ShapingCurves) {
    EXPECT_EQ(Bits(-1.4427f), 0xBFB8AA65u);
    EXPECT_NEAR(Exponent(0.5f), 1.0000035f, 1e-7f);
    EXPECT_NEAR(Bias(0.25f, 0.5f), 0.25f, 5e-6f);
    EXPECT_EQ(Bias(0, 0.3f), 0.0f);
    EXPECT_EQ(Bias(1, 0.3f), 1.0f);
    EXPECT_LT(Bias(0.5f, 0.2f), 0.5f) << "small amounts bend down";
    EXPECT_GT(Bias(0.5f, 0.8f), 0.5f) << "large amounts bend up";
    for (float a : {0.1f, 0.3f, 0.5f, 0.7f, 0.99f}) {
        EXPECT_EQ(Gain(0.5f, a), 0.5f) << a;
        EXPECT_EQ(Gain(0.0f, a), 0.0f) << a;
        EXPECT_EQ(Gain(1.0f, a), 1.0f) << a;
    }
    EXPECT_EQ(SmoothCurve(0), 0.0f);
    EXPECT_EQ(SmoothCurve(0.5f), 0.5f);
    EXPECT_EQ(SmoothCurve(1), 1.0f);
    EXPECT_EQ(SmoothCurve(0.25f), static_cast<float>((1 - cos(3.141592653589793 * 0.25)) * 0.5));

    // The shared one-entry cache never serves another amount's exponent, whatever the
    // order of amounts and of the two curves.
    struct {
        bool gain;
        float x, amount;
    } calls[] = {{false, 0.3f, 0.2f}, {false, 0.3f, 0.2f}, {true, 0.3f, 0.8f}, {false, 0.3f, 0.2f},
                 {true, 0.7f, 0.8f},  {false, 0.6f, 0.9f}, {true, 0.2f, 0.1f}, {false, 0.6f, -1.0f},
                 {false, 0.6f, 0.9f}, {true, 0.9f, 0.1f}};
    for (const auto& call : calls) {
        float expected;
        if (!call.gain) {
            expected = static_cast<float>(pow(call.x, static_cast<double>(Exponent(call.amount))));
        } else if (call.x < 0.5f) {
            expected = 0.5f * static_cast<float>(pow(2 * call.x, static_cast<double>(Exponent(1 - call.amount))));
        } else {
            expected =
                1 - 0.5f * static_cast<float>(pow(2 - 2 * call.x, static_cast<double>(Exponent(1 - call.amount))));
        }
        float actual = call.gain ? Gain(call.x, call.amount) : Bias(call.x, call.amount);
        EXPECT_EQ(Bits(actual), Bits(expected)) << (call.gain ? "Gain " : "Bias ") << call.x << " " << call.amount;
    }
}

TEST(MathHelpersTest, PowersAndLogarithmsOfTwo) {
    struct {
        int n, log2, ceil, floor;
    } cases[] = {
        {INT_MIN, 0, 1, 0},
        {-5, 0, 1, 0},
        {0, 0, 1, 0},
        {1, 0, 1, 0},
        {2, 1, 2, 1},
        {3, 1, 4, 2},
        {5, 2, 8, 4},
        {7, 2, 8, 4},
        {8, 3, 8, 4},
        {9, 3, 16, 8},
        {15, 3, 16, 8},
        {16, 4, 16, 8},
        {(1 << 30) - 1, 29, 1 << 30, 1 << 29},
        {1 << 30, 30, 1 << 30, 1 << 29},
        {(1 << 30) + 1, 30, 1 << 30, 1 << 30},
        {INT_MAX, 30, 1 << 30, 1 << 30},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Q_log2(c.n), c.log2) << c.n;
        EXPECT_EQ(CeilPow2(c.n), c.ceil) << c.n;
        EXPECT_EQ(FloorPow2(c.n), c.floor) << c.n;
    }
}

TEST(MathHelpersTest, GreatestCommonDivisor) {
    struct {
        int a, b, gcd;
    } cases[] = {
        {12, 18, 6},
        {18, 12, 6},
        {7, 0, 7},
        {0, 7, 7},
        {0, 0, 0},
        {17, 5, 1},
        {5, 5, 5},
        {1, 1, 1},
        {-12, 18, 6},
        {12, -18, 6},
        {-12, -18, 6},
        {-7, 0, 7},
        {1 << 30, 1 << 20, 1 << 20},
        {INT_MIN, 6, 2},
        {INT_MIN, -1, 1},
        {INT_MAX, INT_MAX, INT_MAX},
        {INT_MIN, 0, INT_MIN},
        {INT_MIN, INT_MIN, INT_MIN},
    };
    for (const auto& c : cases) EXPECT_EQ(GreatestCommonDivisor(c.a, c.b), c.gcd) << c.a << " " << c.b;
}

TEST(MathHelpersTest, IsDenormalLooksAtTheBitsOnly) {
    auto fromBits = [](unsigned int bits) {
        float f;
        memcpy(&f, &bits, sizeof(f));
        return f;
    };
    EXPECT_TRUE(IsDenormal(fromBits(0x00000001u)));
    EXPECT_TRUE(IsDenormal(fromBits(0x80000001u)));
    EXPECT_TRUE(IsDenormal(fromBits(0x007FFFFFu)));
    EXPECT_FALSE(IsDenormal(fromBits(0x00800000u))) << "FLT_MIN is normal";
    EXPECT_FALSE(IsDenormal(0.0f));
    EXPECT_FALSE(IsDenormal(-0.0f));
    EXPECT_FALSE(IsDenormal(1.0f));
    EXPECT_FALSE(IsDenormal(INFINITY));
    EXPECT_FALSE(IsDenormal(NAN));
}

TEST(MathHelpersTest, FloorDivModRoundsTowardMinusInfinity) {
    struct {
        double n, d;
        int whole, fraction;
    } cases[] = {
        {-7, 3, -3, 2},
        {-6, 3, -2, 0},
        {7, 3, 2, 1},
        {6, 3, 2, 0},
        {0, 3, 0, 0},
        {-1, 3, -1, 2},
        {-3, 3, -1, 0},
        {2, 3, 0, 2},
        {7.5, 2, 3, 1},
        {-7.5, 2, -4, 1},
        {1e20, 1, INT_MAX, 0},
        {-1e20, 1, INT_MIN, 0},
        // No quotient: both 0.
        {5, 0, 0, 0},
        {-5, 0, 0, 0},
        {0, 0, 0, 0},
        {NAN, 3, 0, 0},
        {3, NAN, 0, 0},
    };
    for (const auto& c : cases) {
        int whole = 99, fraction = 99;
        FloorDivMod(c.n, c.d, &whole, &fraction);
        EXPECT_EQ(whole, c.whole) << c.n << " / " << c.d;
        EXPECT_EQ(fraction, c.fraction) << c.n << " / " << c.d;
    }
    for (int n = -50; n <= 50; ++n) {
        for (int d = 1; d <= 7; ++d) {
            int whole, fraction;
            FloorDivMod(n, d, &whole, &fraction);
            ASSERT_EQ(whole * d + fraction, n) << n << " / " << d;
            ASSERT_TRUE(fraction >= 0 && fraction < d) << n << " / " << d;
        }
    }
}

}  // namespace
