// The math library: processor-selected scalar and vector routines behind global function
// pointers, the sine and gamma/colour tables, the table lookups, the angle routines the
// bots steer with, and small angle, curve and integer helpers. Everything here is plain
// static data and free functions; MathLib_Init runs once on the main thread, after which
// the tables and pointers are only read.
//
// Arithmetic is fixed to the bit: float where a value is a float, C library double `pow`
// where the tables say so, truncation or round-half-to-even where stated. Out-of-range
// inputs clamp or give the documented value noted at each function; nothing traps.
#pragma once

#include "math/vector.h"
#include "tier0/platform.h"

// ---------------------------------------------------------------------------------------
// Function pointers. Constant-initialised to their plain variants, so they are usable
// from library load on, before MathLib_Init and independent of static construction order.

extern VL_EXPORT float (*pfSqrt)(float x);
extern VL_EXPORT float (*pfRSqrt)(float x);
extern VL_EXPORT float (*pfRSqrtFast)(float x);
extern VL_EXPORT float (*pfVectorNormalize)(Vector& v);
extern VL_EXPORT void (*pfVectorNormalizeFast)(Vector& v);
extern VL_EXPORT float (*pfInvRSquared)(const float* v);
extern VL_EXPORT void (*pfFastSinCos)(float radians, float* sine, float* cosine);
extern VL_EXPORT float (*pfFastCos)(float radians);

// Plain variants.
// Square root on the x87 unit (correctly rounded to float; NaN for negative input).
VL_EXPORT float _sqrtf(float x);
// 1 / _sqrtf(x), in float: +inf for 0.
VL_EXPORT float _rsqrtf(float x);
// len = sqrt(x*x + y*y + z*z); each component is multiplied by 1 / (len + FLT_EPSILON);
// returns len. A zero vector stays zero and gives 0.
VL_EXPORT float _VectorNormalize(Vector& v);
// _VectorNormalize without the result.
VL_EXPORT void _VectorNormalizeFast(Vector& v);
// 1 when r² = x*x + y*y + z*z is below 1, else 1 / r².
VL_EXPORT float _InvRSquared(const float* v);

// Estimate variants. Their precision is that of the processor's estimate instructions
// (relative error at most 1.5 * 2^-12), not of a full division or square root.
//
// The 3DNow variants keep the 3DNow contracts but are built on the SSE estimate
// instructions, which every processor running this build has (the build requires SSE2):
// selecting them never executes an instruction the processor lacks. As on 3DNow, an
// estimate saturates at FLT_MAX instead of becoming infinite, so _3DNow_Sqrt(0) is 0.
VL_EXPORT float _3DNow_Sqrt(float x);                  // x * estimate(1/sqrt(x))
VL_EXPORT float _3DNow_RSqrt(float x);                 // 1 / (x * estimate(1/sqrt(x)))
VL_EXPORT float _3DNow_VectorNormalize(Vector& v);     // 0 for an exactly-zero vector (left alone)
VL_EXPORT void _3DNow_VectorNormalizeFast(Vector& v);  // calls _3DNow_VectorNormalize
VL_EXPORT float _3DNow_InvRSquared(const float* v);    // estimate(1 / r²), no lower bound on r²

VL_EXPORT float _SSE_Sqrt(float x);                  // scalar square root instruction
VL_EXPORT float _SSE_RSqrtAccurate(float x);         // estimate e of 1/sqrt(x) refined once: 0.5 e (3 - x e e)
VL_EXPORT float _SSE_RSqrtFast(float x);             // the estimate alone
VL_EXPORT float _SSE_VectorNormalize(Vector& v);     // scaled by estimate(1/len); returns len; never selected
VL_EXPORT void _SSE_VectorNormalizeFast(Vector& v);  // scaled by refined estimate(1/sqrt(r² + FLT_EPSILON))
VL_EXPORT float _SSE_InvRSquared(const float* v);    // estimate(1 / max(r², 1))

