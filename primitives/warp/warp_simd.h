// The a6, w7 and t7 levels of the affine warp: their cores, kernel tables, row
// kernels and cubic pixel kernels. Internal to primitives/warp and its tests.
//
// The levels share what computes alike: the quadrangle's helpers, the spans and
// the smooth edges are the px routines at every level (all of them compute in
// double); the cubic kernels are one set, named _a6, that serves a6, w7 and t7;
// the nearest and linear kernels of w7 serve t7 as well. Only the nearest and
// linear kernels of a6, which work in single precision, are its own.
#pragma once

#include <array>
#include <cstddef>

#include "primitives/core/dispatch_variants.h"
#include "primitives/warp/warp_internal.h"

// The quadrangle functions of vpiGetAffineQuad's w7 and t7 variants (px serves a6).
VpStatus vpiGetAffineQuad_w7(VpiRect srcRoi, double quad[4][2], const double coeffs[2][3]);
VpStatus vpiGetAffineQuad_t7(VpiRect srcRoi, double quad[4][2], const double coeffs[2][3]);

// The generic cores behind every depth and layout (see WarpAffineCore_px).
VpStatus WarpAffineCore_a6(const void* pSrc, VpiSize srcSize, int srcStep, VpiRect srcRoi, void* pDst, int dstStep,
                           VpiRect dstRoi, int formatCode, const double coeffs[2][3], int interpolation);
VpStatus WarpAffineCore_w7(const void* pSrc, VpiSize srcSize, int srcStep, VpiRect srcRoi, void* pDst, int dstStep,
                           VpiRect dstRoi, int formatCode, const double coeffs[2][3], int interpolation);
VpStatus WarpAffineCore_t7(const void* pSrc, VpiSize srcSize, int srcStep, VpiRect srcRoi, void* pDst, int dstStep,
                           VpiRect dstRoi, int formatCode, const double coeffs[2][3], int interpolation);

extern const WarpRowKernel WarpKernelTable_a6[kWarpKernelCount];
extern const WarpRowKernel WarpKernelTable_w7[kWarpKernelCount];
extern const WarpRowKernel WarpKernelTable_t7[kWarpKernelCount];

// Row kernels: WarpNN_8u_C1_a6 ... WarpCubic_16u_P4_a6 and the nearest and
// linear ones of w7. The cubic row kernels need pBuffer: two floats per pixel of
// the longest span.
#define VP_WARP_DECLARE_SIMD_KERNELS(depthName, T, layoutName, code, stride, channels, planes) \
    void WarpNN_##depthName##_##layoutName##_a6(VP_WARP_ROW_KERNEL_PARAMS);                     \
    void WarpLinear_##depthName##_##layoutName##_a6(VP_WARP_ROW_KERNEL_PARAMS);                 \
    void WarpCubic_##depthName##_##layoutName##_a6(VP_WARP_ROW_KERNEL_PARAMS);                  \
    void WarpNN_##depthName##_##layoutName##_w7(VP_WARP_ROW_KERNEL_PARAMS);                     \
    void WarpLinear_##depthName##_##layoutName##_w7(VP_WARP_ROW_KERNEL_PARAMS);
VP_WARP_FORMATS(VP_WARP_DECLARE_SIMD_KERNELS)
#undef VP_WARP_DECLARE_SIMD_KERNELS

// A pair of ints, x first.
struct WarpIntPair {
    int x;
    int y;
};

// Cubic pixel kernels of the SIMD levels: `count` points (pXs[i], pYs[i]), the
// destination of point i at pDstPixel + i*channelStride samples. A point more
// than one pixel outside the image (x < lowLimit.x or x > highLimit.x, likewise
// y), or with a NaN coordinate, leaves its pixel untouched; the others are
// interpolated from the 4x4 neighbourhood one column and row before their
// cell, shifted inwards at the image's edges (maxIndex = last column and row).
void WarpCubicPixelKernel_32f_a6(const Vp32f* pSrc, int srcStep, Vp32f* pDstPixel, const float* pXs, const float* pYs,
                                 int count, WarpIntPair lowLimit, WarpIntPair highLimit, WarpIntPair maxIndex,
                                 int channelStride, int channels);
void WarpCubicPixelKernel_16u_a6(const Vp16u* pSrc, int srcStep, Vp16u* pDstPixel, const float* pXs, const float* pYs,
                                 int count, WarpIntPair lowLimit, WarpIntPair highLimit, WarpIntPair maxIndex,
                                 int channelStride, int channels);
// Planar: point i of plane k goes to pDstPtrs[k] + i samples.
void WarpCubicPlanarKernel_32f_a6(const void* const* pSrc, int srcStep, void* const* pDstPtrs, const float* pXs,
                                  const float* pYs, int count, WarpIntPair lowLimit, WarpIntPair highLimit,
                                  WarpIntPair maxIndex, int planes);
void WarpCubicPlanarKernel_16u_a6(const void* const* pSrc, int srcStep, void* const* pDstPtrs, const float* pXs,
                                  const float* pYs, int count, WarpIntPair lowLimit, WarpIntPair highLimit,
                                  WarpIntPair maxIndex, int planes);
// 8-bit, one kernel per layout, weights from WarpCubicWeightTable_a6.
#define VP_WARP_CUBIC_8U_KERNEL_PARAMS                                                                       \
    const void *pSrc, int srcStep, void *pDst, const float *pXs, const float *pYs, int count,                \
        WarpIntPair lowLimit, WarpIntPair highLimit, WarpIntPair maxIndex
void WarpCubicPixelKernel_8u_C1_a6(VP_WARP_CUBIC_8U_KERNEL_PARAMS);
void WarpCubicPixelKernel_8u_C3_a6(VP_WARP_CUBIC_8U_KERNEL_PARAMS);
void WarpCubicPixelKernel_8u_AC4_a6(VP_WARP_CUBIC_8U_KERNEL_PARAMS);
void WarpCubicPixelKernel_8u_C4_a6(VP_WARP_CUBIC_8U_KERNEL_PARAMS);
void WarpCubicPlanarKernel_8u_P3_a6(VP_WARP_CUBIC_8U_KERNEL_PARAMS);  // pSrc, pDst: arrays of 3 planes
void WarpCubicPlanarKernel_8u_P4_a6(VP_WARP_CUBIC_8U_KERNEL_PARAMS);  // pSrc, pDst: arrays of 4 planes

// Q14 cubic weights by offset from the first neighbourhood column in steps of
// 1/512 pixel: entry i = (16384*w0(i/512 - 1), 16384*w1(i/512 - 1)), rounded.
// The four weights at index i are (a[i], b[i], b[1536-i], a[1536-i]).
struct WarpCubicWeightPair {
    short a;
    short b;
};
constexpr int kWarpCubicWeightCount = 1537;
extern const std::array<WarpCubicWeightPair, kWarpCubicWeightCount> WarpCubicWeightTable_a6;
