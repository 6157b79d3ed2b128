// The element-wise float arithmetic of the SIMD levels. The three levels use
// the same single-precision SSE operations (every result is the IEEE result
// of one operation, bit for bit the px result), so this one body serves a6,
// w7 and t7; each level's file instantiates it under its own flags and names
// its routines with VP_DEFINE_ARITH_ROUTINES. Only level files include this.
#pragma once

#include <xmmintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "primitives/core/scalar_lane.h"
#include "primitives/core/pixel_px.h"
#include "primitives/core/vp_types.h"

namespace {

using vp_px::badSize;
using vp_px::rowAt;

struct AddOp {
    static __m128 v(__m128 a, __m128 b) { return _mm_add_ps(a, b); }
    static __m128 s(__m128 a, __m128 b) { return _mm_add_ss(a, b); }
};
struct SubOp {
    static __m128 v(__m128 a, __m128 b) { return _mm_sub_ps(a, b); }
    static __m128 s(__m128 a, __m128 b) { return _mm_sub_ss(a, b); }
};
struct MulOp {
    static __m128 v(__m128 a, __m128 b) { return _mm_mul_ps(a, b); }
    static __m128 s(__m128 a, __m128 b) { return _mm_mul_ss(a, b); }
};

inline bool aligned16(const void* p) { return (reinterpret_cast<std::uintptr_t>(p) & 15) == 0; }
inline bool aligned4(const void* p) { return (reinterpret_cast<std::uintptr_t>(p) & 3) == 0; }
inline __m128 loadAny(const float* p) { return aligned16(p) ? _mm_load_ps(p) : _mm_loadu_ps(p); }

// One row: d[i] = Op(a[i], b[i]) where a and b are rows or a broadcast
// constant (Operand yields 4 lanes at i, or 1 lane in its scalar form).
// Rows under 11 elements go one by one; otherwise a destination on a 4-byte
// boundary is brought to a 16-byte one by single elements, then blocks of 8
// with aligned (or, when `stream`, non-temporal) stores; a destination off
// the 4-byte grid takes unaligned stores throughout.
template <typename Op, typename A, typename B>
void arithRow(A a, B b, float* d, int len, bool stream) {
    int i = 0;
    auto one = [&](int k) { storeScalarLane(d + k, Op::s(a.one(k), b.one(k))); };
    if (len >= 11 && aligned4(d)) {
        for (; !aligned16(d + i); ++i) one(i);
        for (; i + 8 <= len; i += 8) {
            const __m128 r0 = Op::v(a.four(i), b.four(i)), r1 = Op::v(a.four(i + 4), b.four(i + 4));
            if (stream) {
                _mm_stream_ps(d + i, r0), _mm_stream_ps(d + i + 4, r1);
            } else {
                _mm_store_ps(d + i, r0), _mm_store_ps(d + i + 4, r1);
            }
        }
        if (stream) _mm_sfence();
    } else if (len >= 11) {
        for (; i + 8 <= len; i += 8) {
            _mm_storeu_ps(d + i, Op::v(a.four(i), b.four(i)));
            _mm_storeu_ps(d + i + 4, Op::v(a.four(i + 4), b.four(i + 4)));
        }
    }
    for (; i < len; ++i) one(i);
}

struct RowOperand {
    const float* p;
    __m128 four(int i) const { return loadAny(p + i); }
    __m128 one(int i) const { return loadScalarLane(p + i); }
};
struct ConstOperand {
    __m128 v;
    explicit ConstOperand(float x) : v(_mm_set1_ps(x)) {}
    __m128 four(int) const { return v; }
    __m128 one(int) const { return v; }
};

// Streaming stores for the constant product when the source is not 16-byte
// aligned or the row is long; always for the two-image difference.
constexpr int kMulCStreamBlocks = 8192;

// srcDst = srcDst op src
template <typename Op>
VpStatus imageInPlaceSimd(const Vp32f* pSrc, int srcStep, Vp32f* pSrcDst, int srcDstStep, VpiSize roiSize) {
    if (!pSrc || !pSrcDst) return vpStsNullPtrErr;
    if (badSize(roiSize)) return vpStsSizeErr;
    if (srcStep <= 0 || srcDstStep <= 0) return vpStsStepErr;
    for (int y = 0; y < roiSize.height; ++y) {
        Vp32f* d = rowAt(pSrcDst, srcDstStep, y);
        arithRow<Op>(RowOperand{d}, RowOperand{rowAt(pSrc, srcStep, y)}, d, roiSize.width, false);
    }
    return vpStsNoErr;
}

// x = x op value
template <typename Op>
VpStatus constantInPlaceSimd(Vp32f value, Vp32f* pSrcDst, int srcDstStep, VpiSize roiSize) {
    if (!pSrcDst) return vpStsNullPtrErr;
    if (badSize(roiSize)) return vpStsSizeErr;
    if (srcDstStep <= 0) return vpStsStepErr;
    for (int y = 0; y < roiSize.height; ++y) {
        Vp32f* d = rowAt(pSrcDst, srcDstStep, y);
        arithRow<Op>(RowOperand{d}, ConstOperand(value), d, roiSize.width, false);
    }
    return vpStsNoErr;
}

// dst = src op value
template <typename Op>
VpStatus constantToImageSimd(const Vp32f* pSrc, int srcStep, Vp32f value, Vp32f* pDst, int dstStep,
                             VpiSize roiSize, bool mayStream) {
    if (!pSrc || !pDst) return vpStsNullPtrErr;
    if (badSize(roiSize)) return vpStsSizeErr;
    if (srcStep <= 0 || dstStep <= 0) return vpStsStepErr;
    for (int y = 0; y < roiSize.height; ++y) {
        const Vp32f* s = rowAt(pSrc, srcStep, y);
        const bool stream = mayStream && (!aligned16(s) || roiSize.width / 8 > kMulCStreamBlocks);
        arithRow<Op>(RowOperand{s}, ConstOperand(value), rowAt(pDst, dstStep, y), roiSize.width, stream);
    }
    return vpStsNoErr;
}

// dst = src2 - src1
inline VpStatus differenceSimd(const Vp32f* pSrc1, int src1Step, const Vp32f* pSrc2, int src2Step, Vp32f* pDst,
                               int dstStep, VpiSize roiSize) {
    if (!pSrc1 || !pSrc2 || !pDst) return vpStsNullPtrErr;
    if (badSize(roiSize)) return vpStsSizeErr;
    if (src1Step <= 0 || src2Step <= 0 || dstStep <= 0) return vpStsStepErr;
    for (int y = 0; y < roiSize.height; ++y)
        arithRow<SubOp>(RowOperand{rowAt(pSrc2, src2Step, y)}, RowOperand{rowAt(pSrc1, src1Step, y)},
                        rowAt(pDst, dstStep, y), roiSize.width, true);
    return vpStsNoErr;
}

// |x| by clearing the sign bit (a signalling NaN stays signalling), and x * x.
struct AbsOp {
    static __m128 v(__m128 a, __m128) { return _mm_and_ps(a, signClearMask()); }
    static __m128 s(__m128 a, __m128 b) { return v(a, b); }
    static __m128 signClearMask() {
        const std::uint32_t m = 0x7FFFFFFFu;
        float f;
        std::memcpy(&f, &m, sizeof f);
        return _mm_set1_ps(f);
    }
};

template <typename Op>
VpStatus vectorUnarySimd(const Vp32f* pSrc, Vp32f* pDst, int len) {
    if (!pSrc || !pDst) return vpStsNullPtrErr;
    if (len <= 0) return vpStsSizeErr;
    arithRow<Op>(RowOperand{pSrc}, RowOperand{pSrc}, pDst, len, false);
    return vpStsNoErr;
}

// Rows of the absolute value and the squares lie the step rounded down to
// whole floats apart.
inline int wholeFloatStep(int step) { return step & ~3; }

template <VpStatus (*Row)(const Vp32f*, Vp32f*, int)>
VpStatus unaryImageSimd(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize roiSize) {
    if (!pSrc || !pDst) return vpStsNullPtrErr;
    if (badSize(roiSize)) return vpStsSizeErr;
    if (srcStep <= 0 || dstStep <= 0) return vpStsStepErr;
    for (int y = 0; y < roiSize.height; ++y)
        Row(rowAt(pSrc, wholeFloatStep(srcStep), y), rowAt(pDst, wholeFloatStep(dstStep), y), roiSize.width);
    return vpStsNoErr;
}

}  // namespace

