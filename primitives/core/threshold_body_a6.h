// The thresholds and the comparison of the SIMD levels: the thresholds take
// the SSE minimum (GT) or maximum (LT) of pixel and threshold, which gives the
// threshold for NaN pixels and for zeros of either sign; the comparisons are
// the SSE comparisons, false for unordered operands under less, less-or-equal
// and equal and true under their negations. Only first-extension
// instructions, so one body serves a6, w7 and t7. Only level files include it.
#pragma once

#include <xmmintrin.h>

#include <cstring>

#include "primitives/core/scalar_lane.h"
#include "primitives/core/pixel_px.h"
#include "primitives/core/vp_types.h"

namespace {

using vp_px::badSize;
using vp_px::rowAt;

template <bool Greater>
inline __m128 clampLanes(__m128 pixel, __m128 threshold) {
    return Greater ? _mm_min_ps(pixel, threshold) : _mm_max_ps(pixel, threshold);
}

template <bool Greater>
void thresholdClamp(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep, int width, int height,
                    Vp32f threshold) {
    const __m128 t = _mm_set1_ps(threshold);
    for (int y = 0; y < height; ++y) {
        const Vp32f* s = rowAt(pSrc, srcStep, y);
        Vp32f* d = rowAt(pDst, dstStep, y);
        int x = 0;
        for (; x + 4 <= width; x += 4) _mm_storeu_ps(d + x, clampLanes<Greater>(_mm_loadu_ps(s + x), t));
        for (; x < width; ++x) storeScalarLane(d + x, clampLanes<Greater>(loadScalarLane(s + x), t));
    }
}

inline VpStatus thresholdSimd(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize roiSize,
                              Vp32f threshold, VpCmpOp vpCmpOp) {
    if (!pSrc || !pDst) return vpStsNullPtrErr;
    if (roiSize.width <= 0 || roiSize.height <= 0) return vpStsSizeErr;
    if (srcStep <= 0 || dstStep <= 0) return vpStsStepErr;
    if (vpCmpOp == vpCmpGreater)
        thresholdClamp<true>(pSrc, srcStep, pDst, dstStep, roiSize.width, roiSize.height, threshold);
    else if (vpCmpOp == vpCmpLess)
        thresholdClamp<false>(pSrc, srcStep, pDst, dstStep, roiSize.width, roiSize.height, threshold);
    else
        return vpStsNotSupportedModeErr;
    return vpStsNoErr;
}

// Byte i of entry m is 0xFF when bit i of m is set: four comparison results
// as four mask bytes.
struct CompareMaskTable {
    unsigned char bytes[16][4];
    constexpr CompareMaskTable() : bytes() {
        for (int m = 0; m < 16; ++m)
            for (int i = 0; i < 4; ++i) bytes[m][i] = (m >> i) & 1 ? 0xFF : 0x00;
    }
};
constexpr CompareMaskTable CompareMaskBytes;

struct CmpLess {
    static __m128 f(__m128 x, __m128 v) { return _mm_cmplt_ps(x, v); }
};
struct CmpLessEq {
    static __m128 f(__m128 x, __m128 v) { return _mm_cmple_ps(x, v); }
};
struct CmpEq {
    static __m128 f(__m128 x, __m128 v) { return _mm_cmpeq_ps(x, v); }
};
struct CmpGreaterEq {
    static __m128 f(__m128 x, __m128 v) { return _mm_cmpnlt_ps(x, v); }
};
struct CmpGreater {
    static __m128 f(__m128 x, __m128 v) { return _mm_cmpnle_ps(x, v); }
};

template <typename Cmp>
void compareRows(Vp32f value, const Vp32f* pSrc, int srcStep, Vp8u* pDst, int dstStep, int width, int height) {
    const __m128 v = _mm_set1_ps(value);
    for (int y = 0; y < height; ++y) {
        const Vp32f* s = rowAt(pSrc, srcStep, y);
        Vp8u* d = rowAt(pDst, dstStep, y);
        int x = 0;
        for (; x + 4 <= width; x += 4)
            std::memcpy(d + x, CompareMaskBytes.bytes[_mm_movemask_ps(Cmp::f(_mm_loadu_ps(s + x), v))], 4);
        for (; x < width; ++x) d[x] = (_mm_movemask_ps(Cmp::f(loadScalarLane(s + x), v)) & 1) ? 0xFF : 0x00;
    }
}

inline VpStatus compareSimd(const Vp32f* pSrc, int srcStep, Vp32f value, Vp8u* pDst, int dstStep, VpiSize roiSize,
                            VpCmpOp vpCmpOp) {
    if (!pSrc || !pDst) return vpStsNullPtrErr;
    if (srcStep <= 0 || dstStep <= 0) return vpStsStepErr;
    if (roiSize.width <= 0 || roiSize.height <= 0) return vpStsSizeErr;
    const int w = roiSize.width, h = roiSize.height;
    switch (vpCmpOp) {
        case vpCmpLess: compareRows<CmpLess>(value, pSrc, srcStep, pDst, dstStep, w, h); break;
        case vpCmpLessEq: compareRows<CmpLessEq>(value, pSrc, srcStep, pDst, dstStep, w, h); break;
        case vpCmpEq: compareRows<CmpEq>(value, pSrc, srcStep, pDst, dstStep, w, h); break;
        case vpCmpGreaterEq: compareRows<CmpGreaterEq>(value, pSrc, srcStep, pDst, dstStep, w, h); break;
        case vpCmpGreater: compareRows<CmpGreater>(value, pSrc, srcStep, pDst, dstStep, w, h); break;
        default: break;  // another code writes nothing and is no error
    }
    return vpStsNoErr;
}

}  // namespace

