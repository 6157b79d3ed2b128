// The RGB and YUV conversions of the SIMD levels over a level's row kernels:
// the checks and the row loop, written once. A kernel converts one row:
//   rgbToYuvRow(const Vp8u* rgb, Vp8u* y, Vp8u* u, Vp8u* v, int width)
//   yuvToRgbRow(const Vp8u* y, const Vp8u* u, const Vp8u* v, Vp8u* rgb, int width)
#pragma once

#include <algorithm>

#include "primitives/core/dispatch_variants.h"
#include "primitives/core/pixel_px.h"

namespace vp_simd {

inline int clampByte(int v) { return std::min(255, std::max(0, v)); }

template <typename Row>
VpStatus rgbToYuvImage(const Vp8u* pSrc, int srcStep, Vp8u* const pDst[3], int dstStep, VpiSize roiSize, Row row) {
    if (!pSrc || !pDst) return vpStsNullPtrErr;
    if (vp_px::badSize(roiSize)) return vpStsSizeErr;
    if (!pDst[0] || !pDst[1] || !pDst[2]) return vpStsNullPtrErr;
    if (srcStep <= 0 || dstStep <= 0) return vpStsStepErr;
    for (int r = 0; r < roiSize.height; ++r)
        row(vp_px::rowAt(pSrc, srcStep, r), vp_px::rowAt(pDst[0], dstStep, r), vp_px::rowAt(pDst[1], dstStep, r),
            vp_px::rowAt(pDst[2], dstStep, r), roiSize.width);
    return vpStsNoErr;
}

template <typename Row>
VpStatus yuvToRgbImage(const Vp8u* const pSrc[3], int srcStep, Vp8u* pDst, int dstStep, VpiSize roiSize, Row row) {
    if (!pSrc || !pDst) return vpStsNullPtrErr;
    if (vp_px::badSize(roiSize)) return vpStsSizeErr;
    if (!pSrc[0] || !pSrc[1] || !pSrc[2]) return vpStsNullPtrErr;
    if (srcStep <= 0 || dstStep <= 0) return vpStsStepErr;
    for (int r = 0; r < roiSize.height; ++r)
        row(vp_px::rowAt(pSrc[0], srcStep, r), vp_px::rowAt(pSrc[1], srcStep, r), vp_px::rowAt(pSrc[2], srcStep, r),
            vp_px::rowAt(pDst, dstStep, r), roiSize.width);
    return vpStsNoErr;
}

// YUV to RGB of the SIMD levels, per pixel, with u = U - 128 and v = V - 128
// and the level's four coefficients (in 1/4096): twice Y plus the rounded-down
// products, halved and clamped.
struct YuvToRgbCoefficients {
    int rv, gu, gv, bu;
};
inline void yuvToRgbPixel(const YuvToRgbCoefficients& k, int Y, int U, int V, Vp8u* rgb) {
    const int u = U - 128, v = V - 128;
    rgb[0] = static_cast<Vp8u>(clampByte((2 * Y + ((k.rv * v) >> 12)) >> 1));
    rgb[1] = static_cast<Vp8u>(clampByte((2 * Y + ((k.gu * u) >> 12) + ((k.gv * v) >> 12)) >> 1));
    rgb[2] = static_cast<Vp8u>(clampByte((2 * Y + ((k.bu * u) >> 12)) >> 1));
}

}  // namespace vp_simd

#define VP_DEFINE_COLOUR_ROUTINES(level, rgbToYuvRow, yuvToRgbRow)                                              \
    VpStatus vpiRGBToYUV_8u_C3P3R_##level(const Vp8u* pSrc, int srcStep, Vp8u* const pDst[3], int dstStep,    \
                                          VpiSize roiSize) {                                                   \
        return vp_simd::rgbToYuvImage(pSrc, srcStep, pDst, dstStep, roiSize, rgbToYuvRow);                     \
    }                                                                                                           \
    VpStatus vpiYUVToRGB_8u_P3C3R_##level(const Vp8u* const pSrc[3], int srcStep, Vp8u* pDst, int dstStep,    \
                                          VpiSize roiSize) {                                                   \
        return vp_simd::yuvToRgbImage(pSrc, srcStep, pDst, dstStep, roiSize, yuvToRgbRow);                     \
    }
