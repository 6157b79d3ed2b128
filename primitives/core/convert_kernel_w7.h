// The depth-conversion row kernels of the w7 level, which t7 shares: 16
// bytes widened to four vectors of floats per step; 16 floats clamped,
// converted under the MXCSR rounding and packed to 16 bytes per step. Only the
// w7 and t7 level files include this.
#pragma once

#include <emmintrin.h>

#include "primitives/core/scalar_lane.h"
#include "primitives/core/vp_types.h"

namespace {

inline void Convert8u32fRow_w7(const Vp8u* src, Vp32f* dst, int count) {
    const __m128i zero = _mm_setzero_si128();
    int i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        const __m128i lo = _mm_unpacklo_epi8(b, zero), hi = _mm_unpackhi_epi8(b, zero);
        _mm_storeu_ps(dst + i, _mm_cvtepi32_ps(_mm_unpacklo_epi16(lo, zero)));
        _mm_storeu_ps(dst + i + 4, _mm_cvtepi32_ps(_mm_unpackhi_epi16(lo, zero)));
        _mm_storeu_ps(dst + i + 8, _mm_cvtepi32_ps(_mm_unpacklo_epi16(hi, zero)));
        _mm_storeu_ps(dst + i + 12, _mm_cvtepi32_ps(_mm_unpackhi_epi16(hi, zero)));
    }
    for (; i < count; ++i) dst[i] = static_cast<Vp32f>(src[i]);
}

// min(x, 255) takes 255 for NaN; then max(., 0).
inline __m128 clampToByteRangeW7(__m128 x) { return _mm_max_ps(_mm_min_ps(x, _mm_set1_ps(255.0f)), _mm_setzero_ps()); }

inline __m128i convertFour(const Vp32f* p) { return _mm_cvtps_epi32(clampToByteRangeW7(_mm_loadu_ps(p))); }

inline void Convert32f8uRow_w7(const Vp32f* src, Vp8u* dst, int count) {
    int i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m128i a = _mm_packs_epi32(convertFour(src + i), convertFour(src + i + 4));
        const __m128i b = _mm_packs_epi32(convertFour(src + i + 8), convertFour(src + i + 12));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_packus_epi16(a, b));
    }
    for (; i < count; ++i) dst[i] = static_cast<Vp8u>(_mm_cvtss_si32(clampToByteRangeW7(loadScalarLane(src + i))));
}

}  // namespace
