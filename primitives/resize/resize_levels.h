// The drivers of the SIMD levels of the resize primitives (a6 = MMX and SSE,
// w7 = SSE2, t7 = SSE3), with the contracts of their px twins in resize_px.h.
// The entries' level variants are declared from the dispatch list.
#pragma once

#include "primitives/core/vp_types.h"

#define VP_RESIZE_LEVEL_DRIVERS(sfx)                                                                              \
    VpStatus ResizeGeneral_##sfx(const void* pSrc, int srcWidth, int srcHeight, int srcStep, int roiX, int roiY,  \
                                 int roiWidth, int roiHeight, void* pDst, int dstStep, int dstWidth,              \
                                 int dstHeight, double xFactor, double yFactor, double xShift, double yShift,     \
                                 int nChannels, int layout, int depth, int planar, int interpolation,             \
                                 int scaleMode);                                                                  \
    VpStatus ResizeSuperSampling_##sfx(const void* pSrc, VpiSize srcSize, int srcStep, VpiRect srcRoi,            \
                                       void* pDst, int dstStep, VpiSize dstRoiSize, double xFactor,               \
                                       double yFactor, int nChannels, int layout, int depth, int planar);

VP_RESIZE_LEVEL_DRIVERS(a6)
VP_RESIZE_LEVEL_DRIVERS(w7)
VP_RESIZE_LEVEL_DRIVERS(t7)

#undef VP_RESIZE_LEVEL_DRIVERS
