// px level of the affine warp: the core instantiated with the px helpers, the
// px kernel table and the dispatched entry's px variant.
#include "primitives/warp/warp_core.h"
#include "primitives/warp/warp_px.h"

namespace {

struct PxLevel {
    static VpStatus quad(VpiRect roi, double q[4][2], const double coeffs[2][3]) {
        return vpiGetAffineQuad_px(roi, q, coeffs);
    }
    static int convexity(const double q[4][2]) { return CheckQuadConvexity_px(q); }
    static void inverse(int x0, int y0, int x1, int y1, const double q[4][2], WarpInverseCoeffs* out,
                        int* orientation, int forward) {
        AffineFromQuad_px(x0, y0, x1, y1, q, out, orientation, forward);
    }
    static int spans(const double q[4][2], int x0, int y0, int x1, int y1, int orientation, WarpRowSpan** out,
                     int* firstRow, int* lastRow) {
        return BuildWarpSpans_px(q, x0, y0, x1, y1, orientation, out, firstRow, lastRow);
    }
    static void smoothEdges(void* pDst, int dstStep, int formatCode, const double q[4][2], int x0, int y0, int x1,
                            int y1, int orientation) {
        WarpSmoothEdgePass_px(pDst, dstStep, formatCode, q, x0, y0, x1, y1, orientation);
    }
    static const WarpRowKernel* table() { return WarpKernelTable_px; }
    // The px cubic kernels work pixel by pixel without a scratch row.
    static constexpr bool kCubicScratch = false;
};

}  // namespace

#define VP_WARP_PX_TABLE_ROW(depthName, T, layoutName, code, stride, channels, planes) \
    &WarpNN_##depthName##_##layoutName##_px, &WarpLinear_##depthName##_##layoutName##_px, \
        &WarpCubic_##depthName##_##layoutName##_px,
const WarpRowKernel WarpKernelTable_px[kWarpKernelCount] = {VP_WARP_FORMATS(VP_WARP_PX_TABLE_ROW)};
#undef VP_WARP_PX_TABLE_ROW

VpStatus WarpAffineCore_px(const void* pSrc, VpiSize srcSize, int srcStep, VpiRect srcRoi, void* pDst, int dstStep,
                           VpiRect dstRoi, int formatCode, const double coeffs[2][3], int interpolation) {
    return WarpAffineCoreT<PxLevel>(pSrc, srcSize, srcStep, srcRoi, pDst, dstStep, dstRoi, formatCode, coeffs,
                                    interpolation);
}

VpStatus vpiWarpAffine_32f_C1R_px(const Vp32f* pSrc, VpiSize srcSize, int srcStep, VpiRect srcRoi, Vp32f* pDst,
                                  int dstStep, VpiRect dstRoi, const double coeffs[2][3], int interpolation) {
    return WarpAffineCore_px(pSrc, srcSize, srcStep, srcRoi, pDst, dstStep, dstRoi, kWarpFormat32fC1, coeffs,
                             interpolation);
}
