// The float division of the SIMD levels: rows of 32 elements or more go in
// blocks of 8 through the reciprocal estimate refined by one Newton step;
// shorter rows, the last len mod 8 elements and every block that holds a zero
// divisor are divided exactly, as px does. Only first-extension instructions,
// so one body serves a6, w7 and t7. Only level files include this.
#pragma once

#include <xmmintrin.h>

#include <cstdint>

#include "primitives/core/core_px.h"
#include "primitives/core/pixel_px.h"

namespace {

// Below this row length every quotient is exact.
constexpr int kDivBlockRowMin = 32;

// q = dividend * r1 with r1 = (r0 + r0) - (d * r0) * r0, r0 the estimate of 1/d.
inline __m128 approximateQuotient(__m128 divisor, __m128 dividend) {
    const __m128 r0 = _mm_rcp_ps(divisor);
    const __m128 r1 = _mm_sub_ps(_mm_add_ps(r0, r0), _mm_mul_ps(_mm_mul_ps(divisor, r0), r0));
    return _mm_mul_ps(r1, dividend);
}

inline VpStatus divideRowSimd(const Vp32f* pSrc1, const Vp32f* pSrc2, Vp32f* pDst, int len) {
    if (len < kDivBlockRowMin) return vpsDiv_32f_px(pSrc1, pSrc2, pDst, len);
    const int n = len & ~7;
    const bool aligned = ((reinterpret_cast<std::uintptr_t>(pSrc1) | reinterpret_cast<std::uintptr_t>(pSrc2) |
                           reinterpret_cast<std::uintptr_t>(pDst)) & 31) == 0;
    bool zeroMet = false;
    const __m128 zero = _mm_setzero_ps();
    for (int i = 0; i < n; i += 8) {
        const __m128 d0 = _mm_loadu_ps(pSrc1 + i), d1 = _mm_loadu_ps(pSrc1 + i + 4);
        // An ordered test: a NaN divisor does not send its block to the exact path.
        if (_mm_movemask_ps(_mm_or_ps(_mm_cmpeq_ps(d0, zero), _mm_cmpeq_ps(d1, zero)))) {
            vpsDiv_32f_px(pSrc1 + i, pSrc2 + i, pDst + i, 8);
            zeroMet = true;
            continue;
        }
        const __m128 q0 = approximateQuotient(d0, _mm_loadu_ps(pSrc2 + i));
        const __m128 q1 = approximateQuotient(d1, _mm_loadu_ps(pSrc2 + i + 4));
        if (aligned) {
            _mm_stream_ps(pDst + i, q0);
            _mm_stream_ps(pDst + i + 4, q1);
        } else {
            _mm_storeu_ps(pDst + i, q0);
            _mm_storeu_ps(pDst + i + 4, q1);
        }
    }
    if (aligned) _mm_sfence();
    if (vpsDiv_32f_px(pSrc1 + n, pSrc2 + n, pDst + n, len - n) != vpStsNoErr) zeroMet = true;
    return zeroMet ? vpStsDivByZero : vpStsNoErr;
}

// dst = src2 / src1 row by row; the status of the last row that met a zero divisor.
template <VpStatus (*Row)(const Vp32f*, const Vp32f*, Vp32f*, int)>
VpStatus divideImageSimd(const Vp32f* pSrc1, int src1Step, const Vp32f* pSrc2, int src2Step, Vp32f* pDst,
                         int dstStep, VpiSize roiSize) {
    if (!pSrc1 || !pSrc2 || !pDst) return vpStsNullPtrErr;
    if (roiSize.height <= 0 || roiSize.width <= 0) return vpStsSizeErr;
    if (src1Step <= 0 || src2Step <= 0 || dstStep <= 0) return vpStsStepErr;
    VpStatus status = vpStsNoErr;
    for (int y = 0; y < roiSize.height; ++y) {
        const VpStatus row = Row(vp_px::rowAt(pSrc1, src1Step, y), vp_px::rowAt(pSrc2, src2Step, y),
                                 vp_px::rowAt(pDst, dstStep, y), roiSize.width);
        if (row != vpStsNoErr) status = row;
    }
    return status;
}

}  // namespace

#define VP_DEFINE_DIV_ROUTINES(level)                                                                            \
    VpStatus vpsDiv_32f_##level(const Vp32f* pSrc1, const Vp32f* pSrc2, Vp32f* pDst, int len) {                \
        return divideRowSimd(pSrc1, pSrc2, pDst, len);                                                          \
    }                                                                                                           \
    VpStatus vpiDiv_32f_C1R_##level(const Vp32f* pSrc1, int src1Step, const Vp32f* pSrc2, int src2Step,        \
                                    Vp32f* pDst, int dstStep, VpiSize roiSize) {                               \
        return divideImageSimd<vpsDiv_32f_##level>(pSrc1, src1Step, pSrc2, src2Step, pDst, dstStep, roiSize);   \
    }                                                                                                           \
    VpStatus vpiDiv_32f_C1IR_##level(const Vp32f* pSrc, int srcStep, Vp32f* pSrcDst, int srcDstStep,          \
                                     VpiSize roiSize) {                                                         \
        return vpiDiv_32f_C1R_##level(pSrc, srcStep, pSrcDst, srcDstStep, pSrcDst, srcDstStep, roiSize);        \
    }
