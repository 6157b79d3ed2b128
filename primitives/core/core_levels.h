// Routines of the SIMD levels' pixel primitives that are not dispatched
// entries: the one-dimensional routines under the image entries and the
// general forms the entries are built on, one set per level (the px set is in
// core_px.h, with the same contracts).
#pragma once

#include "primitives/core/dispatch_variants.h"

#define VP_DECLARE_CORE_LEVEL_ROUTINES(level)                                                                   \
    VpStatus vpsAbs_32f_##level(const Vp32f* pSrc, Vp32f* pDst, int len);                                      \
    VpStatus vpsSqr_32f_##level(const Vp32f* pSrc, Vp32f* pDst, int len);                                      \
    VpStatus vpsSqr_32f_I_##level(Vp32f* pSrcDst, int len);                                                    \
    VpStatus vpiDiv_32f_C1R_##level(const Vp32f* pSrc1, int src1Step, const Vp32f* pSrc2, int src2Step,        \
                                    Vp32f* pDst, int dstStep, VpiSize roiSize);                               \
    VpStatus vpsDiv_32f_##level(const Vp32f* pSrc1, const Vp32f* pSrc2, Vp32f* pDst, int len);                 \
    VpStatus vpiThreshold_GT_32f_C1R_##level(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep,         \
                                             VpiSize roiSize, Vp32f threshold);                               \
    VpStatus vpiThreshold_32f_C1R_##level(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep,            \
                                          VpiSize roiSize, Vp32f threshold, VpCmpOp vpCmpOp);
VP_DECLARE_CORE_LEVEL_ROUTINES(a6)
VP_DECLARE_CORE_LEVEL_ROUTINES(w7)
VP_DECLARE_CORE_LEVEL_ROUTINES(t7)
#undef VP_DECLARE_CORE_LEVEL_ROUTINES
