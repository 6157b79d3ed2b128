// The px level of the affine warp: its core, helpers, row kernels, pixel
// kernels and kernel table. Internal to primitives/warp and its tests.
#pragma once

#include <cstddef>

#include "primitives/warp/warp_internal.h"

// The dispatched entry's px variant (also declared from the dispatch list).
VpStatus vpiWarpAffine_32f_C1R_px(const Vp32f* pSrc, VpiSize srcSize, int srcStep, VpiRect srcRoi, Vp32f* pDst,
                                  int dstStep, VpiRect dstRoi, const double coeffs[2][3], int interpolation);

// The generic core behind every depth and layout. For P3/P4, pSrc and pDst point
// at arrays of 3 or 4 plane origins.
VpStatus WarpAffineCore_px(const void* pSrc, VpiSize srcSize, int srcStep, VpiRect srcRoi, void* pDst, int dstStep,
                           VpiRect dstRoi, int formatCode, const double coeffs[2][3], int interpolation);

// Quadrangle and inverse map (px also serves a6).
void AffineQuadCorners_px(const double coeffs[2][3], int x0, int y0, int x1, int y1, double quad[4][2]);
int CheckQuadConvexity_px(const double quad[4][2]);
void AffineFromQuad_px(int x0, int y0, int x1, int y1, const double quad[4][2], WarpInverseCoeffs* out,
                       int* quadOrientation, int forward);

// Destination clipping and row spans.
int BuildWarpSpans_px(const double quad[4][2], int x0, int y0, int x1, int y1, int quadOrientation,
                      WarpRowSpan** spans, int* firstRow, int* lastRow);
void ClipQuadToRect_px(WarpPoint* poly, WarpPoint* second, int* count, int x0, int y0, int x1, int y1);
void ClipPolygonTop_px(const WarpPoint* src, WarpPoint* dst, int* count, double bound, int line);
void ClipPolygonBottom_px(const WarpPoint* src, WarpPoint* dst, int* count, double bound, int line);
void ClipPolygonLeft_px(const WarpPoint* src, WarpPoint* dst, int* count, double bound, int line);
void ClipPolygonRight_px(const WarpPoint* src, WarpPoint* dst, int* count, double bound, int line);
void FillWarpSpans_px(const WarpPoint* poly, int count, int quadOrientation, WarpRowSpan* spans);

// Smooth edges.
void WarpSmoothEdgePass_px(void* pDst, int dstStep, int formatCode, const double quad[4][2], int x0, int y0, int x1,
                           int y1, int quadOrientation);
void SmoothEdgeBlend_px(void* pDst, int dstStep, int formatCode, int xA, int yA, int xB, int yB, double wA,
                        double wB);

// Row kernels: WarpNN_8u_C1_px ... WarpCubic_16u_P4_px.
#define VP_WARP_DECLARE_PX_KERNELS(depthName, T, layoutName, code, stride, channels, planes) \
    void WarpNN_##depthName##_##layoutName##_px(VP_WARP_ROW_KERNEL_PARAMS);                   \
    void WarpLinear_##depthName##_##layoutName##_px(VP_WARP_ROW_KERNEL_PARAMS);               \
    void WarpCubic_##depthName##_##layoutName##_px(VP_WARP_ROW_KERNEL_PARAMS);
VP_WARP_FORMATS(VP_WARP_DECLARE_PX_KERNELS)
#undef VP_WARP_DECLARE_PX_KERNELS

extern const WarpRowKernel WarpKernelTable_px[kWarpKernelCount];

// Cubic pixel kernels: one destination pixel from the 4x4 neighbourhood whose
// first sample (column x0, row y0, channel 0) is at pNbhd; fx and fy are the
// point's offsets from column x0 + 1 and row y0 + 1.
void WarpCubicPixelKernel_8u_px(const Vp8u* pNbhd, int srcStep, int channelStride, Vp8u* pDstPixel, int channels,
                                float fx, float fy);
void WarpCubicPixelKernel_32f_px(const Vp32f* pNbhd, int srcStep, int channelStride, Vp32f* pDstPixel, int channels,
                                 float fx, float fy);
void WarpCubicPixelKernel_16u_px(const Vp16u* pNbhd, int srcStep, int channelStride, Vp16u* pDstPixel, int channels,
                                 float fx, float fy);
// Planar: sample (j, r) of plane k at pSrc[k] + srcOffset + r*srcStep + j*sampleSize;
// the result to pDstRows[k] + dstX*sampleSize.
void WarpCubicPlanarKernel_8u_px(const void* const* pSrc, int srcStep, std::ptrdiff_t srcOffset,
                                 void* const* pDstRows, int dstX, int planes, float fx, float fy);
void WarpCubicPlanarKernel_32f_px(const void* const* pSrc, int srcStep, std::ptrdiff_t srcOffset,
                                  void* const* pDstRows, int dstX, int planes, float fx, float fy);
void WarpCubicPlanarKernel_16u_px(const void* const* pSrc, int srcStep, std::ptrdiff_t srcOffset,
                                  void* const* pDstRows, int dstX, int planes, float fx, float fy);
