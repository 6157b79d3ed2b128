// px routines of the pixel primitives that are not dispatched entries: the
// one-dimensional routines under the image entries and the general forms the
// entries are built on. Each level has its own set; these are the px ones.
#pragma once

#include "primitives/core/dispatch_variants.h"

// |x| and x*x of len floats: vpStsNullPtrErr, then vpStsSizeErr for len <= 0.
VpStatus vpsAbs_32f_px(const Vp32f* pSrc, Vp32f* pDst, int len);
VpStatus vpsSqr_32f_px(const Vp32f* pSrc, Vp32f* pDst, int len);
VpStatus vpsSqr_32f_I_px(Vp32f* pSrcDst, int len);

// dst = src2 / src1 (the first image is the divisor), with the zero-divisor
// rule; vpStsDivByZero when any divisor was zero.
VpStatus vpiDiv_32f_C1R_px(const Vp32f* pSrc1, int src1Step, const Vp32f* pSrc2, int src2Step, Vp32f* pDst,
                           int dstStep, VpiSize roiSize);
// pDst[i] = pSrc2[i] / pSrc1[i] without argument checks; 6 when a divisor was zero.
VpStatus vpsDiv_32f_px(const Vp32f* pSrc1, const Vp32f* pSrc2, Vp32f* pDst, int len);

// The thresholds' general forms. vpCmpOp is vpCmpLess or vpCmpGreater.
VpStatus vpiThreshold_GT_32f_C1R_px(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize roiSize,
                                    Vp32f threshold);
VpStatus vpiThreshold_32f_C1R_px(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize roiSize,
                                 Vp32f threshold, VpCmpOp vpCmpOp);
VpStatus vpiThreshold_Val_32f_C1R_px(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize roiSize,
                                     Vp32f threshold, Vp32f value, VpCmpOp vpCmpOp);
