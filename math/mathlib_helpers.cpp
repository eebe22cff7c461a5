// Small angle, curve and integer helpers of the math library. The only state is the
// shaping-curve cache shared by Bias and Gain.
#include <limits.h>
#include <math.h>
#include <string.h>

#include "math/mathlib.h"
#include "math/mathlib_internal.h"

using mathlib_internal::SaturateToInt;

namespace {

// One-entry cache of the shaping-curve exponent; constant-initialised.
float s_lastBiasAmount = -1.0f;
float s_lastBiasExponent = 0.0f;

// a quantised to 65536 steps per turn: 360/65536 * ((int)(a * 182.04445) & 65535). The
// low 16 bits of the truncated product are taken exactly for every finite product, also
// beyond the int range where a plain conversion would be undefined; NaN and infinities
// quantise to 0.
float AngleMod(float a) {
    float scaled = truncf(a * 182.04445f);
    if (!isfinite(scaled)) return 0.0f;
    float low = fmodf(scaled, 65536.0f);  // exact, sign of scaled
    if (low < 0.0f) low += 65536.0f;      // exact: two's complement of the low bits
    return 0.0054931640625f * static_cast<float>(static_cast<int>(low) & 65535);
}

float BiasExponent(float amount) {
    if (amount != s_lastBiasAmount) {
        s_lastBiasExponent = logf(amount) * -1.4427f;
        s_lastBiasAmount = amount;
    }
    return s_lastBiasExponent;
}

}  // namespace

float Approach(float target, float value, float speed) {
    float delta = target - value;
    if (delta > speed) return value + speed;
    if (delta < -speed) return value - speed;
    return target;
}

float ApproachAngle(float target, float value, float speed) {
    target = AngleMod(target);
    value = AngleMod(value);
    speed = fabsf(speed);
    float delta = target - value;
    if (delta < -180.0f) {
        delta += 360.0f;
    } else if (delta > 180.0f) {
        delta -= 360.0f;
    }
    if (delta > speed) return value + speed;
    if (delta < -speed) return value - speed;
    return target;
}

float AngleDiff(float destAngle, float srcAngle) {
    float delta = static_cast<float>(fmod(static_cast<double>(destAngle - srcAngle), 360.0));
    if (destAngle > srcAngle) {
        if (delta >= 180.0f) delta -= 360.0f;
    } else {
        if (delta <= -180.0f) delta += 360.0f;
    }
    return delta;
}

float AngleDistance(float next, float cur) {
    float delta = next - cur;
    if (delta < -180.0f) return delta + 360.0f;
    if (delta > 180.0f) return delta - 360.0f;
    return delta;
}

bool AnglesAreEqual(float a, float b, float tolerance) { return fabsf(AngleDiff(a, b)) < tolerance; }

void VectorYawRotate(const Vector& in, float yaw, Vector& out) {
    const Vector source = in;  // in and out may be one object
    float s, c;
    SinCos(yaw * mathlib_internal::kDegreesToRadians, &s, &c);
    out.x = source.x * c - source.y * s;
    out.y = source.x * s + source.y * c;
    out.z = source.z;
}

float Bias(float x, float amount) {
    return static_cast<float>(pow(static_cast<double>(x), static_cast<double>(BiasExponent(amount))));
}

float Gain(float x, float amount) {
    float b = 1.0f - amount;
    if (x < 0.5f) return 0.5f * Bias(2.0f * x, b);
    return 1.0f - 0.5f * Bias(2.0f - 2.0f * x, b);
}

float SmoothCurve(float x) { return static_cast<float>((1.0 - cos(3.141592653589793 * x)) * 0.5); }

int Q_log2(int value) {
    int shifts = 0;
    if (value <= 0) return 0;  // a negative value never shifts down to 0
    while (value >>= 1) ++shifts;
    return shifts;
}

int CeilPow2(int n) {
    if (n > (1 << 30)) return 1 << 30;  // 2^31 does not fit: saturate
    int power = 1;
    while (power < n) power <<= 1;
    return power;
}

int FloorPow2(int n) {
    if (n > (1 << 30)) return 1 << 30;  // half of the 2^31 the doubling would reach
    return CeilPow2(n) >> 1;
}

int GreatestCommonDivisor(int a, int b) {
    // Magnitudes in unsigned arithmetic: no endless loop on signs, no INT_MIN % -1 trap.
    unsigned int x = a < 0 ? 0u - static_cast<unsigned int>(a) : static_cast<unsigned int>(a);
    unsigned int y = b < 0 ? 0u - static_cast<unsigned int>(b) : static_cast<unsigned int>(b);
    while (x != 0 && y != 0) {
        if (x > y) {
            x %= y;
        } else {
            y %= x;
        }
    }
    unsigned int result = x != 0 ? x : y;
    return result > static_cast<unsigned int>(INT_MAX) ? INT_MIN : static_cast<int>(result);
}

bool IsDenormal(const float& f) {
    unsigned int bits;
    memcpy(&bits, &f, sizeof(bits));
    return (bits & 0x7F800000u) == 0 && (bits & 0x007FFFFFu) != 0;
}

void FloorDivMod(double numerator, double denominator, int* whole, int* fraction) {
    if (denominator == 0.0 || numerator != numerator || denominator != denominator) {
        *whole = 0;
        *fraction = 0;
        return;
    }
    if (numerator >= 0.0) {
        double q = floor(numerator / denominator);
        double r = floorf(static_cast<float>(numerator - denominator * q));
        *whole = SaturateToInt(q);
        *fraction = SaturateToInt(r);
    } else {
        double q = floor(-numerator / denominator);
        double r = floorf(static_cast<float>(-numerator - q * denominator));
        // q and r are integral, so negating and subtracting in double is exact.
        if (r == 0.0) {
            *whole = SaturateToInt(-q);
            *fraction = 0;
        } else {
            *whole = SaturateToInt(-q - 1.0);
            *fraction = SaturateToInt(static_cast<double>(SaturateToInt(denominator)) - SaturateToInt(r));
        }
    }
}
