// px level of the float division. A zero (or NaN) divisor never fails the
// call: the quotient is a fixed infinity or NaN chosen by the dividend, every
// row is still computed, and the status says a divisor was zero.
#include <cstdint>
#include <cstring>

#include "primitives/core/core_px.h"
#include "primitives/core/pixel_px.h"

using vp_px::badSize;
using vp_px::rowAt;

namespace {

// "Zero or NaN" on a pattern without its sign is the one test
// (magnitude - 1) >= 0x7F800000 as unsigned: zero wraps around, NaNs lie
// above infinity.
inline bool zeroOrNaNPattern(std::uint32_t bits) { return ((bits & 0x7FFFFFFFu) - 1u) >= 0x7F800000u; }

inline std::uint32_t patternOf(Vp32f x) {
    std::uint32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return bits;
}

// out[i] = dividends[i] / divisors[i] for a run, keeping the run's dividends
// in `kept` (out may be the dividends' own row); returns non-zero when a
// divisor was zero or NaN. One loop, so the divisions overlap the test.
// Single-precision division is correctly rounded: the quotient the
// double-precision reciprocal and product round to.
std::uint32_t divideRun(const Vp32f* divisors, const Vp32f* dividends, Vp32f* out, Vp32f* __restrict kept, int n) {
    std::uint32_t zero = 0;
    for (int i = 0; i < n; ++i) {
        const Vp32f divisor = divisors[i];
        const Vp32f dividend = dividends[i];
        kept[i] = dividend;
        out[i] = dividend / divisor;
        zero |= zeroOrNaNPattern(patternOf(divisor)) ? 1u : 0u;
    }
    return zero;
}

// The zero-divisor rule over a run whose quotients are in out: a zero or NaN
// divisor gives infinity with the dividend's sign, or the NaN 0xFFC00000 when
// the dividend is a zero or NaN itself. As all-ones masks, the selections are
// plain bit operations.
void applyZeroDivisorRule(const Vp32f* divisors, const Vp32f* __restrict dividends, Vp32f* out, int n) {
    for (int i = 0; i < n; ++i) {
        const std::uint32_t dividend = patternOf(dividends[i]);
        const std::uint32_t zero = 0u - zeroOrNaNPattern(patternOf(divisors[i]));
        const std::uint32_t dividendZeroOrNaN = 0u - zeroOrNaNPattern(dividend);
        const std::uint32_t byDividend =
            (0xFFC00000u & dividendZeroOrNaN) | ((0x7F800000u | (dividend & 0x80000000u)) & ~dividendZeroOrNaN);
        const std::uint32_t result = (byDividend & zero) | (patternOf(out[i]) & ~zero);
        std::memcpy(&out[i], &result, sizeof result);
    }
}

}  // namespace

VpStatus vpsDiv_32f_px(const Vp32f* pSrc1, const Vp32f* pSrc2, Vp32f* pDst, int len) {
    // In runs short enough to stay in the first-level cache: the plain
    // quotients first; only a run that met a zero divisor is mended.
    // When the destination is the divisors' row, the run's divisors are kept
    // too, for the mending.
    constexpr int kRun = 256;
    Vp32f dividends[kRun], divisorsKept[kRun];
    std::uint32_t zeroDivisors = 0;
    for (int start = 0; start < len; start += kRun) {
        const int n = len - start < kRun ? len - start : kRun;
        const Vp32f* divisors = pSrc1 + start;
        if (pSrc1 == pDst) {
            std::memcpy(divisorsKept, divisors, static_cast<std::size_t>(n) * sizeof(Vp32f));
            divisors = divisorsKept;
        }
        if (!divideRun(divisors, pSrc2 + start, pDst + start, dividends, n)) continue;
        applyZeroDivisorRule(divisors, dividends, pDst + start, n);
        zeroDivisors = 1;
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