// Sine and cosine of `radians` from one x87 sine-cosine instruction. Beyond the
// instruction's range (|radians| >= 2^63, infinities, NaN) both come from the C library
// instead: NaN for infinities and NaN.
VL_EXPORT void SinCos(float radians, float* sine, float* cosine);

// ---------------------------------------------------------------------------------------
// Initialisation and processor features.

// Reads the runtime's processor record, resets the eight pointers to their plain
// variants, sets the four feature flags (each: allowed and the processor has it), points
// the estimate routines at the 3DNow and then the SSE variants where enabled (SSE wins on
// a processor with both), fills SinCosTable and calls BuildGammaTable. May be called
// again; every call recomputes everything from its arguments.
VL_EXPORT void MathLib_Init(float gamma, float texGamma, float brightness, int overbright, bool allow3DNow,
                            bool allowSSE, bool allowSSE2, bool allowMMX);
VL_EXPORT bool MathLib_3DNowEnabled();
VL_EXPORT bool MathLib_MMXEnabled();
VL_EXPORT bool MathLib_SSEEnabled();
VL_EXPORT bool MathLib_SSE2Enabled();

// ---------------------------------------------------------------------------------------
// Tables: zero until MathLib_Init (or the builders below) fill them.

extern VL_EXPORT float SinCosTable[256];                // sin(2 pi i / 256)
extern VL_EXPORT unsigned char texgammaremap[256];      // texture byte re-mapped for the texture gamma
extern VL_EXPORT int screenramp[1024];                  // linear i/1023 to a screen byte
extern VL_EXPORT int texencode[1024];                   // linear i/1023 to a texture byte
extern VL_EXPORT float texdecode[256];                  // texture byte to linear
extern VL_EXPORT float gammaencode22[256];              // (i/255)^(1/2.2)
extern VL_EXPORT float gammadecode22[256];              // (i/255)^2.2
extern VL_EXPORT float power2_n[256];                   // 2^(i - 128) / 255
extern VL_EXPORT float lineartovertex[4096];            // linear i/1024 to a vertex light level, at most 1
extern VL_EXPORT unsigned char lineartolightmap[4096];  // linear i/1024 to a light-map byte

VL_EXPORT void InitSinCosTable();
// Fills every table above except SinCosTable. gamma above 3 is lowered to 3 for the
// screen and texture tables (not for lineartovertex/lineartolightmap); overbright 2 and 4
// scale the light tables by 1/2 and 1/4, anything else by 1.
VL_EXPORT void BuildGammaTable(float gamma, float texGamma, float brightness, int overbright);
VL_EXPORT void BuildExponentTable();

// Table lookups. Each clamps its index into the table; NaN counts as below the range.
VL_EXPORT float TextureToLinear(int c);           // 0 below 0, 1 above 255, else texdecode[c]
VL_EXPORT int LinearToTexture(float f);           // texencode[clamp((int)(1023 f), 0, 1023)]
VL_EXPORT int LinearToScreenGamma(float f);       // screenramp[clamp((int)(1023 f), 0, 1023)]
VL_EXPORT float GammaToLinear(float f);           // 0 below 0, 1 from 0.95, else gammadecode22[round(255 f)]
VL_EXPORT float LinearToGamma(float f);           // 0 below 0, 1 above 1, else gammaencode22[round(255 f)]
VL_EXPORT float GammaToLinearFullRange(float f);  // f^2.2 (2.2 in float precision)
VL_EXPORT float LinearToGammaFullRange(float f);  // f^(1/2.2) (in float precision)

// ---------------------------------------------------------------------------------------
// Angles (degrees) and directions.

