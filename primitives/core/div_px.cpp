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

inline Vp32f floatFromBits(std::uint32_t bits) {
    Vp32f f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

}  // namespace

VpStatus vpsDiv_32f_px(const Vp32f* pSrc1, const Vp32f* pSrc2, Vp32f* pDst, int len) {
    const Vp32f plusInf = floatFromBits(0x7F800000u);
    const Vp32f minusInf = floatFromBits(0xFF800000u);
    const Vp32f nan = floatFromBits(0xFFC00000u);
    int zeroDivisors = 0;
    for (int i = 0; i < len; ++i) {
        const Vp32f divisor = pSrc1[i];
        const Vp32f dividend = pSrc2[i];
        // Single-precision division is correctly rounded: the quotient the
        // double-precision reciprocal and product round to.
        const Vp32f quotient = dividend / divisor;
        // Zero: equal or unordered with 0.0 (+0.0, -0.0 and any NaN).
        const bool zero = !(divisor < 0.0f || divisor > 0.0f);
        const Vp32f byDividend = dividend > 0.0f ? plusInf : (dividend < 0.0f ? minusInf : nan);
        pDst[i] = zero ? byDividend : quotient;
        zeroDivisors |= zero ? 1 : 0;
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
