// a6 level of the depth conversions: bytes widened through MMX words into
// SSE floats; floats clamped in SSE registers and converted two at a time
// into MMX words under the MXCSR rounding, then packed to bytes.
#include <mmintrin.h>
#include <xmmintrin.h>

#include <cstring>

#include "primitives/core/scalar_lane.h"
#include "primitives/core/convert_simd.h"
#include "primitives/core/dispatch_variants.h"

namespace {

void Convert8u32fRow_a6(const Vp8u* src, Vp32f* dst, int count) {
    int i = 0;
    for (; i + 4 <= count; i += 4) {
        int word;
        std::memcpy(&word, src + i, 4);
        _mm_storeu_ps(dst + i, _mm_cvtpu8_ps(_mm_cvtsi32_si64(word)));
    }
    for (; i < count; ++i) dst[i] = static_cast<Vp32f>(src[i]);
    _mm_empty();
}

// min(x, 255) takes 255 for NaN; then max(., 0).
inline __m128 clampToByteRange(__m128 x) {
    return _mm_max_ps(_mm_min_ps(x, _mm_set1_ps(255.0f)), _mm_setzero_ps());
}

void Convert32f8uRow_a6(const Vp32f* src, Vp8u* dst, int count) {
    int i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128 c = clampToByteRange(_mm_loadu_ps(src + i));
        const __m64 lo = _mm_cvtps_pi32(c), hi = _mm_cvtps_pi32(_mm_movehl_ps(c, c));
        const __m64 bytes = _mm_packs_pu16(_mm_packs_pi32(lo, hi), _mm_setzero_si64());
        const int word = _mm_cvtsi64_si32(bytes);
        std::memcpy(dst + i, &word, 4);
    }
    for (; i < count; ++i) dst[i] = static_cast<Vp8u>(_mm_cvtss_si32(clampToByteRange(loadScalarLane(src + i))));
    _mm_empty();
}

}  // namespace

VP_DEFINE_CONVERT_ROUTINES(a6, Convert8u32fRow_a6, Convert32f8uRow_a6)