// forward = (cp cy, cp sy, -sp), degrees turned into radians by the float 0.017453292.
VL_EXPORT void AngleVectors(const QAngle& angles, Vector* forward);
// As above, plus right and up from the roll; a null output is skipped.
VL_EXPORT void AngleVectors(const QAngle& angles, Vector* forward, Vector* right, Vector* up);
// Pitch and yaw in [0, 360] of a direction (a negative angle has 360 added in float),
// roll 0. Straight up is pitch 270, straight
// down (and the zero vector) pitch 90, both with yaw 0. The square root goes through pfSqrt.
VL_EXPORT void VectorAngles(const Vector& forward, QAngle& angles);
// The same over three-float arrays, with the x87 square root.
VL_EXPORT void VectorAngles(const float* forward, float* angles);
// The angle brought into [-180, 180].
VL_EXPORT float AngleNormalize(float angle);
// The angle brought into [0, 360).
VL_EXPORT float AngleNormalizePositive(float angle);

extern VL_EXPORT const Vector vec3_origin;    // (0, 0, 0)
extern VL_EXPORT const QAngle vec3_angle;     // (0, 0, 0)
extern VL_EXPORT const Vector vec3_invalid;   // FLT_MAX in every component
extern VL_EXPORT const unsigned int nanmask;  // 0x7F800000, the float exponent bits

// ---------------------------------------------------------------------------------------
// Angle and scalar helpers.

// value moved toward target by at most speed.
VL_EXPORT float Approach(float target, float value, float speed);
// Both angles quantised to 65536 steps per turn, then value moved the short way round
// toward target by at most |speed|; the result is not wrapped back into [0, 360).
VL_EXPORT float ApproachAngle(float target, float value, float speed);
// fmod(destAngle - srcAngle, 360), moved by one turn into [-180, 180]: -20 for (350, 10),
// 20 for (10, 350). Exactly half a turn comes out as -180 when destAngle > srcAngle and
// as 180 otherwise.
VL_EXPORT float AngleDiff(float destAngle, float srcAngle);
// next - cur, corrected by one turn when more than half a turn apart.
VL_EXPORT float AngleDistance(float next, float cur);
// |AngleDiff(a, b)| < tolerance.
VL_EXPORT bool AnglesAreEqual(float a, float b, float tolerance);
// out = in rotated about z by yaw degrees; in and out may be one object.
VL_EXPORT void VectorYawRotate(const Vector& in, float yaw, Vector& out);
// Shaping curves over [0, 1]. Bias and Gain share a one-entry cache of the last amount's
// exponent ln(amount) * -1.4427.
VL_EXPORT float Bias(float x, float amount);
VL_EXPORT float Gain(float x, float amount);
VL_EXPORT float SmoothCurve(float x);  // (1 - cos(pi x)) / 2
// Number of right shifts until value is 0: floor(log2(value)) for value >= 1; 0 for 0,
// 1 and every negative value.
VL_EXPORT int Q_log2(int value);
// The smallest power of two >= n; 1 for n <= 1; 2^30 (the largest power of two an int
// holds) for every n above 2^30.
VL_EXPORT int CeilPow2(int n);
// CeilPow2's power halved: the largest power of two below n (8 gives 4); 0 for n <= 1;
// 2^30 for every n above 2^30.
VL_EXPORT int FloorPow2(int n);
// Greatest common divisor of |a| and |b|; gcd(a, 0) = |a|, 0 when both are 0. The one
// magnitude an int cannot hold, 2^31 (gcd of INT_MIN with 0 or INT_MIN), comes back as
// INT_MIN.
VL_EXPORT int GreatestCommonDivisor(int a, int b);
// Exponent bits all 0 and mantissa bits not: a subnormal float (0 and -0 are not).
VL_EXPORT bool IsDenormal(const float& f);
// Floor division: numerator = whole * denominator + fraction, 0 <= fraction < denominator
// for a positive integral denominator. A zero denominator, a NaN argument or a quotient
// beyond the int range has no such pair: a zero denominator or NaN gives 0 and 0, and
// int conversions saturate at INT_MIN and INT_MAX.
VL_EXPORT void FloorDivMod(double numerator, double denominator, int* whole, int* fraction);
