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

