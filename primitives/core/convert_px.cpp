// px level of the depth conversions between 8-bit and float pixels.
#include "primitives/core/core_px.h"
#include "primitives/core/pixel_px.h"

using vp_px::badSize;
using vp_px::rowAt;

namespace {

// Saturates to 0..255, then rounds to nearest with ties to even.
inline Vp8u nearestByte(Vp32f x) {
    if (x >= 255.0f) return 255;
    if (!(x > 0.0f)) return 0;  // zero, negative or NaN
    const double t = static_cast<double>(x) + 0.5;  // exact for floats below 255
    int e = static_cast<int>(t);
    if ((e & 1) && e == t) --e;  // a tie goes to the even neighbour
    return static_cast<Vp8u>(e);
}

// Saturates to 0..255, then truncates toward zero.
inline Vp8u truncatedByte(Vp32f x) {
    if (x >= 255.0f) return 255;
    if (!(x > 0.0f)) return 0;
    return static_cast<Vp8u>(static_cast<int>(x));
}

}  // namespace

VpStatus vpiConvert_8u32f_C1R_px(const Vp8u* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize roiSize) {
    if (!pSrc || !pDst) return vpStsNullPtrErr;
    if (badSize(roiSize)) return vpStsSizeErr;
    if (srcStep <= 0 || dstStep <= 0) return vpStsStepErr;
    for (int y = 0; y < roiSize.height; ++y) {
        const Vp8u* s = rowAt(pSrc, srcStep, y);
        Vp32f* d = rowAt(pDst, dstStep, y);
        for (int x = 0; x < roiSize.width; ++x) d[x] = static_cast<Vp32f>(s[x]);
    }
    return vpStsNoErr;
}

VpStatus vpiConvert_32f8u_C1R_px(const Vp32f* pSrc, int srcStep, Vp8u* pDst, int dstStep, VpiSize roiSize,
                                 VpRoundMode roundMode) {
    if (!pSrc || !pDst) return vpStsNullPtrErr;
    if (badSize(roiSize)) return vpStsSizeErr;
    if (srcStep <= 0 || dstStep <= 0) return vpStsStepErr;
    for (int y = 0; y < roiSize.height; ++y) {
        const Vp32f* s = rowAt(pSrc, srcStep, y);
        Vp8u* d = rowAt(pDst, dstStep, y);
        if (roundMode == vpRndNear)
            for (int x = 0; x < roiSize.width; ++x) d[x] = nearestByte(s[x]);
        else
            for (int x = 0; x < roiSize.width; ++x) d[x] = truncatedByte(s[x]);
    }
    return vpStsNoErr;
}
