// The depth conversions of the SIMD levels over a level's row kernels: the
// checks, the merging of contiguous images into one run, and the rounding
// mode of the narrowing conversion, which is switched in MXCSR for the call
// and restored before it returns. No instructions of any level here.
//
//   widenRow(const Vp8u* src, Vp32f* dst, int count)
//   narrowRow(const Vp32f* src, Vp8u* dst, int count)   (rounds as MXCSR says)
#pragma once

#include "primitives/core/cpu.h"
#include "primitives/core/dispatch_variants.h"
#include "primitives/core/pixel_px.h"
#include "primitives/core/vp_types.h"

namespace vp_simd {

inline constexpr unsigned kMxcsrRoundingField = 0x6000;
inline constexpr unsigned kMxcsrRoundNearest = 0x0000;
inline constexpr unsigned kMxcsrRoundTowardZero = 0x6000;

template <typename WidenRow>
VpStatus widenImage(const Vp8u* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize roiSize, WidenRow widenRow) {
    if (!pSrc || !pDst) return vpStsNullPtrErr;
    if (vp_px::badSize(roiSize)) return vpStsSizeErr;
    if (srcStep <= 0 || dstStep <= 0) return vpStsStepErr;
    if (static_cast<long long>(dstStep) == 4LL * srcStep && srcStep == roiSize.width &&
        static_cast<long long>(roiSize.width) * roiSize.height <= 0x7FFFFFFF) {
        widenRow(pSrc, pDst, roiSize.width * roiSize.height);
        return vpStsNoErr;
    }
    for (int y = 0; y < roiSize.height; ++y)
        widenRow(vp_px::rowAt(pSrc, srcStep, y), vp_px::rowAt(pDst, dstStep, y), roiSize.width);
    return vpStsNoErr;
}

template <typename NarrowRow>
VpStatus narrowImage(const Vp32f* pSrc, int srcStep, Vp8u* pDst, int dstStep, VpiSize roiSize, VpRoundMode roundMode,
                     NarrowRow narrowRow) {
    if (!pSrc || !pDst) return vpStsNullPtrErr;
    if (vp_px::badSize(roiSize)) return vpStsSizeErr;
    if (srcStep <= 0 || dstStep <= 0) return vpStsStepErr;
    const unsigned wanted = roundMode == vpRndNear ? kMxcsrRoundNearest : kMxcsrRoundTowardZero;
    const unsigned previous = vpSetMxcsrRounding(wanted);
    if (static_cast<long long>(srcStep) == 4LL * dstStep && dstStep == roiSize.width &&
        static_cast<long long>(roiSize.width) * roiSize.height <= 0x7FFFFFFF) {
        narrowRow(pSrc, pDst, roiSize.width * roiSize.height);
    } else {
        for (int y = 0; y < roiSize.height; ++y)
            narrowRow(vp_px::rowAt(pSrc, srcStep, y), vp_px::rowAt(pDst, dstStep, y), roiSize.width);
    }
    if ((previous & kMxcsrRoundingField) != wanted) vpRestoreMxcsr(previous);
    return vpStsNoErr;
}

}  // namespace vp_simd

#define VP_DEFINE_CONVERT_ROUTINES(level, widenRow, narrowRow)                                                   \
    VpStatus vpiConvert_8u32f_C1R_##level(const Vp8u* pSrc, int srcStep, Vp32f* pDst, int dstStep,             \
                                          VpiSize roiSize) {                                                   \
        return vp_simd::widenImage(pSrc, srcStep, pDst, dstStep, roiSize, widenRow);                           \
    }                                                                                                           \
    VpStatus vpiConvert_32f8u_C1R_##level(const Vp32f* pSrc, int srcStep, Vp8u* pDst, int dstStep,             \
                                          VpiSize roiSize, VpRoundMode roundMode) {                            \
        return vp_simd::narrowImage(pSrc, srcStep, pDst, dstStep, roiSize, roundMode, narrowRow);              \
    }
