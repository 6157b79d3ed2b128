// px level of the element-wise float arithmetic. Every result is the single
// precision result of one IEEE operation, so plain float loops give it.
#include <cstdint>
#include <cstring>

#include "primitives/core/core_px.h"
#include "primitives/core/pixel_px.h"

using vp_px::badSize;
using vp_px::rowAt;

namespace {

// Rows of the absolute value and the squares lie the step rounded down to
// whole floats apart.
inline int wholeFloatStep(int step) { return step & ~3; }

struct Add {
    Vp32f operator()(Vp32f a, Vp32f b) const { return a + b; }
};
struct Sub {
    Vp32f operator()(Vp32f a, Vp32f b) const { return a - b; }
};
struct Mul {
    Vp32f operator()(Vp32f a, Vp32f b) const { return a * b; }
};

// srcDst = srcDst op src
template <typename Op>
VpStatus imageInPlace(const Vp32f* pSrc, int srcStep, Vp32f* pSrcDst, int srcDstStep, VpiSize roiSize, Op op) {
    if (!pSrc || !pSrcDst) return vpStsNullPtrErr;
    if (badSize(roiSize)) return vpStsSizeErr;
    if (srcStep <= 0 || srcDstStep <= 0) return vpStsStepErr;
    for (int y = 0; y < roiSize.height; ++y) {
        const Vp32f* s = rowAt(pSrc, srcStep, y);
        Vp32f* d = rowAt(pSrcDst, srcDstStep, y);
        for (int x = 0; x < roiSize.width; ++x) d[x] = op(d[x], s[x]);
    }
    return vpStsNoErr;
}

// x = x op value
template <typename Op>
VpStatus constantInPlace(Vp32f value, Vp32f* pSrcDst, int srcDstStep, VpiSize roiSize, Op op) {
    if (!pSrcDst) return vpStsNullPtrErr;
    if (badSize(roiSize)) return vpStsSizeErr;
    if (srcDstStep <= 0) return vpStsStepErr;
    for (int y = 0; y < roiSize.height; ++y) {
        Vp32f* d = rowAt(pSrcDst, srcDstStep, y);
        for (int x = 0; x < roiSize.width; ++x) d[x] = op(d[x], value);
    }
    return vpStsNoErr;
}

// dst = src op value
template <typename Op>
VpStatus constantToImage(const Vp32f* pSrc, int srcStep, Vp32f value, Vp32f* pDst, int dstStep, VpiSize roiSize,
                         Op op) {
    if (!pSrc || !pDst) return vpStsNullPtrErr;
    if (badSize(roiSize)) return vpStsSizeErr;
    if (srcStep <= 0 || dstStep <= 0) return vpStsStepErr;
    for (int y = 0; y < roiSize.height; ++y) {
        const Vp32f* s = rowAt(pSrc, srcStep, y);
        Vp32f* d = rowAt(pDst, dstStep, y);
        for (int x = 0; x < roiSize.width; ++x) d[x] = op(s[x], value);
    }
    return vpStsNoErr;
}

}  // namespace

VpStatus vpiAdd_32f_C1IR_px(const Vp32f* pSrc, int srcStep, Vp32f* pSrcDst, int srcDstStep, VpiSize roiSize) {
    return imageInPlace(pSrc, srcStep, pSrcDst, srcDstStep, roiSize, Add{});
}

VpStatus vpiSub_32f_C1IR_px(const Vp32f* pSrc, int srcStep, Vp32f* pSrcDst, int srcDstStep, VpiSize roiSize) {
    return imageInPlace(pSrc, srcStep, pSrcDst, srcDstStep, roiSize, Sub{});
}

VpStatus vpiMul_32f_C1IR_px(const Vp32f* pSrc, int srcStep, Vp32f* pSrcDst, int srcDstStep, VpiSize roiSize) {
    return imageInPlace(pSrc, srcStep, pSrcDst, srcDstStep, roiSize, Mul{});
}

VpStatus vpiAddC_32f_C1IR_px(Vp32f value, Vp32f* pSrcDst, int srcDstStep, VpiSize roiSize) {
    return constantInPlace(value, pSrcDst, srcDstStep, roiSize, Add{});
}

VpStatus vpiSubC_32f_C1IR_px(Vp32f value, Vp32f* pSrcDst, int srcDstStep, VpiSize roiSize) {
    return constantInPlace(value, pSrcDst, srcDstStep, roiSize, Sub{});
}

VpStatus vpiMulC_32f_C1IR_px(Vp32f value, Vp32f* pSrcDst, int srcDstStep, VpiSize roiSize) {
    return constantInPlace(value, pSrcDst, srcDstStep, roiSize, Mul{});
}

