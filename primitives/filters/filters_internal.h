// Routines of the neighbourhood filters shared between an entry and its level
// files. Each level adds its own routines beside the px ones.
#pragma once

#include "primitives/core/vp_types.h"
#include "primitives/core/dispatch_variants.h"
#include "primitives/filters/filters.h"

// Separable filters: argument checks shared by every level (null pointers,
// sizes, steps, then an anchor inside the kernel).
VpStatus FilterCheck_px(const Vp32f* pSrc, int srcStep, const Vp32f* pDst, int dstStep, VpiSize dstRoiSize,
                        const Vp32f* pKernel, int kernelSize, int anchor);
// The px cores compute the whole region in double precision.
void FilterRowCore_px(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize dstRoiSize,
                      const Vp32f* pKernel, int kernelSize, int xAnchor);
void FilterColumnCore_px(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize dstRoiSize,
                         const Vp32f* pKernel, int kernelSize, int yAnchor);

// 3x3 morphology: argument checks (steps before sizes) shared by every level.
VpStatus Morph3x3Check_px(const void* pSrc, int srcStep, const void* pDst, int dstStep, VpiSize roiSize,
                          int elemSize, int channels);
VpStatus Morph3x3CheckInPlace_px(const void* pSrcDst, int srcDstStep, VpiSize roiSize, int elemSize,
                                 int channels);
// Row routines: window is the top-left pixel of the first output's 3x3 window.
void Erode3x3Row_px(const Vp32f* window, int srcStep, Vp32f* dstRow, int width);
void Dilate3x3Row_px(const Vp32f* window, int srcStep, Vp32f* dstRow, int width);
void Erode3x3RowLoop_px(const Vp32f* window, int srcStep, Vp32f* pDst, int dstStep, VpiSize roiSize);
void Dilate3x3RowLoop_px(const Vp32f* window, int srcStep, Vp32f* pDst, int dstStep, VpiSize roiSize);

// Morphology with a structuring mask.
VpStatus MaskMaxCheck_px(const Vp8u* pSrc, int srcStep, VpiSize roiSize, Vp8u* pMax);
VpStatus MaskMorphCheck_px(const void* pSrcDst, int srcDstStep, VpiSize roiSize, const Vp8u* pMask,
                           VpiSize maskSize, VpiPoint anchor, int elemSize, int channels);
void ErodeMaskRow_px(const Vp32f* window, int step, Vp32f* dstRow, int width, const Vp8u* pMask,
                     int maskW, int maskH);
void DilateMaskRow_px(const Vp32f* window, int step, Vp32f* dstRow, int width, const Vp8u* pMask,
                      int maskW, int maskH);

// Median filter routines.
VpStatus FilterMedianGeneral_px(const Vp8u* pWindow, int srcStep, Vp8u* pDst, int dstStep, int width,
                                int height, int maskW, int maskH, int pixelStride, int skipLastChannel);
VpStatus FilterMedianSquare_px(const Vp8u* pCentre, int srcStep, Vp8u* pDst, int dstStep, int width,
                               int height, VpiMaskSize mask);
VpStatus FilterMedianVertical_px(const Vp8u* pCentre, int srcStep, Vp8u* pDst, int dstStep, int width,
                                 int height, VpiMaskSize mask);
VpStatus FilterMedianHorizontal_px(const Vp8u* pCentre, int srcStep, Vp8u* pDst, int dstStep, int width,
                                   int height, VpiMaskSize mask);

// Argument checks of the one-column and one-row routines (every level): null
// pointers, sizes, steps, then a code other than the family's two.
VpStatus FilterMedianFixedCheck_px(const Vp8u* pCentre, int srcStep, const Vp8u* pDst, int dstStep, int width,
                                   int height, VpiMaskSize mask, VpiMaskSize threeTap, VpiMaskSize fiveTap);

// The median entry of one level: its checks and the choice of routine by mask,
// run over that level's routines.
using FilterMedianFixedFn = VpStatus (*)(const Vp8u*, int, Vp8u*, int, int, int, VpiMaskSize);
struct FilterMedianRoutines {
    FilterMedianFixedFn square, vertical, horizontal;
    VpStatus (*general)(const Vp8u*, int, Vp8u*, int, int, int, int, int, int, int);
    VpStatus (*copy)(const Vp8u*, int, Vp8u*, int, VpiSize);
};
VpStatus FilterMedianEntry_px(const FilterMedianRoutines& level, const Vp8u* pSrc, int srcStep, Vp8u* pDst,
                              int dstStep, VpiSize dstRoiSize, VpiSize maskSize, VpiPoint anchor);

// ---- SIMD levels (a6, w7, t7) --------------------------------------------
// Each level's routines come from one body per family (separable_filter_body.h,
// morph_body.h, median_body.h); the checks are the px ones, and the median's
// general routine is the px one at every level (the same histogram walk).

