// Per-level routines of the pixel primitives that other primitives call
// directly, always the routine of their own level (never through a slot):
//   vpiCopy_8u_C1R_<level>      the median filter's 1x1 case
//   vpsCopy_32f_<level>         row moves of the in-place morphology
//   vpsMagnitude_32fc_<level>   rows of the image magnitude
// The entry variants (vpiCopy_8u_C1R_px and the others) are declared with the
// rest of the dispatched entries' variants.
#pragma once

#include "primitives/core/dispatch_variants.h"
#include "primitives/core/vp_types.h"

// Copies len floats: vpStsNullPtrErr for a null pointer, vpStsSizeErr for len <= 0.
VpStatus vpsCopy_32f_px(const Vp32f* pSrc, Vp32f* pDst, int len);
VpStatus vpsCopy_32f_a6(const Vp32f* pSrc, Vp32f* pDst, int len);
VpStatus vpsCopy_32f_w7(const Vp32f* pSrc, Vp32f* pDst, int len);
VpStatus vpsCopy_32f_t7(const Vp32f* pSrc, Vp32f* pDst, int len);

// pDst[k] = |pSrc[k]|, the magnitude of each complex sample: vpStsNullPtrErr
// for a null pSrc, then pDst; vpStsSizeErr for len <= 0.
// The px level computes in double precision; the SIMD levels in single
// precision through the reciprocal-square-root estimate (within about 3 units
// in the last place of the root of the single-precision sum), taking the
// exact path where that sum lies outside the estimate's range.
VpStatus vpsMagnitude_32fc_px(const Vp32fc* pSrc, Vp32f* pDst, int len);
VpStatus vpsMagnitude_32fc_a6(const Vp32fc* pSrc, Vp32f* pDst, int len);
VpStatus vpsMagnitude_32fc_w7(const Vp32fc* pSrc, Vp32f* pDst, int len);
VpStatus vpsMagnitude_32fc_t7(const Vp32fc* pSrc, Vp32f* pDst, int len);
