// a6 level of the affine warp (only MMX and SSE; nearest and linear kernels in
// single precision): the core instantiated with the level's helpers, its
// kernel table and the dispatched entry's a6 variant.
#include "primitives/warp/warp_core_simd.h"

#define VP_WARP_A6_TABLE_ROW(depthName, T, layoutName, code, stride, channels, planes) \
    VP_WARP_SIMD_TABLE_ROW(a6, depthName, layoutName)
const WarpRowKernel WarpKernelTable_a6[kWarpKernelCount] = {VP_WARP_FORMATS(VP_WARP_A6_TABLE_ROW)};
#undef VP_WARP_A6_TABLE_ROW

VpStatus WarpAffineCore_a6(const void* pSrc, VpiSize srcSize, int srcStep, VpiRect srcRoi, void* pDst, int dstStep,
                           VpiRect dstRoi, int formatCode, const double coeffs[2][3], int interpolation) {
    return WarpAffineCoreT<WarpSimdLevel<&vpiGetAffineQuad_px, WarpKernelTable_a6>>(
        pSrc, srcSize, srcStep, srcRoi, pDst, dstStep, dstRoi, formatCode, coeffs, interpolation);
}

VpStatus vpiWarpAffine_32f_C1R_a6(const Vp32f* pSrc, VpiSize srcSize, int srcStep, VpiRect srcRoi, Vp32f* pDst,
                                  int dstStep, VpiRect dstRoi, const double coeffs[2][3], int interpolation) {
    return WarpAffineCore_a6(pSrc, srcSize, srcStep, srcRoi, pDst, dstStep, dstRoi, kWarpFormat32fC1, coeffs,
                             interpolation);
}