// Separable filters: the core tries the vector kernel over broadcast taps and
// falls back to a single-precision scalar loop. A vector kernel takes the
// first window pixel of output (0,0), the steps, the size, the address of the
// last tap, the tap count and the tap-vector buffer; 1 when it wrote the
// region, 0 when it declines.
void FilterRowCore_a6(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize dstRoiSize,
                       const Vp32f* pKernel, int kernelSize, int xAnchor);
void FilterColumnCore_a6(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize dstRoiSize,
                          const Vp32f* pKernel, int kernelSize, int yAnchor);
int FilterRowVectorKernel_a6(const Vp32f* first, int srcStep, Vp32f* pDst, int dstStep, int width, int height,
                              const Vp32f* lastTap, int n, Vp32f* taps);
int FilterColumnVectorKernel_a6(const Vp32f* first, int srcStep, Vp32f* pDst, int dstStep, int width, int height,
                                 const Vp32f* lastTap, int n, Vp32f* taps);
void FilterRowCore_w7(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize dstRoiSize,
                       const Vp32f* pKernel, int kernelSize, int xAnchor);
void FilterColumnCore_w7(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize dstRoiSize,
                          const Vp32f* pKernel, int kernelSize, int yAnchor);
int FilterRowVectorKernel_w7(const Vp32f* first, int srcStep, Vp32f* pDst, int dstStep, int width, int height,
                              const Vp32f* lastTap, int n, Vp32f* taps);
int FilterColumnVectorKernel_w7(const Vp32f* first, int srcStep, Vp32f* pDst, int dstStep, int width, int height,
                                 const Vp32f* lastTap, int n, Vp32f* taps);
void FilterRowCore_t7(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize dstRoiSize,
                       const Vp32f* pKernel, int kernelSize, int xAnchor);
void FilterColumnCore_t7(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize dstRoiSize,
                          const Vp32f* pKernel, int kernelSize, int yAnchor);
int FilterRowVectorKernel_t7(const Vp32f* first, int srcStep, Vp32f* pDst, int dstStep, int width, int height,
                              const Vp32f* lastTap, int n, Vp32f* taps);
int FilterColumnVectorKernel_t7(const Vp32f* first, int srcStep, Vp32f* pDst, int dstStep, int width, int height,
                                 const Vp32f* lastTap, int n, Vp32f* taps);
// a6: the pass order for rows wider than 256 pixels with more than three taps.
int FilterColumnWideKernel_a6(const Vp32f* first, int srcStep, Vp32f* pDst, int dstStep, int width, int height,
                              const Vp32f* lastTap, int n, Vp32f* taps);

// 3x3 morphology row routines and the fixed-mask median selectors.
void Erode3x3Row_a6(const Vp32f* window, int srcStep, Vp32f* dstRow, int width);
void Dilate3x3Row_a6(const Vp32f* window, int srcStep, Vp32f* dstRow, int width);
VpStatus FilterMedianSquare_a6(const Vp8u* pCentre, int srcStep, Vp8u* pDst, int dstStep, int width, int height,
                                VpiMaskSize mask);
VpStatus FilterMedianVertical_a6(const Vp8u* pCentre, int srcStep, Vp8u* pDst, int dstStep, int width, int height,
                                  VpiMaskSize mask);
VpStatus FilterMedianHorizontal_a6(const Vp8u* pCentre, int srcStep, Vp8u* pDst, int dstStep, int width,
                                    int height, VpiMaskSize mask);
void Erode3x3Row_w7(const Vp32f* window, int srcStep, Vp32f* dstRow, int width);
void Dilate3x3Row_w7(const Vp32f* window, int srcStep, Vp32f* dstRow, int width);
VpStatus FilterMedianSquare_w7(const Vp8u* pCentre, int srcStep, Vp8u* pDst, int dstStep, int width, int height,
                                VpiMaskSize mask);
VpStatus FilterMedianVertical_w7(const Vp8u* pCentre, int srcStep, Vp8u* pDst, int dstStep, int width, int height,
                                  VpiMaskSize mask);
VpStatus FilterMedianHorizontal_w7(const Vp8u* pCentre, int srcStep, Vp8u* pDst, int dstStep, int width,
                                    int height, VpiMaskSize mask);
void Erode3x3Row_t7(const Vp32f* window, int srcStep, Vp32f* dstRow, int width);
void Dilate3x3Row_t7(const Vp32f* window, int srcStep, Vp32f* dstRow, int width);
VpStatus FilterMedianSquare_t7(const Vp8u* pCentre, int srcStep, Vp8u* pDst, int dstStep, int width, int height,
                                VpiMaskSize mask);
VpStatus FilterMedianVertical_t7(const Vp8u* pCentre, int srcStep, Vp8u* pDst, int dstStep, int width, int height,
                                  VpiMaskSize mask);
VpStatus FilterMedianHorizontal_t7(const Vp8u* pCentre, int srcStep, Vp8u* pDst, int dstStep, int width,
                                    int height, VpiMaskSize mask);
