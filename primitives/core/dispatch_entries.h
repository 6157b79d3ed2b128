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
    X(7, VpStatus, vpiCopyReplicateBorder_32s_C1R, (const Vp32s* pSrc, int srcStep, VpiSize srcRoiSize, Vp32s* pDst, int dstStep, VpiSize dstRoiSize, int topBorderHeight, int leftBorderWidth), (pSrc, srcStep, srcRoiSize, pDst, dstStep, dstRoiSize, topBorderHeight, leftBorderWidth)) \
    X(8, VpStatus, vpiCopy_32f_C1R, (const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize roiSize), (pSrc, srcStep, pDst, dstStep, roiSize)) \
    X(9, VpStatus, vpiCopy_8u_C1R, (const Vp8u* pSrc, int srcStep, Vp8u* pDst, int dstStep, VpiSize roiSize), (pSrc, srcStep, pDst, dstStep, roiSize)) \
    X(10, VpStatus, vpiCopy_8u_C3R, (const Vp8u* pSrc, int srcStep, Vp8u* pDst, int dstStep, VpiSize roiSize), (pSrc, srcStep, pDst, dstStep, roiSize)) \
    X(25, void, vpiFree, (void* ptr), (ptr)) \
    X(27, Vp8u*, vpiMalloc_8u_C1, (int widthBytes, int height, int* pStep), (widthBytes, height, pStep)) \
    X(34, VpStatus, vpiSet_32f_C1R, (Vp32f value, Vp32f* pDst, int dstStep, VpiSize roiSize), (value, pDst, dstStep, roiSize)) \
    X(47, VpStatus, vpiWarpAffine_32f_C1R, (const Vp32f* pSrc, VpiSize srcSize, int srcStep, VpiRect srcRoi, Vp32f* pDst, int dstStep, VpiRect dstRoi, const double coeffs[2][3], int interpolation), (pSrc, srcSize, srcStep, srcRoi, pDst, dstStep, dstRoi, coeffs, interpolation)) \
    /* entries are added here, one line each, in slot order */
