// Everything a SIMD level of the resize primitives defines, written once:
// VP_RESIZE_SIMD_LEVEL_ALL(sfx, L) defines the level's kernel tables, its
// general and supersampling drivers and its two entries. L is the level's
// policy: the members resize_simd_kernels.h, resize_general.h and
// resize_super_driver.h ask for. Include only from level files.
#pragma once

#include "primitives/core/dispatch_variants.h"
#include "primitives/resize/resize_general.h"
#include "primitives/resize/resize_levels.h"
#include "primitives/resize/resize_simd_kernels.h"
#include "primitives/resize/resize_super_driver.h"
#include "primitives/resize/resize_super_kernel.h"

// The area-averaging kernels of the SIMD levels round every partial horizontal
// sum to float; P is the level's summation policy (resize_super_kernel.h).
#define VP_RESIZE_SIMD_SUPER(sfx, P)                                                                      \
    void ResizeSuper_8u_C1_##sfx(VP_SUPER_PARAMS) { superKernel<Vp8u, 1, P>(VP_SUPER_ARGS); }        \
    void ResizeSuper_16u_C1_##sfx(VP_SUPER_PARAMS) { superKernel<Vp16u, 1, P>(VP_SUPER_ARGS); }      \
    void ResizeSuper_32f_C1_##sfx(VP_SUPER_PARAMS) { superKernel<Vp32f, 1, P>(VP_SUPER_ARGS); }      \
    void ResizeSuper_8u_C3_##sfx(VP_SUPER_PARAMS) { superKernel<Vp8u, 3, P>(VP_SUPER_ARGS); }        \
    void ResizeSuper_16u_C3_##sfx(VP_SUPER_PARAMS) { superKernel<Vp16u, 3, P>(VP_SUPER_ARGS); }      \
    void ResizeSuper_32f_C3_##sfx(VP_SUPER_PARAMS) { superKernel<Vp32f, 3, P>(VP_SUPER_ARGS); }      \
    void ResizeSuper_8u_C4_##sfx(VP_SUPER_PARAMS) { superKernel<Vp8u, 4, P>(VP_SUPER_ARGS); }        \
    void ResizeSuper_16u_C4_##sfx(VP_SUPER_PARAMS) { superKernel<Vp16u, 4, P>(VP_SUPER_ARGS); }      \
    void ResizeSuper_32f_C4_##sfx(VP_SUPER_PARAMS) { superKernel<Vp32f, 4, P>(VP_SUPER_ARGS); }      \
    const ResizeSuperKernel ResizeSuperKernelTable_##sfx[3][3] = {                                        \
        {ResizeSuper_8u_C1_##sfx, ResizeSuper_8u_C3_##sfx, ResizeSuper_8u_C4_##sfx},                      \
        {ResizeSuper_16u_C1_##sfx, ResizeSuper_16u_C3_##sfx, ResizeSuper_16u_C4_##sfx},                  \
        {ResizeSuper_32f_C1_##sfx, ResizeSuper_32f_C3_##sfx, ResizeSuper_32f_C4_##sfx},                   \
    };

#define VP_RESIZE_SIMD_LEVEL_ALL(sfx, L)                                                                          \
    VP_RESIZE_SIMD_LEVEL(sfx, L)                                                                                  \
    VP_RESIZE_SIMD_SUPER(sfx, L::SuperSums)                                                                       \
    VpStatus ResizeGeneral_##sfx(const void* pSrc, int srcWidth, int srcHeight, int srcStep, int roiX, int roiY,  \
                                 int roiWidth, int roiHeight, void* pDst, int dstStep, int dstWidth,              \
                                 int dstHeight, double xFactor, double yFactor, double xShift, double yShift,     \
                                 int nChannels, int layout, int depth, int planar, int interpolation,             \
                                 int scaleMode) {                                                                 \
        return ResizeGeneralT<L>(pSrc, srcWidth, srcHeight, srcStep, roiX, roiY, roiWidth, roiHeight, pDst,       \
                                 dstStep, dstWidth, dstHeight, xFactor, yFactor, xShift, yShift, nChannels,       \
                                 layout, depth, planar, interpolation, scaleMode);                                \
    }                                                                                                             \
    VpStatus ResizeSuperSampling_##sfx(const void* pSrc, VpiSize srcSize, int srcStep, VpiRect srcRoi,            \
                                       void* pDst, int dstStep, VpiSize dstRoiSize, double xFactor,               \
                                       double yFactor, int nChannels, int layout, int depth, int planar) {        \
        return ResizeSuperSamplingT<L>(pSrc, srcSize, srcStep, srcRoi, pDst, dstStep, dstRoiSize, xFactor,        \
                                       yFactor, nChannels, layout, depth, planar);                                \
    }                                                                                                             \
    VpStatus vpiResize_32f_C1R_##sfx(const Vp32f* pSrc, VpiSize srcSize, int srcStep, VpiRect srcRoi,             \
                                     Vp32f* pDst, int dstStep, VpiSize dstRoiSize, double xFactor,                \
                                     double yFactor, int interpolation) {                                         \
        return ResizeEntryT<L>(pSrc, srcSize, srcStep, srcRoi, pDst, dstStep, dstRoiSize, xFactor, yFactor,       \
                               interpolation, 1, 1, kResizeDepth32f);                                             \
    }                                                                                                             \
    VpStatus vpiResize_8u_C3R_##sfx(const Vp8u* pSrc, VpiSize srcSize, int srcStep, VpiRect srcRoi, Vp8u* pDst,   \
                                    int dstStep, VpiSize dstRoiSize, double xFactor, double yFactor,              \
                                    int interpolation) {                                                          \
        return ResizeEntryT<L>(pSrc, srcSize, srcStep, srcRoi, pDst, dstStep, dstRoiSize, xFactor, yFactor,       \
                               interpolation, 3, 3, kResizeDepth8u);                                              \
    }
