// px level of the float division. A zero (or NaN) divisor never fails the
// call: the quotient is a fixed infinity or NaN chosen by the dividend, every
// row is still computed, and the status says a divisor was zero.
#include <cstdint>
#include <cstring>

#include "primitives/core/core_px.h"
#include "primitives/core/pixel_px.h"

using vp_px::badSize;
using vp_px::rowAt;

VpStatus vpsDiv_32f_px(const Vp32f* pSrc1, const Vp32f* pSrc2, Vp32f* pDst, int len) {
    // In runs: first every quotient, then the zero-divisor fix-ups. Kept apart,
    // both loops are free of branches and the compiler vectorises them.
    constexpr int kRun = 256;
    Vp32f quotients[kRun];
    std::uint32_t zeroDivisors = 0;
    for (int start = 0; start < len; start += kRun) {
        const int n = len - start < kRun ? len - start : kRun;
        const Vp32f* divisors = pSrc1 + start;
        const Vp32f* dividends = pSrc2 + start;
        Vp32f* out = pDst + start;
        // Single-precision division is correctly rounded: the quotient the
        // double-precision reciprocal and product round to.
        for (int i = 0; i < n; ++i) quotients[i] = dividends[i] / divisors[i];
        std::uint32_t zeroInRun = 0;
        for (int i = 0; i < n; ++i) {
            std::uint32_t divisor, dividend, quotient;
            std::memcpy(&divisor, &divisors[i], sizeof divisor);
            std::memcpy(&dividend, &dividends[i], sizeof dividend);
            std::memcpy(&quotient, &quotients[i], sizeof quotient);
            // On the patterns without their sign, "zero or NaN" is the one
            // test (magnitude - 1) >= 0x7F800000 as unsigned: zero wraps
            // around, NaNs lie above infinity. As all-ones masks, the
            // selections below are plain bit operations.
            const std::uint32_t zero = 0u - (((divisor & 0x7FFFFFFFu) - 1u) >= 0x7F800000u);
            const std::uint32_t dividendZeroOrNaN = 0u - (((dividend & 0x7FFFFFFFu) - 1u) >= 0x7F800000u);
            // A zero divisor gives infinity with the dividend's sign, or the
            // NaN 0xFFC00000 when the dividend is a zero or NaN itself.
            const std::uint32_t byDividend =
                (0xFFC00000u & dividendZeroOrNaN) | ((0x7F800000u | (dividend & 0x80000000u)) & ~dividendZeroOrNaN);
            const std::uint32_t result = (byDividend & zero) | (quotient & ~zero);
            std::memcpy(&out[i], &result, sizeof result);
            zeroInRun |= zero;
        }
        zeroDivisors |= zeroInRun;
    }
    return zeroDivisors ? vpStsDivByZero : vpStsNoErr;
}

VpStatus vpiDiv_32f_C1R_px(const Vp32f* pSrc1, int src1Step, const Vp32f* pSrc2, int src2Step, Vp32f* pDst,
                           int dstStep, VpiSize roiSize) {
    if (!pSrc1 || !pSrc2 || !pDst) return vpStsNullPtrErr;
    if (roiSize.height <= 0 || roiSize.width <= 0) return vpStsSizeErr;
    if (src1Step <= 0 || src2Step <= 0 || dstStep <= 0) return vpStsStepErr;
    VpStatus status = vpStsNoErr;
    for (int y = 0; y < roiSize.height; ++y) {
        const VpStatus row = vpsDiv_32f_px(rowAt(pSrc1, src1Step, y), rowAt(pSrc2, src2Step, y),
                                           rowAt(pDst, dstStep, y), roiSize.width);
        if (row != vpStsNoErr) status = row;
    }
    return status;
}

VpStatus vpiDiv_32f_C1IR_px(const Vp32f* pSrc, int srcStep, Vp32f* pSrcDst, int srcDstStep, VpiSize roiSize) {
    return vpiDiv_32f_C1R_px(pSrc, srcStep, pSrcDst, srcDstStep, pSrcDst, srcDstStep, roiSize);
}
