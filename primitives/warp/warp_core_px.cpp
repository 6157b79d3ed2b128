// px level of the affine warp: the core instantiated with the px helpers, the
// px kernel table and the dispatched entry's px variant.
#include "primitives/warp/warp_core.h"
#include "primitives/warp/warp_level_policy.h"
#include "primitives/warp/warp_px.h"

namespace {

// The px cubic kernels work pixel by pixel without a scratch row.
using PxLevel = WarpLevelPolicy<&vpiGetAffineQuad_px, WarpKernelTable_px, false>;

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
