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
    // A NaN factor fails "at most 1.0" and reaches the general driver.
    static constexpr bool kNaNReduces = false;
    static constexpr auto general = ResizeGeneral_px;
    static constexpr auto superSampling = ResizeSuperSampling_px;
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


VpStatus vpiResize_32f_C1R_px(const Vp32f* pSrc, VpiSize srcSize, int srcStep, VpiRect srcRoi, Vp32f* pDst,
                              int dstStep, VpiSize dstRoiSize, double xFactor, double yFactor,
                              int interpolation) {
    return ResizeEntryT<ResizeLevelPx>(pSrc, srcSize, srcStep, srcRoi, pDst, dstStep, dstRoiSize, xFactor, yFactor, interpolation, 1,
                       1, kResizeDepth32f);
}

VpStatus vpiResize_8u_C3R_px(const Vp8u* pSrc, VpiSize srcSize, int srcStep, VpiRect srcRoi, Vp8u* pDst,
                             int dstStep, VpiSize dstRoiSize, double xFactor, double yFactor, int interpolation) {
    return ResizeEntryT<ResizeLevelPx>(pSrc, srcSize, srcStep, srcRoi, pDst, dstStep, dstRoiSize, xFactor, yFactor, interpolation, 3,
                       3, kResizeDepth8u);
}
