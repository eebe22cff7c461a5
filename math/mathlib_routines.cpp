// The routines behind the math library's function pointers: the plain variants on the
// x87 unit and in float, and the estimate-instruction variants. The estimates are the
// SSE instructions (rsqrtss, rcpss) for both estimate families; see mathlib.h.
#include <float.h>
#include <math.h>
#include <xmmintrin.h>

#include "math/mathlib.h"

namespace {

float SumOfSquares(float x, float y, float z) { return x * x + y * y + z * z; }

float EstimateRSqrt(float x) { return _mm_cvtss_f32(_mm_rsqrt_ss(_mm_set_ss(x))); }
float EstimateReciprocal(float x) { return _mm_cvtss_f32(_mm_rcp_ss(_mm_set_ss(x))); }

// The 3DNow estimates know no infinity: they saturate at the largest finite float.
float Saturate(float estimate) { return estimate > FLT_MAX ? FLT_MAX : estimate; }

}  // namespace

float _sqrtf(float x) {
    // fsqrt rounds to the x87 precision and the store rounds again to float; with at
    // least 2 * 24 + 2 bits in between, that is the correctly rounded float root.
    float root;
    __asm__("fsqrt" : "=t"(root) : "0"(x));
    return root;
}

float _rsqrtf(float x) { return 1.0f / _sqrtf(x); }

float _VectorNormalize(Vector& v) {
    float length = _sqrtf(SumOfSquares(v.x, v.y, v.z));
    float scale = 1.0f / (length + FLT_EPSILON);
    v.x *= scale;
    v.y *= scale;
    v.z *= scale;
    return length;
}

void _VectorNormalizeFast(Vector& v) { _VectorNormalize(v); }

float _InvRSquared(const float* v) {
    float r2 = SumOfSquares(v[0], v[1], v[2]);
    return r2 < 1.0f ? 1.0f : 1.0f / r2;
}

float _3DNow_Sqrt(float x) { return x * Saturate(EstimateRSqrt(x)); }

float _3DNow_RSqrt(float x) { return 1.0f / (x * Saturate(EstimateRSqrt(x))); }

float _3DNow_VectorNormalize(Vector& v) {
    if (v.x == 0.0f && v.y == 0.0f && v.z == 0.0f) return 0.0f;
    float r2 = SumOfSquares(v.x, v.y, v.z);
    float scale = Saturate(EstimateRSqrt(r2));
    v.x *= scale;
    v.y *= scale;
    v.z *= scale;
    return r2 * scale;
}

void _3DNow_VectorNormalizeFast(Vector& v) { _3DNow_VectorNormalize(v); }

float _3DNow_InvRSquared(const float* v) { return Saturate(EstimateReciprocal(SumOfSquares(v[0], v[1], v[2]))); }

float _SSE_Sqrt(float x) { return _mm_cvtss_f32(_mm_sqrt_ss(_mm_set_ss(x))); }

float _SSE_RSqrtAccurate(float x) {
    float e = EstimateRSqrt(x);
    return 0.5f * e * (3.0f - x * e * e);
}

float _SSE_RSqrtFast(float x) { return EstimateRSqrt(x); }

float _SSE_VectorNormalize(Vector& v) {
    float length = _SSE_Sqrt(SumOfSquares(v.x, v.y, v.z));
    if (length == 0.0f) return 0.0f;
    float scale = EstimateReciprocal(length);
    v.x *= scale;
    v.y *= scale;
    v.z *= scale;
    return length;
}

void _SSE_VectorNormalizeFast(Vector& v) {
    float scale = _SSE_RSqrtAccurate(SumOfSquares(v.x, v.y, v.z) + FLT_EPSILON);
    v.x *= scale;
    v.y *= scale;
    v.z *= scale;
}

float _SSE_InvRSquared(const float* v) {
    float r2 = SumOfSquares(v[0], v[1], v[2]);
    return EstimateReciprocal(r2 > 1.0f ? r2 : 1.0f);
}

void SinCos(float radians, float* sine, float* cosine) {
    // fsincos leaves an operand of 2^63 or more (and infinities and NaN) unreduced and
    // pushes nothing; the C library reduces those exactly instead.
    if (!(fabsf(radians) < 0x1p63f)) {
        *sine = static_cast<float>(sin(static_cast<double>(radians)));
        *cosine = static_cast<float>(cos(static_cast<double>(radians)));
        return;
    }
    float s, c;
    __asm__("fsincos" : "=t"(c), "=u"(s) : "0"(radians));
    *sine = s;
    *cosine = c;
}
