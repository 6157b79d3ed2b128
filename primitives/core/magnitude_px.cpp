// px level of the complex magnitude: the sum of squares and its root in double
// precision, rounded once to float.
#include <cmath>

#include "primitives/core/level_routines.h"

VpStatus vpsMagnitude_32fc_px(const Vp32fc* pSrc, Vp32f* pDst, int len) {
    if (!pSrc || !pDst) return vpStsNullPtrErr;
    if (len <= 0) return vpStsSizeErr;
    for (int k = 0; k < len; ++k) {
        const double re = pSrc[k].re;
        const double im = pSrc[k].im;
        pDst[k] = static_cast<Vp32f>(std::sqrt(re * re + im * im));
    }
    return vpStsNoErr;
}
