// The complex magnitude of the SIMD levels, in single precision through the
// reciprocal-square-root estimate and one Newton step. It uses only the first
// streaming extension, so one body serves a6, w7 and t7; each level's file
// instantiates it under its own flags. Only level files include this header.
#pragma once

#include <xmmintrin.h>

#include <cmath>
#include <cstdint>
#include <cstring>

#include "primitives/core/vp_types.h"

namespace {

// The sum of squares must lie in [smallest normal, largest finite] for the
// estimate: an infinite sum (magnitudes above about 1.8e19) or a subnormal one
// (below about 1.1e-19) would give infinity or NaN where the magnitude is
// finite, and a sum that underflows to zero would give 0 for a nonzero
// sample. Such lanes take the exact root of the double sum instead.
inline Vp32f exactMagnitude(const Vp32fc& c) {
    const double re = c.re, im = c.im;
    return static_cast<Vp32f>(std::sqrt(re * re + im * im));
}

// Four results from the sums of squares x: x * rsqrt(x) refined by one Newton
// step; zero lanes are given 3.0 before the estimate so that they yield 0.
inline __m128 magnitudeOfSums(__m128 x) {
    const __m128 zero = _mm_cmpeq_ps(x, _mm_setzero_ps());
    const __m128 safe = _mm_or_ps(_mm_andnot_ps(zero, x), _mm_and_ps(zero, _mm_set1_ps(3.0f)));
    const __m128 y = _mm_rsqrt_ps(safe);
    const __m128 x1 = _mm_mul_ps(x, y);
    const __m128 t = _mm_mul_ps(y, x1);
    const __m128 r = _mm_mul_ps(_mm_sub_ps(_mm_set1_ps(3.0f), t), _mm_set1_ps(0.5f));
    return _mm_mul_ps(x1, r);
}

// Lanes whose sum x lies outside the estimate's range while the sample
// (re, im) is not zero (NaN sums are not among them: they give NaN either way).
inline int outOfRangeLanes(__m128 x, __m128 re, __m128 im) {
    const __m128 zero = _mm_setzero_ps();
    const __m128 nonzeroSample = _mm_or_ps(_mm_cmpneq_ps(re, zero), _mm_cmpneq_ps(im, zero));
    const __m128 tiny = _mm_and_ps(_mm_cmplt_ps(x, _mm_set1_ps(1.17549435e-38f)), nonzeroSample);
    const __m128 huge = _mm_cmpeq_ps(x, _mm_set1_ps(INFINITY));
    return _mm_movemask_ps(_mm_or_ps(tiny, huge));
}

// Four elements from 8 interleaved floats (any alignment).
inline void magnitudeBlock4(const Vp32fc* src, Vp32f* dst) {
    const float* s = reinterpret_cast<const float*>(src);
    const __m128 a = _mm_loadu_ps(s);      // re0 im0 re1 im1
    const __m128 b = _mm_loadu_ps(s + 4);  // re2 im2 re3 im3
    const __m128 a2 = _mm_mul_ps(a, a), b2 = _mm_mul_ps(b, b);
    const __m128 re2 = _mm_shuffle_ps(a2, b2, _MM_SHUFFLE(2, 0, 2, 0));
    const __m128 im2 = _mm_shuffle_ps(a2, b2, _MM_SHUFFLE(3, 1, 3, 1));
    const __m128 x = _mm_add_ps(re2, im2);
    _mm_storeu_ps(dst, magnitudeOfSums(x));
    const __m128 re = _mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0));
    const __m128 im = _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1));
    if (const int lanes = outOfRangeLanes(x, re, im))
        for (int k = 0; k < 4; ++k)
            if (lanes & (1 << k)) dst[k] = exactMagnitude(src[k]);
}

// One element by the same steps in the lowest lane, so its result does not
// depend on where it lies in the vector.
inline Vp32f magnitudeOne(const Vp32fc& c) {
    const __m128 re = _mm_set_ss(c.re), im = _mm_set_ss(c.im);
    const __m128 x = _mm_add_ss(_mm_mul_ss(re, re), _mm_mul_ss(im, im));
    if (outOfRangeLanes(x, re, im) & 1) return exactMagnitude(c);
    return _mm_cvtss_f32(magnitudeOfSums(x));
}

inline VpStatus magnitudeSimd(const Vp32fc* pSrc, Vp32f* pDst, int len) {
    if (!pSrc) return vpStsNullPtrErr;
    if (!pDst) return vpStsNullPtrErr;
    if (len <= 0) return vpStsSizeErr;
    int k = 0;
    for (; k + 4 <= len; k += 4) magnitudeBlock4(pSrc + k, pDst + k);
    for (; k < len; ++k) pDst[k] = magnitudeOne(pSrc[k]);
    return vpStsNoErr;
}

}  // namespace
