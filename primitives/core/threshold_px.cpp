// px level of the thresholds and the comparison. The thresholds compare bit
// patterns as integers, which orders floats as the floating-point comparison
// does and also places -0.0 below +0.0 and NaNs by their sign.
#include <cstdint>
#include <cstring>

#include "primitives/core/core_px.h"
#include "primitives/core/pixel_px.h"

using vp_px::badSize;
using vp_px::rowAt;

namespace {

inline std::uint32_t bitsOf(Vp32f f) {
    std::uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

// Replaces the pixels whose pattern X satisfies replace(X) by V; the others are copied bit for bit.
template <typename Replace>
void thresholdRows(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize roiSize, std::uint32_t V,
                   Replace replace) {
    // Rows advance by the steps rounded down to whole floats.
    const int sStep = srcStep & ~3;
    const int dStep = dstStep & ~3;
    for (int y = 0; y < roiSize.height; ++y) {
        const Vp32f* s = rowAt(pSrc, sStep, y);
        Vp32f* d = rowAt(pDst, dStep, y);
        for (int x = 0; x < roiSize.width; ++x) {
            std::uint32_t X;
            std::memcpy(&X, &s[x], sizeof X);
            const std::uint32_t out = replace(X) ? V : X;
            std::memcpy(&d[x], &out, sizeof out);
        }
    }
}

}  // namespace

VpStatus vpiThreshold_Val_32f_C1R_px(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize roiSize,
                                     Vp32f threshold, Vp32f value, VpCmpOp vpCmpOp) {
    // The plain-code form tests the mode first.
    if (vpCmpOp != vpCmpLess && vpCmpOp != vpCmpGreater) return vpStsNotSupportedModeErr;
    if (!pSrc || !pDst) return vpStsNullPtrErr;
    if (badSize(roiSize)) return vpStsSizeErr;
    if (srcStep <= 0 || dstStep <= 0) return vpStsStepErr;

    const std::uint32_t T = bitsOf(threshold);
    const std::uint32_t V = bitsOf(value);
    const std::int32_t Ts = static_cast<std::int32_t>(T);
    const bool less = vpCmpOp == vpCmpLess;
    if (threshold >= 0.0f) {
        if (less)
            thresholdRows(pSrc, srcStep, pDst, dstStep, roiSize, V,
                          [Ts](std::uint32_t X) { return static_cast<std::int32_t>(X) < Ts; });
        else
            thresholdRows(pSrc, srcStep, pDst, dstStep, roiSize, V,
                          [Ts](std::uint32_t X) { return static_cast<std::int32_t>(X) > Ts; });
    } else {
        // Negative thresholds (and NaN): a more negative float has a larger unsigned pattern.
        if (less)
            thresholdRows(pSrc, srcStep, pDst, dstStep, roiSize, V, [T](std::uint32_t X) { return X > T; });
        else
            thresholdRows(pSrc, srcStep, pDst, dstStep, roiSize, V, [T](std::uint32_t X) { return X < T; });
    }
    return vpStsNoErr;
}

VpStatus vpiThreshold_32f_C1R_px(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize roiSize,
                                 Vp32f threshold, VpCmpOp vpCmpOp) {
    return vpiThreshold_Val_32f_C1R_px(pSrc, srcStep, pDst, dstStep, roiSize, threshold, threshold, vpCmpOp);
}

VpStatus vpiThreshold_LT_32f_C1R_px(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize roiSize,
                                    Vp32f threshold) {
    return vpiThreshold_32f_C1R_px(pSrc, srcStep, pDst, dstStep, roiSize, threshold, vpCmpLess);
}

VpStatus vpiThreshold_GT_32f_C1R_px(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize roiSize,
                                    Vp32f threshold) {
    return vpiThreshold_32f_C1R_px(pSrc, srcStep, pDst, dstStep, roiSize, threshold, vpCmpGreater);
}

VpStatus vpiThreshold_LT_32f_C1IR_px(Vp32f* pSrcDst, int srcDstStep, VpiSize roiSize, Vp32f threshold) {
    return vpiThreshold_LT_32f_C1R_px(pSrcDst, srcDstStep, pSrcDst, srcDstStep, roiSize, threshold);
}

VpStatus vpiThreshold_GT_32f_C1IR_px(Vp32f* pSrcDst, int srcDstStep, VpiSize roiSize, Vp32f threshold) {
    return vpiThreshold_GT_32f_C1R_px(pSrcDst, srcDstStep, pSrcDst, srcDstStep, roiSize, threshold);
}

namespace {

// Writes 0xFF where holds(pixel) and 0x00 elsewhere.
template <typename Holds>
VpStatus compareRows(const Vp32f* pSrc, int srcStep, Vp8u* pDst, int dstStep, VpiSize roiSize, Holds holds) {
    for (int y = 0; y < roiSize.height; ++y) {
        const Vp32f* s = rowAt(pSrc, srcStep, y);
        Vp8u* d = rowAt(pDst, dstStep, y);
        for (int x = 0; x < roiSize.width; ++x) d[x] = holds(s[x]) ? 0xFF : 0x00;
    }
    return vpStsNoErr;
}

}  // namespace

// Unordered comparisons (a NaN pixel or value) hold for less, less-or-equal
// and equal, and fail for greater-or-equal and greater.
VpStatus vpiCompareC_32f_C1R_px(const Vp32f* pSrc, int srcStep, Vp32f value, Vp8u* pDst, int dstStep,
                                VpiSize roiSize, VpCmpOp vpCmpOp) {
    if (!pSrc || !pDst) return vpStsNullPtrErr;
    // Steps are checked before the sizes here.
    if (srcStep <= 0 || dstStep <= 0) return vpStsStepErr;
    if (badSize(roiSize)) return vpStsSizeErr;
    switch (vpCmpOp) {
        case vpCmpLess:
            return compareRows(pSrc, srcStep, pDst, dstStep, roiSize, [value](Vp32f x) { return !(x >= value); });
        case vpCmpLessEq:
            return compareRows(pSrc, srcStep, pDst, dstStep, roiSize, [value](Vp32f x) { return !(x > value); });
        case vpCmpEq:
            return compareRows(pSrc, srcStep, pDst, dstStep, roiSize,
                               [value](Vp32f x) { return !(x < value) && !(x > value); });
        case vpCmpGreaterEq:
            return compareRows(pSrc, srcStep, pDst, dstStep, roiSize, [value](Vp32f x) { return x >= value; });
        case vpCmpGreater:
            return compareRows(pSrc, srcStep, pDst, dstStep, roiSize, [value](Vp32f x) { return x > value; });
        default:
            // An unknown code is reported, and nothing is written.
            return vpStsNotSupportedModeErr;
    }
}
