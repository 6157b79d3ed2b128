// w7 level of the affine warp (SSE2; nearest and linear kernels on double
// source points): the core instantiated with the level's helpers, its kernel
// table and the dispatched entry's w7 variant.
#include "primitives/warp/warp_core_simd.h"
#include "primitives/warp/warp_quad_body.h"

VpStatus vpiGetAffineQuad_w7(VpiRect srcRoi, double quad[4][2], const double coeffs[2][3]) {
    return warpGetAffineQuad(srcRoi, quad, coeffs);
}

#define VP_WARP_W7_TABLE_ROW(depthName, T, layoutName, code, stride, channels, planes) \
    VP_WARP_SIMD_TABLE_ROW(w7, depthName, layoutName)
const WarpRowKernel WarpKernelTable_w7[kWarpKernelCount] = {VP_WARP_FORMATS(VP_WARP_W7_TABLE_ROW)};
#undef VP_WARP_W7_TABLE_ROW

VpStatus WarpAffineCore_w7(const void* pSrc, VpiSize srcSize, int srcStep, VpiRect srcRoi, void* pDst, int dstStep,
                           VpiRect dstRoi, int formatCode, const double coeffs[2][3], int interpolation) {
    return WarpAffineCoreT<WarpSimdLevel<&vpiGetAffineQuad_w7, WarpKernelTable_w7>>(
        pSrc, srcSize, srcStep, srcRoi, pDst, dstStep, dstRoi, formatCode, coeffs, interpolation);
}

VpStatus vpiWarpAffine_32f_C1R_w7(const Vp32f* pSrc, VpiSize srcSize, int srcStep, VpiRect srcRoi, Vp32f* pDst,
                                  int dstStep, VpiRect dstRoi, const double coeffs[2][3], int interpolation) {
    return WarpAffineCore_w7(pSrc, srcSize, srcStep, srcRoi, pDst, dstStep, dstRoi, kWarpFormat32fC1, coeffs,
                             interpolation);
}