#define VP_DEFINE_THRESHOLD_ROUTINES(level)                                                                      \
    VpStatus vpiThreshold_32f_C1R_##level(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep,            \
                                          VpiSize roiSize, Vp32f threshold, VpCmpOp vpCmpOp) {                \
        return thresholdSimd(pSrc, srcStep, pDst, dstStep, roiSize, threshold, vpCmpOp);                        \
    }                                                                                                           \
    VpStatus vpiThreshold_GT_32f_C1R_##level(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep,         \
                                             VpiSize roiSize, Vp32f threshold) {                              \
        return vpiThreshold_32f_C1R_##level(pSrc, srcStep, pDst, dstStep, roiSize, threshold, vpCmpGreater);    \
    }                                                                                                           \
    VpStatus vpiThreshold_LT_32f_C1R_##level(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep,         \
                                             VpiSize roiSize, Vp32f threshold) {                              \
        return vpiThreshold_32f_C1R_##level(pSrc, srcStep, pDst, dstStep, roiSize, threshold, vpCmpLess);       \
    }                                                                                                           \
    VpStatus vpiThreshold_LT_32f_C1IR_##level(Vp32f* pSrcDst, int srcDstStep, VpiSize roiSize,                 \
                                              Vp32f threshold) {                                               \
        return vpiThreshold_LT_32f_C1R_##level(pSrcDst, srcDstStep, pSrcDst, srcDstStep, roiSize, threshold);   \
    }                                                                                                           \
    VpStatus vpiThreshold_GT_32f_C1IR_##level(Vp32f* pSrcDst, int srcDstStep, VpiSize roiSize,                 \
                                              Vp32f threshold) {                                               \
        return vpiThreshold_GT_32f_C1R_##level(pSrcDst, srcDstStep, pSrcDst, srcDstStep, roiSize, threshold);   \
    }                                                                                                           \
    VpStatus vpiCompareC_32f_C1R_##level(const Vp32f* pSrc, int srcStep, Vp32f value, Vp8u* pDst, int dstStep, \
                                         VpiSize roiSize, VpCmpOp vpCmpOp) {                                   \
        return compareSimd(pSrc, srcStep, value, pDst, dstStep, roiSize, vpCmpOp);                              \
    }
