// The image sums of the SIMD levels. The float sum's fast method keeps four
// single-precision accumulators of four lanes per row, filled in a fixed
// pattern that depends on the row's alignment, and adds each row's two lane
// sums to a double total; it uses only first-extension instructions, so one
// body serves a6, w7 and t7. The accurate hint runs the px method. The 8-bit
// sum is exact at every level; each level passes its own kernel for it.
// Only level files include this header.
#pragma once

#include <xmmintrin.h>

#include <cstdint>

#include "primitives/core/dispatch_variants.h"
#include "primitives/core/pixel_px.h"

namespace {

// One row's value by the fast method.
inline void sumRowFast(const Vp32f* p, int width, double& total) {
    __m128 A = _mm_setzero_ps(), B = A, C = A, D = A;
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(p);
    int i = 0;
    auto two = [&](int k) { return _mm_set_ps(0.0f, 0.0f, p[k + 1], p[k]); };
    auto one = [&](int k) { return _mm_set_ss(p[k]); };
    if ((address & 3) == 0) {
        if (address & 15) {
            const int k = static_cast<int>((16 - (address & 15)) / 4);
            if (width >= k) {
                if (k >= 2) A = _mm_add_ps(A, two(0));
                if (k & 1) B = _mm_add_ps(B, one(k - 1));
                i = k;
            }
        }
        if (i > 0 || (address & 15) == 0)
            for (; i + 16 <= width; i += 16) {
                A = _mm_add_ps(A, _mm_load_ps(p + i));
                B = _mm_add_ps(B, _mm_load_ps(p + i + 4));
                C = _mm_add_ps(C, _mm_load_ps(p + i + 8));
                D = _mm_add_ps(D, _mm_load_ps(p + i + 12));
            }
    } else {
        for (; i + 4 <= width; i += 4) A = _mm_add_ps(A, _mm_loadu_ps(p + i));
    }
    const int r = width - i;
    if (r >= 8) {
        A = _mm_add_ps(A, _mm_loadu_ps(p + i));
        B = _mm_add_ps(B, _mm_loadu_ps(p + i + 4));
        i += 8;
    }
    if (r % 8 >= 4) {
        C = _mm_add_ps(C, _mm_loadu_ps(p + i));
        i += 4;
    }
    if (r % 4 >= 2) {
        D = _mm_add_ps(D, two(i));
        i += 2;
    }
    if (r & 1) C = _mm_add_ps(C, one(i));
    float S[4];
    _mm_storeu_ps(S, _mm_add_ps(_mm_add_ps(A, B), _mm_add_ps(C, D)));
    const float even = S[0] + S[2];
    const float odd = S[1] + S[3];
    total += even;
    total += odd;
}

inline VpStatus sumFloatSimd(const Vp32f* pSrc, int srcStep, VpiSize roiSize, Vp64f* pSum, VpHintAlgorithm hint) {
    if (hint == vpAlgHintAccurate) return vpiSum_32f_C1R_px(pSrc, srcStep, roiSize, pSum, hint);
    if (!pSrc || !pSum) return vpStsNullPtrErr;
    if (vp_px::badSize(roiSize)) return vpStsSizeErr;
    if (srcStep <= 0) return vpStsStepErr;
    double total = 0.0;
    for (int y = 0; y < roiSize.height; ++y) sumRowFast(vp_px::rowAt(pSrc, srcStep, y), roiSize.width, total);
    *pSum = total;
    return vpStsNoErr;
}

// The 8-bit sum over a level's image kernel: sumImage(pSrc, srcStep, width, height) -> exact sum.
template <typename SumImage>
VpStatus sumBytesSimd(const Vp8u* pSrc, int srcStep, VpiSize roiSize, Vp64f* pSum, SumImage sumImage) {
    if (!pSrc || !pSum) return vpStsNullPtrErr;
    if (vp_px::badSize(roiSize)) return vpStsSizeErr;
    if (srcStep <= 0) return vpStsStepErr;
    *pSum = sumImage(pSrc, srcStep, roiSize.width, roiSize.height);
    return vpStsNoErr;
}

}  // namespace

#define VP_DEFINE_SUM_ROUTINES(level, sumImage8u)                                                                \
    VpStatus vpiSum_32f_C1R_##level(const Vp32f* pSrc, int srcStep, VpiSize roiSize, Vp64f* pSum,             \
                                    VpHintAlgorithm hint) {                                                    \
        return sumFloatSimd(pSrc, srcStep, roiSize, pSum, hint);                                                \
    }                                                                                                           \
    VpStatus vpiSum_8u_C1R_##level(const Vp8u* pSrc, int srcStep, VpiSize roiSize, Vp64f* pSum) {             \
        return sumBytesSimd(pSrc, srcStep, roiSize, pSum, sumImage8u);                                          \
    }
