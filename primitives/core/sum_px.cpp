// px level of the image sums.
#include <cstdint>

#include "primitives/core/core_px.h"
#include "primitives/core/pixel_px.h"

using vp_px::badSize;
using vp_px::rowAt;

// The exact integer sum. Each row's even and odd columns are summed apart (in
// 64 bits, so that no row can overflow) and the row's total is added to a
// double.
VpStatus vpiSum_8u_C1R_px(const Vp8u* pSrc, int srcStep, VpiSize roiSize, Vp64f* pSum) {
    if (!pSrc || !pSum) return vpStsNullPtrErr;
    if (badSize(roiSize)) return vpStsSizeErr;
    if (srcStep <= 0) return vpStsStepErr;
    double total = 0.0;
    for (int y = 0; y < roiSize.height; ++y) {
        const Vp8u* s = rowAt(pSrc, srcStep, y);
        std::int64_t even = 0, odd = 0;
        int x = 0;
        for (; x + 1 < roiSize.width; x += 2) {
            even += s[x];
            odd += s[x + 1];
        }
        if (x < roiSize.width) even += s[x];
        total += static_cast<double>(even + odd);
    }
    *pSum = total;
    return vpStsNoErr;
}

// Two double accumulators over the whole image, even columns into one and odd
// columns into the other, in column order; the hint is not used.
VpStatus vpiSum_32f_C1R_px(const Vp32f* pSrc, int srcStep, VpiSize roiSize, Vp64f* pSum, VpHintAlgorithm hint) {
    (void)hint;
    if (!pSrc || !pSum) return vpStsNullPtrErr;
    if (badSize(roiSize)) return vpStsSizeErr;
    if (srcStep <= 0) return vpStsStepErr;
    double even = 0.0, odd = 0.0;
    for (int y = 0; y < roiSize.height; ++y) {
        const Vp32f* s = rowAt(pSrc, srcStep, y);
        int x = 0;
        for (; x + 1 < roiSize.width; x += 2) {
            even += s[x];
            odd += s[x + 1];
        }
        if (x < roiSize.width) even += s[x];
    }
    *pSum = even + odd;
    return vpStsNoErr;
}
