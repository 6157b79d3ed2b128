// The dispatched entries, written once, in slot order. Everything else about
// an entry is generated from its line: its slot, its dispatch record, its
// forwarding function and the declarations of its level variants.
//
// One line per entry:
//   X(slot, result, name, (parameter list), (argument names))
// The entry's variants are the functions name_px, name_a6, name_w7 and name_t7,
// each with exactly the entry's parameter list and result. A level whose
// variant is not built yet stays null in the record, and the level selection
// walks down to a level that is complete.
//
// The list grows as the entries are built; keep the slot numbers increasing.
#pragma once

#define VP_DISPATCH_ENTRIES(X) \
    X(0, const VpLibraryVersion*, vpsGetLibVersion, (), ()) \
    X(1, VpStatus, vpiAbs_32f_C1R, (const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize roiSize), (pSrc, srcStep, pDst, dstStep, roiSize)) \
    X(2, VpStatus, vpiAddC_32f_C1IR, (Vp32f value, Vp32f* pSrcDst, int srcDstStep, VpiSize roiSize), (value, pSrcDst, srcDstStep, roiSize)) \
    X(3, VpStatus, vpiAdd_32f_C1IR, (const Vp32f* pSrc, int srcStep, Vp32f* pSrcDst, int srcDstStep, VpiSize roiSize), (pSrc, srcStep, pSrcDst, srcDstStep, roiSize)) \
    X(4, VpStatus, vpiCompareC_32f_C1R, (const Vp32f* pSrc, int srcStep, Vp32f value, Vp8u* pDst, int dstStep, VpiSize roiSize, VpCmpOp vpCmpOp), (pSrc, srcStep, value, pDst, dstStep, roiSize, vpCmpOp)) \
    X(5, VpStatus, vpiConvert_32f8u_C1R, (const Vp32f* pSrc, int srcStep, Vp8u* pDst, int dstStep, VpiSize roiSize, VpRoundMode roundMode), (pSrc, srcStep, pDst, dstStep, roiSize, roundMode)) \
    X(6, VpStatus, vpiConvert_8u32f_C1R, (const Vp8u* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize roiSize), (pSrc, srcStep, pDst, dstStep, roiSize)) \
    X(7, VpStatus, vpiCopyReplicateBorder_32s_C1R, (const Vp32s* pSrc, int srcStep, VpiSize srcRoiSize, Vp32s* pDst, int dstStep, VpiSize dstRoiSize, int topBorderHeight, int leftBorderWidth), (pSrc, srcStep, srcRoiSize, pDst, dstStep, dstRoiSize, topBorderHeight, leftBorderWidth)) \
    X(8, VpStatus, vpiCopy_32f_C1R, (const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize roiSize), (pSrc, srcStep, pDst, dstStep, roiSize)) \
    X(9, VpStatus, vpiCopy_8u_C1R, (const Vp8u* pSrc, int srcStep, Vp8u* pDst, int dstStep, VpiSize roiSize), (pSrc, srcStep, pDst, dstStep, roiSize)) \
    X(10, VpStatus, vpiCopy_8u_C3R, (const Vp8u* pSrc, int srcStep, Vp8u* pDst, int dstStep, VpiSize roiSize), (pSrc, srcStep, pDst, dstStep, roiSize)) \
    X(11, VpStatus, vpiDilate3x3_32f_C1R, (const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize roiSize), (pSrc, srcStep, pDst, dstStep, roiSize)) \
    X(12, VpStatus, vpiDilate_32f_C1IR, (Vp32f* pSrcDst, int srcDstStep, VpiSize roiSize, const Vp8u* pMask, VpiSize maskSize, VpiPoint anchor), (pSrcDst, srcDstStep, roiSize, pMask, maskSize, anchor)) \
    X(13, VpStatus, vpiDiv_32f_C1IR, (const Vp32f* pSrc, int srcStep, Vp32f* pSrcDst, int srcDstStep, VpiSize roiSize), (pSrc, srcStep, pSrcDst, srcDstStep, roiSize)) \
    X(14, VpStatus, vpiErode3x3_32f_C1IR, (Vp32f* pSrcDst, int srcDstStep, VpiSize roiSize), (pSrcDst, srcDstStep, roiSize)) \
    X(15, VpStatus, vpiErode3x3_32f_C1R, (const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize roiSize), (pSrc, srcStep, pDst, dstStep, roiSize)) \
    X(16, VpStatus, vpiErode_32f_C1IR, (Vp32f* pSrcDst, int srcDstStep, VpiSize roiSize, const Vp8u* pMask, VpiSize maskSize, VpiPoint anchor), (pSrcDst, srcDstStep, roiSize, pMask, maskSize, anchor)) \
    X(17, VpStatus, vpiFFTFree_C_32fc, (VpiFFTSpec_C_32fc* pSpec), (pSpec)) \
    X(18, VpStatus, vpiFFTFwd_CToC_32fc_C1R, (const Vp32fc* pSrc, int srcStep, Vp32fc* pDst, int dstStep, const VpiFFTSpec_C_32fc* pSpec, Vp8u* pBuffer), (pSrc, srcStep, pDst, dstStep, pSpec, pBuffer)) \
    X(19, VpStatus, vpiFFTGetBufSize_C_32fc, (const VpiFFTSpec_C_32fc* pSpec, int* pBufSize), (pSpec, pBufSize)) \
    X(20, VpStatus, vpiFFTInitAlloc_C_32fc, (VpiFFTSpec_C_32fc** ppSpec, int orderX, int orderY, int flag, VpHintAlgorithm hint), (ppSpec, orderX, orderY, flag, hint)) \
    X(21, VpStatus, vpiFFTInv_CToC_32fc_C1R, (const Vp32fc* pSrc, int srcStep, Vp32fc* pDst, int dstStep, const VpiFFTSpec_C_32fc* pSpec, Vp8u* pBuffer), (pSrc, srcStep, pDst, dstStep, pSpec, pBuffer)) \
    X(22, VpStatus, vpiFilterColumn_32f_C1R, (const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize dstRoiSize, const Vp32f* pKernel, int kernelSize, int yAnchor), (pSrc, srcStep, pDst, dstStep, dstRoiSize, pKernel, kernelSize, yAnchor)) \
    X(23, VpStatus, vpiFilterMedian_8u_C1R, (const Vp8u* pSrc, int srcStep, Vp8u* pDst, int dstStep, VpiSize dstRoiSize, VpiSize maskSize, VpiPoint anchor), (pSrc, srcStep, pDst, dstStep, dstRoiSize, maskSize, anchor)) \
    X(24, VpStatus, vpiFilterRow_32f_C1R, (const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize dstRoiSize, const Vp32f* pKernel, int kernelSize, int xAnchor), (pSrc, srcStep, pDst, dstStep, dstRoiSize, pKernel, kernelSize, xAnchor)) \
    X(25, void, vpiFree, (void* ptr), (ptr)) \
    X(26, VpStatus, vpiMagnitude_32fc32f_C1R, (const Vp32fc* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize roiSize), (pSrc, srcStep, pDst, dstStep, roiSize)) \
    X(27, Vp8u*, vpiMalloc_8u_C1, (int widthBytes, int height, int* pStep), (widthBytes, height, pStep)) \
    X(28, VpStatus, vpiMulC_32f_C1IR, (Vp32f value, Vp32f* pSrcDst, int srcDstStep, VpiSize roiSize), (value, pSrcDst, srcDstStep, roiSize)) \
    X(29, VpStatus, vpiMulC_32f_C1R, (const Vp32f* pSrc, int srcStep, Vp32f value, Vp32f* pDst, int dstStep, VpiSize roiSize), (pSrc, srcStep, value, pDst, dstStep, roiSize)) \
    X(30, VpStatus, vpiMul_32f_C1IR, (const Vp32f* pSrc, int srcStep, Vp32f* pSrcDst, int srcDstStep, VpiSize roiSize), (pSrc, srcStep, pSrcDst, srcDstStep, roiSize)) \
    X(31, VpStatus, vpiRGBToYUV_8u_C3P3R, (const Vp8u* pSrc, int srcStep, Vp8u* const pDst[3], int dstStep, VpiSize roiSize), (pSrc, srcStep, pDst, dstStep, roiSize)) \
    X(32, VpStatus, vpiResize_32f_C1R, (const Vp32f* pSrc, VpiSize srcSize, int srcStep, VpiRect srcRoi, Vp32f* pDst, int dstStep, VpiSize dstRoiSize, double xFactor, double yFactor, int interpolation), (pSrc, srcSize, srcStep, srcRoi, pDst, dstStep, dstRoiSize, xFactor, yFactor, interpolation)) \
    X(33, VpStatus, vpiResize_8u_C3R, (const Vp8u* pSrc, VpiSize srcSize, int srcStep, VpiRect srcRoi, Vp8u* pDst, int dstStep, VpiSize dstRoiSize, double xFactor, double yFactor, int interpolation), (pSrc, srcSize, srcStep, srcRoi, pDst, dstStep, dstRoiSize, xFactor, yFactor, interpolation)) \
    X(34, VpStatus, vpiSet_32f_C1R, (Vp32f value, Vp32f* pDst, int dstStep, VpiSize roiSize), (value, pDst, dstStep, roiSize)) \
    X(35, VpStatus, vpiSqr_32f_C1IR, (Vp32f* pSrcDst, int srcDstStep, VpiSize roiSize), (pSrcDst, srcDstStep, roiSize)) \
    X(36, VpStatus, vpiSqr_32f_C1R, (const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize roiSize), (pSrc, srcStep, pDst, dstStep, roiSize)) \
    X(37, VpStatus, vpiSubC_32f_C1IR, (Vp32f value, Vp32f* pSrcDst, int srcDstStep, VpiSize roiSize), (value, pSrcDst, srcDstStep, roiSize)) \
    X(38, VpStatus, vpiSubC_32f_C1R, (const Vp32f* pSrc, int srcStep, Vp32f value, Vp32f* pDst, int dstStep, VpiSize roiSize), (pSrc, srcStep, value, pDst, dstStep, roiSize)) \
    X(39, VpStatus, vpiSub_32f_C1IR, (const Vp32f* pSrc, int srcStep, Vp32f* pSrcDst, int srcDstStep, VpiSize roiSize), (pSrc, srcStep, pSrcDst, srcDstStep, roiSize)) \
    X(40, VpStatus, vpiSub_32f_C1R, (const Vp32f* pSrc1, int src1Step, const Vp32f* pSrc2, int src2Step, Vp32f* pDst, int dstStep, VpiSize roiSize), (pSrc1, src1Step, pSrc2, src2Step, pDst, dstStep, roiSize)) \
    X(41, VpStatus, vpiSum_32f_C1R, (const Vp32f* pSrc, int srcStep, VpiSize roiSize, Vp64f* pSum, VpHintAlgorithm hint), (pSrc, srcStep, roiSize, pSum, hint)) \
    X(42, VpStatus, vpiSum_8u_C1R, (const Vp8u* pSrc, int srcStep, VpiSize roiSize, Vp64f* pSum), (pSrc, srcStep, roiSize, pSum)) \
    X(43, VpStatus, vpiThreshold_GT_32f_C1IR, (Vp32f* pSrcDst, int srcDstStep, VpiSize roiSize, Vp32f threshold), (pSrcDst, srcDstStep, roiSize, threshold)) \
    X(44, VpStatus, vpiThreshold_LT_32f_C1IR, (Vp32f* pSrcDst, int srcDstStep, VpiSize roiSize, Vp32f threshold), (pSrcDst, srcDstStep, roiSize, threshold)) \
    X(45, VpStatus, vpiThreshold_LT_32f_C1R, (const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize roiSize, Vp32f threshold), (pSrc, srcStep, pDst, dstStep, roiSize, threshold)) \
    X(46, VpStatus, vpiYUVToRGB_8u_P3C3R, (const Vp8u* const pSrc[3], int srcStep, Vp8u* pDst, int dstStep, VpiSize roiSize), (pSrc, srcStep, pDst, dstStep, roiSize)) \
    X(47, VpStatus, vpiWarpAffine_32f_C1R, (const Vp32f* pSrc, VpiSize srcSize, int srcStep, VpiRect srcRoi, Vp32f* pDst, int dstStep, VpiRect dstRoi, const double coeffs[2][3], int interpolation), (pSrc, srcSize, srcStep, srcRoi, pDst, dstStep, dstRoi, coeffs, interpolation)) \
    /* entries are added here, one line each, in slot order */