#define VP_DEFINE_ARITH_ROUTINES(level)                                                                          \
    VpStatus vpiAdd_32f_C1IR_##level(const Vp32f* pSrc, int srcStep, Vp32f* pSrcDst, int srcDstStep,          \
                                     VpiSize roiSize) {                                                         \
        return imageInPlaceSimd<AddOp>(pSrc, srcStep, pSrcDst, srcDstStep, roiSize);                            \
    }                                                                                                           \
    VpStatus vpiSub_32f_C1IR_##level(const Vp32f* pSrc, int srcStep, Vp32f* pSrcDst, int srcDstStep,          \
                                     VpiSize roiSize) {                                                         \
        return imageInPlaceSimd<SubOp>(pSrc, srcStep, pSrcDst, srcDstStep, roiSize);                            \
    }                                                                                                           \
    VpStatus vpiMul_32f_C1IR_##level(const Vp32f* pSrc, int srcStep, Vp32f* pSrcDst, int srcDstStep,          \
                                     VpiSize roiSize) {                                                         \
        return imageInPlaceSimd<MulOp>(pSrc, srcStep, pSrcDst, srcDstStep, roiSize);                            \
    }                                                                                                           \
    VpStatus vpiAddC_32f_C1IR_##level(Vp32f value, Vp32f* pSrcDst, int srcDstStep, VpiSize roiSize) {         \
        return constantInPlaceSimd<AddOp>(value, pSrcDst, srcDstStep, roiSize);                                 \
    }                                                                                                           \
    VpStatus vpiSubC_32f_C1IR_##level(Vp32f value, Vp32f* pSrcDst, int srcDstStep, VpiSize roiSize) {         \
        return constantInPlaceSimd<SubOp>(value, pSrcDst, srcDstStep, roiSize);                                 \
    }                                                                                                           \
    VpStatus vpiMulC_32f_C1IR_##level(Vp32f value, Vp32f* pSrcDst, int srcDstStep, VpiSize roiSize) {         \
        return constantInPlaceSimd<MulOp>(value, pSrcDst, srcDstStep, roiSize);                                 \
    }                                                                                                           \
    VpStatus vpiSubC_32f_C1R_##level(const Vp32f* pSrc, int srcStep, Vp32f value, Vp32f* pDst, int dstStep,   \
                                     VpiSize roiSize) {                                                         \
        return constantToImageSimd<SubOp>(pSrc, srcStep, value, pDst, dstStep, roiSize, false);                 \
    }                                                                                                           \
    VpStatus vpiMulC_32f_C1R_##level(const Vp32f* pSrc, int srcStep, Vp32f value, Vp32f* pDst, int dstStep,   \
                                     VpiSize roiSize) {                                                         \
        return constantToImageSimd<MulOp>(pSrc, srcStep, value, pDst, dstStep, roiSize, true);                  \
    }                                                                                                           \
    VpStatus vpiSub_32f_C1R_##level(const Vp32f* pSrc1, int src1Step, const Vp32f* pSrc2, int src2Step,       \
                                    Vp32f* pDst, int dstStep, VpiSize roiSize) {                               \
        return differenceSimd(pSrc1, src1Step, pSrc2, src2Step, pDst, dstStep, roiSize);                        \
    }                                                                                                           \
    VpStatus vpsAbs_32f_##level(const Vp32f* pSrc, Vp32f* pDst, int len) {                                     \
        return vectorUnarySimd<AbsOp>(pSrc, pDst, len);                                                         \
    }                                                                                                           \
    VpStatus vpsSqr_32f_##level(const Vp32f* pSrc, Vp32f* pDst, int len) {                                     \
        return vectorUnarySimd<MulOp>(pSrc, pDst, len);                                                         \
    }                                                                                                           \
    VpStatus vpsSqr_32f_I_##level(Vp32f* pSrcDst, int len) {                                                   \
        if (!pSrcDst) return vpStsNullPtrErr;                                                                   \
        return vectorUnarySimd<MulOp>(pSrcDst, pSrcDst, len);                                                   \
    }                                                                                                           \
    VpStatus vpiAbs_32f_C1R_##level(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep,                 \
                                    VpiSize roiSize) {                                                          \
        return unaryImageSimd<vpsAbs_32f_##level>(pSrc, srcStep, pDst, dstStep, roiSize);                       \
    }                                                                                                           \
    VpStatus vpiSqr_32f_C1R_##level(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep,                 \
                                    VpiSize roiSize) {                                                          \
        return unaryImageSimd<vpsSqr_32f_##level>(pSrc, srcStep, pDst, dstStep, roiSize);                       \
    }                                                                                                           \
    VpStatus vpiSqr_32f_C1IR_##level(Vp32f* pSrcDst, int srcDstStep, VpiSize roiSize) {                       \
        if (!pSrcDst) return vpStsNullPtrErr;                                                                   \
        if (badSize(roiSize)) return vpStsSizeErr;                                                              \
        if (srcDstStep <= 0) return vpStsStepErr;                                                               \
        for (int y = 0; y < roiSize.height; ++y)                                                                \
            vpsSqr_32f_I_##level(rowAt(pSrcDst, wholeFloatStep(srcDstStep), y), roiSize.width);                 \
        return vpStsNoErr;                                                                                      \
    }
