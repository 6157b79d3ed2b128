// The px level of the resize primitives: the two entries, the general and the
// supersampling drivers, and the px kernel tables.
#include "primitives/resize/resize_px.h"

#include "primitives/core/memory.h"
#include "primitives/resize/resize.h"
#include "primitives/resize/resize_general.h"
#include "primitives/resize/resize_super_driver.h"

namespace {

struct ResizeLevelPx {
    static const ResizeKernelEntry* kernels() { return ResizeKernelTable_px; }
    static const ResizeSuperKernel (*superKernels())[3] { return ResizeSuperKernelTable_px; }
    static void* allocFloat(int count) { return vpsMalloc_32f(count); }
    // Quotients of the size and step rules as a product with the rounded reciprocal.
    static double quotient(double num, double den) { return num * (1.0 / den); }
};

}  // namespace

const ResizeKernelEntry ResizeKernelTable_px[kResizeKernelCount] = {
    {ResizeNN_8u_C3_px, nullptr, nullptr},
    {ResizeNN_16u_C3_px, nullptr, nullptr},
    {ResizeNN_32f_C3_px, nullptr, nullptr},
    {ResizeNN_8u_C1_px, nullptr, nullptr},
    {ResizeNN_16u_C1_px, nullptr, nullptr},
    {ResizeNN_32f_C1_px, nullptr, nullptr},
    {ResizeNN_8u_C4_px, nullptr, nullptr},
    {ResizeNN_16u_C4_px, nullptr, nullptr},
    {ResizeNN_32f_C4_px, nullptr, nullptr},
    {nullptr, ResizeLinear_8u_C3C4_px, nullptr},
    {nullptr, ResizeLinear_16u_C3C4_px, nullptr},
    {nullptr, ResizeLinear_32f_C3C4_px, nullptr},
    {nullptr, ResizeLinear_8u_C1_px, nullptr},
    {nullptr, ResizeLinear_16u_C1_px, nullptr},
    {nullptr, ResizeLinear_32f_C1_px, nullptr},
    {nullptr, nullptr, ResizeCubic_8u_C3C4_px},
    {nullptr, nullptr, ResizeCubic_16u_C3C4_px},
    {nullptr, nullptr, ResizeCubic_32f_C3C4_px},
    {nullptr, nullptr, ResizeCubic_8u_C1_px},
    {nullptr, nullptr, ResizeCubic_16u_C1_px},
    {nullptr, nullptr, ResizeCubic_32f_C1_px},
};

const ResizeSuperKernel ResizeSuperKernelTable_px[3][3] = {
    {ResizeSuper_8u_C1_px, ResizeSuper_8u_C3_px, ResizeSuper_8u_C4_px},
    {ResizeSuper_16u_C1_px, ResizeSuper_16u_C3_px, ResizeSuper_16u_C4_px},
    {ResizeSuper_32f_C1_px, ResizeSuper_32f_C3_px, ResizeSuper_32f_C4_px},
};

VpStatus ResizeGeneral_px(const void* pSrc, int srcWidth, int srcHeight, int srcStep, int roiX, int roiY,
                          int roiWidth, int roiHeight, void* pDst, int dstStep, int dstWidth, int dstHeight,
                          double xFactor, double yFactor, double xShift, double yShift, int nChannels,
                          int layout, int depth, int planar, int interpolation, int scaleMode) {
    return ResizeGeneralT<ResizeLevelPx>(pSrc, srcWidth, srcHeight, srcStep, roiX, roiY, roiWidth, roiHeight, pDst,
                                         dstStep, dstWidth, dstHeight, xFactor, yFactor, xShift, yShift, nChannels,
                                         layout, depth, planar, interpolation, scaleMode);
}

VpStatus ResizeSuperSampling_px(const void* pSrc, VpiSize srcSize, int srcStep, VpiRect srcRoi, void* pDst,
                                int dstStep, VpiSize dstRoiSize, double xFactor, double yFactor, int nChannels,
                                int layout, int depth, int planar) {
    return ResizeSuperSamplingT<ResizeLevelPx>(pSrc, srcSize, srcStep, srcRoi, pDst, dstStep, dstRoiSize, xFactor,
                                               yFactor, nChannels, layout, depth, planar);
}

namespace {

// The entries hand supersampling requests with both factors at most 1.0 to the
// supersampling driver (a NaN factor fails the comparison and reaches the
// general driver, which refuses it); everything else goes to the general driver.
VpStatus resizeEntry(const void* pSrc, VpiSize srcSize, int srcStep, VpiRect srcRoi, void* pDst, int dstStep,
                     VpiSize dstRoiSize, double xFactor, double yFactor, int interpolation, int nChannels, int layout,
                     int depth) {
    if (interpolation == VPI_INTER_SUPER && xFactor <= 1.0 && yFactor <= 1.0) {
        return ResizeSuperSampling_px(pSrc, srcSize, srcStep, srcRoi, pDst, dstStep, dstRoiSize, xFactor, yFactor,
                                      nChannels, layout, depth, 0);
    }
    return ResizeGeneral_px(pSrc, srcSize.width, srcSize.height, srcStep, srcRoi.x, srcRoi.y, srcRoi.width,
                            srcRoi.height, pDst, dstStep, dstRoiSize.width, dstRoiSize.height, xFactor, yFactor, 0.0,
                            0.0, nChannels, layout, depth, 0, interpolation, 1);
}

}  // namespace

VpStatus vpiResize_32f_C1R_px(const Vp32f* pSrc, VpiSize srcSize, int srcStep, VpiRect srcRoi, Vp32f* pDst,
                              int dstStep, VpiSize dstRoiSize, double xFactor, double yFactor,
                              int interpolation) {
    return resizeEntry(pSrc, srcSize, srcStep, srcRoi, pDst, dstStep, dstRoiSize, xFactor, yFactor, interpolation, 1,
                       1, kResizeDepth32f);
}

VpStatus vpiResize_8u_C3R_px(const Vp8u* pSrc, VpiSize srcSize, int srcStep, VpiRect srcRoi, Vp8u* pDst,
                             int dstStep, VpiSize dstRoiSize, double xFactor, double yFactor, int interpolation) {
    return resizeEntry(pSrc, srcSize, srcStep, srcRoi, pDst, dstStep, dstRoiSize, xFactor, yFactor, interpolation, 3,
                       3, kResizeDepth8u);
}