VpStatus vpiSubC_32f_C1R_px(const Vp32f* pSrc, int srcStep, Vp32f value, Vp32f* pDst, int dstStep,
                            VpiSize roiSize) {
    return constantToImage(pSrc, srcStep, value, pDst, dstStep, roiSize, Sub{});
}

VpStatus vpiMulC_32f_C1R_px(const Vp32f* pSrc, int srcStep, Vp32f value, Vp32f* pDst, int dstStep,
                            VpiSize roiSize) {
    return constantToImage(pSrc, srcStep, value, pDst, dstStep, roiSize, Mul{});
}

// dst = src2 - src1: the second image is the minuend.
VpStatus vpiSub_32f_C1R_px(const Vp32f* pSrc1, int src1Step, const Vp32f* pSrc2, int src2Step, Vp32f* pDst,
                           int dstStep, VpiSize roiSize) {
    if (!pSrc1 || !pSrc2 || !pDst) return vpStsNullPtrErr;
    if (badSize(roiSize)) return vpStsSizeErr;
    if (src1Step <= 0 || src2Step <= 0 || dstStep <= 0) return vpStsStepErr;
    for (int y = 0; y < roiSize.height; ++y) {
        const Vp32f* a = rowAt(pSrc1, src1Step, y);
        const Vp32f* b = rowAt(pSrc2, src2Step, y);
        Vp32f* d = rowAt(pDst, dstStep, y);
        for (int x = 0; x < roiSize.width; ++x) d[x] = b[x] - a[x];
    }
    return vpStsNoErr;
}

VpStatus vpsAbs_32f_px(const Vp32f* pSrc, Vp32f* pDst, int len) {
    if (!pSrc || !pDst) return vpStsNullPtrErr;
    if (len <= 0) return vpStsSizeErr;
    for (int i = 0; i < len; ++i) {
        std::int32_t bits;
        std::memcpy(&bits, &pSrc[i], sizeof bits);
        bits &= 0x7FFFFFFF;
        // A NaN comes out quiet, as the floating-point unit's absolute value
        // leaves it. A selection, not a branch, so the loop vectorises.
        bits |= bits > 0x7F800000 ? 0x00400000 : 0;
        std::memcpy(&pDst[i], &bits, sizeof bits);
    }
    return vpStsNoErr;
}

VpStatus vpsSqr_32f_px(const Vp32f* pSrc, Vp32f* pDst, int len) {
    if (!pSrc || !pDst) return vpStsNullPtrErr;
    if (len <= 0) return vpStsSizeErr;
    for (int i = 0; i < len; ++i) pDst[i] = pSrc[i] * pSrc[i];
    return vpStsNoErr;
}

VpStatus vpsSqr_32f_I_px(Vp32f* pSrcDst, int len) {
    if (!pSrcDst) return vpStsNullPtrErr;
    if (len <= 0) return vpStsSizeErr;
    for (int i = 0; i < len; ++i) pSrcDst[i] = pSrcDst[i] * pSrcDst[i];
    return vpStsNoErr;
}

namespace {

// dst = f(src) row by row through the vector form of f.
template <VpStatus (*Row)(const Vp32f*, Vp32f*, int)>
VpStatus rowByRow(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize roiSize) {
    if (!pSrc || !pDst) return vpStsNullPtrErr;
    if (badSize(roiSize)) return vpStsSizeErr;
    if (srcStep <= 0 || dstStep <= 0) return vpStsStepErr;
    for (int y = 0; y < roiSize.height; ++y)
        Row(rowAt(pSrc, wholeFloatStep(srcStep), y), rowAt(pDst, wholeFloatStep(dstStep), y), roiSize.width);
    return vpStsNoErr;
}

}  // namespace

VpStatus vpiAbs_32f_C1R_px(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize roiSize) {
    return rowByRow<vpsAbs_32f_px>(pSrc, srcStep, pDst, dstStep, roiSize);
}

VpStatus vpiSqr_32f_C1R_px(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize roiSize) {
    return rowByRow<vpsSqr_32f_px>(pSrc, srcStep, pDst, dstStep, roiSize);
}

VpStatus vpiSqr_32f_C1IR_px(Vp32f* pSrcDst, int srcDstStep, VpiSize roiSize) {
    if (!pSrcDst) return vpStsNullPtrErr;
    if (badSize(roiSize)) return vpStsSizeErr;
    if (srcDstStep <= 0) return vpStsStepErr;
    for (int y = 0; y < roiSize.height; ++y)
        vpsSqr_32f_I_px(rowAt(pSrcDst, wholeFloatStep(srcDstStep), y), roiSize.width);
    return vpStsNoErr;
}
