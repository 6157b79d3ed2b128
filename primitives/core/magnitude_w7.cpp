// w7 level of the complex magnitude (the body shared by the SIMD levels).
#include "primitives/core/level_routines.h"
#include "primitives/core/magnitude_body_a6.h"

VpStatus vpsMagnitude_32fc_w7(const Vp32fc* pSrc, Vp32f* pDst, int len) { return magnitudeSimd(pSrc, pDst, len); }
