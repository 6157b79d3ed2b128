// The 8-bit image sum of the w7 level, which t7 shares: 16 aligned bytes at a
// time through the SSE2 sum of absolute differences against zero into two
// 64-bit lanes, the bytes before the first boundary and after the last whole
// block one by one. Only the w7 and t7 level files include this.
#pragma once

#include <emmintrin.h>

#include <cstdint>

#include "primitives/core/pixel_px.h"
#include "primitives/core/vp_types.h"

namespace {

inline double SumImage_8u_w7(const Vp8u* pSrc, int srcStep, int width, int height) {
    __m128i lanes = _mm_setzero_si128();
    std::uint64_t single = 0;
    for (int y = 0; y < height; ++y) {
        const Vp8u* p = vp_px::rowAt(pSrc, srcStep, y);
        int i = 0;
        const int head = static_cast<int>((16 - (reinterpret_cast<std::uintptr_t>(p) & 15)) & 15);
        if (width > head)
            for (; i < head; ++i) single += p[i];
        for (; i + 16 <= width; i += 16)
            lanes = _mm_add_epi64(lanes, _mm_sad_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)),
                                                      _mm_setzero_si128()));
        for (int k = width - 1; k >= i; --k) single += p[k];
    }
    std::uint64_t parts[2];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(parts), lanes);
    return static_cast<double>(parts[0] + parts[1] + single);
}

}  // namespace
