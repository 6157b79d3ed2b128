// px level of the depth conversions between 8-bit and float pixels.
#include "primitives/core/core_px.h"
#include "primitives/core/pixel_px.h"

using vp_px::badSize;
using vp_px::rowAt;

namespace {

// Saturates to 0..255: values at or above 255 give 255; zero, negative values
// and NaN give 0.
inline Vp32f saturated(Vp32f x) { return x >= 255.0f ? 255.0f : (x > 0.0f ? x : 0.0f); }

// Rounds saturated values to nearest with ties to even, whatever the
// processor's rounding mode: e = integer part of c + 0.5 (exact for
// 0 <= c <= 255), one less when that is odd and was a tie. The saturation
// runs as a pass of its own over a short run, which keeps both loops free of
// branches, so the compiler vectorises them.
void nearestBytes(const Vp32f* src, Vp8u* dst, int width) {
    constexpr int kRun = 256;
    Vp32f halfUp[kRun];
    for (int start = 0; start < width; start += kRun) {
        const int n = width - start < kRun ? width - start : kRun;
        for (int x = 0; x < n; ++x) halfUp[x] = saturated(src[start + x]);
        for (int x = 0; x < n; ++x) halfUp[x] += 0.5f;
        for (int x = 0; x < n; ++x) {
            const Vp32f t = halfUp[x];
            const int e = static_cast<int>(t);
            const int tie = static_cast<Vp32f>(e) == t ? 1 : 0;
            dst[start + x] = static_cast<Vp8u>(e - (e & tie));
        }
    }
}

// Saturates, then truncates toward zero.
inline Vp8u truncatedByte(Vp32f x) { return static_cast<Vp8u>(static_cast<int>(saturated(x))); }

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
            nearestBytes(s, d, roiSize.width);
        else
            for (int x = 0; x < roiSize.width; ++x) d[x] = truncatedByte(s[x]);
    }
    return vpStsNoErr;
}
