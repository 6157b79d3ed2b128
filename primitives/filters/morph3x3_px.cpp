// 3x3 erosion and dilation of float images, plain level.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

#include "primitives/core/level_routines.h"
#include "primitives/core/memory.h"
#include "primitives/filters/filters_internal.h"
#include "primitives/filters/morph_in_place.h"
#include "primitives/primitives.h"

namespace {

// a is the earlier operand. On ties both return the later operand; on a NaN
// erosion returns the later operand and dilation the earlier one.
//
// Each filter also has a quick column form, which equals op on every pair it
// is used for (see quick()), a test for the column values whose place in the
// operand order can show in a result (sensitive()), and `any`: the plain
// minimum (maximum) for operands that are neither NaN nor -0, where every
// operand order gives the same bits.
struct Erode {
    static Vp32f op(Vp32f a, Vp32f b) { return (b > a) ? a : b; }
    // op itself is a single minimum instruction.
    static Vp32f quick(Vp32f a, Vp32f b) { return op(a, b); }
    // NaN or -0.
    static unsigned sensitive(Vp32f v) {
        const std::uint32_t bits = std::bit_cast<std::uint32_t>(v);
        return static_cast<unsigned>(bits == 0x80000000u) | static_cast<unsigned>((bits & 0x7fffffffu) > 0x7f800000u);
    }
    static Vp32f any(Vp32f a, Vp32f b) { return (a < b) ? a : b; }
};
struct Dilate {
    static Vp32f op(Vp32f a, Vp32f b) { return (b >= a) ? b : a; }
    // A single maximum instruction; it differs from op only on a tie of +0
    // and -0, whose column value is a zero, which sensitive() catches.
    static Vp32f quick(Vp32f a, Vp32f b) { return (b > a) ? b : a; }
    // A zero of either sign, or NaN.
    static unsigned sensitive(Vp32f v) { return static_cast<unsigned>(!(std::fabs(v) > 0.0f)); }
    static Vp32f any(Vp32f a, Vp32f b) { return (a > b) ? a : b; }
};

inline const Vp32f* offsetRow(const Vp32f* p, std::ptrdiff_t bytes) {
    return reinterpret_cast<const Vp32f*>(reinterpret_cast<const Vp8u*>(p) + bytes);
}
inline Vp32f* offsetRow(Vp32f* p, std::ptrdiff_t bytes) {
    return reinterpret_cast<Vp32f*>(reinterpret_cast<Vp8u*>(p) + bytes);
}


// Outputs per pass over a row; the pass's column values live on the stack.
constexpr int kChunk = 1024;

// The three-row column value c_j = op(op(top, middle), bottom) is formed once
// per window column. Output x combines c_x, c_x+1 and c_x+2 in the order of a
// rotating three-slot array (c_j lives in slot j mod 3, slots combined in slot
// order). That order only shows when a NaN or a -0 takes part: a pass whose
// column values are all insensitive combines them in any order, vectorised;
// any other pass forms its column values again with op and keeps the order.
template <class Op>
void morphRow(const Vp32f* window, int srcStep, Vp32f* dstRow, int width) {
    const Vp32f* top = window;
    const Vp32f* mid = offsetRow(window, srcStep);
    const Vp32f* bot = offsetRow(window, 2 * static_cast<std::ptrdiff_t>(srcStep));
    auto column = [&](int j) { return Op::op(Op::op(top[j], mid[j]), bot[j]); };
    // c[j] holds c_(x0 + j). The last two column values of a pass carry over to
    // the next one, so each source column is read once, before any output of
    // its row is written.
    Vp32f c[kChunk + 2];
    c[0] = column(0);
    c[1] = column(1);
    for (int x0 = 0; x0 < width; x0 += kChunk) {
        const int count = std::min(kChunk, width - x0);
        unsigned sensitive = Op::sensitive(c[0]) | Op::sensitive(c[1]);
        for (int j = 2; j < count + 2; ++j) {
            const Vp32f v = Op::quick(Op::quick(top[x0 + j], mid[x0 + j]), bot[x0 + j]);
            c[j] = v;
            sensitive |= Op::sensitive(v);
        }
        Vp32f* __restrict dst = dstRow + x0;
        if (!sensitive) {
            for (int x = 0; x < count; ++x) dst[x] = Op::any(Op::any(c[x], c[x + 1]), c[x + 2]);
        } else {
            for (int j = 2; j < count + 2; ++j) c[j] = column(x0 + j);
            int slot = x0 % 3;  // slot of c_x: the operand order of output x
            for (int x = 0; x < count; ++x) {
                if (slot == 0)
                    dst[x] = Op::op(Op::op(c[x], c[x + 1]), c[x + 2]);
                else if (slot == 1)
                    dst[x] = Op::op(Op::op(c[x + 2], c[x]), c[x + 1]);
                else
                    dst[x] = Op::op(Op::op(c[x + 1], c[x + 2]), c[x]);
                slot = (slot == 2) ? 0 : slot + 1;
            }
        }
        c[0] = c[count];
        c[1] = c[count + 1];
    }
}

template <void (*Row)(const Vp32f*, int, Vp32f*, int)>
void rowLoop(const Vp32f* window, int srcStep, Vp32f* pDst, int dstStep, VpiSize roiSize) {
    for (int y = 0; y < roiSize.height; ++y) {
        Row(offsetRow(window, static_cast<std::ptrdiff_t>(y) * srcStep), srcStep,
            offsetRow(pDst, static_cast<std::ptrdiff_t>(y) * dstStep), roiSize.width);
    }
}

}  // namespace

VpStatus Morph3x3Check_px(const void* pSrc, int srcStep, const void* pDst, int dstStep, VpiSize roiSize,
                          int elemSize, int channels) {
    if (!pSrc || !pDst) return vpStsNullPtrErr;
    if (srcStep <= 0 || dstStep <= 0) return vpStsStepErr;
    if (roiSize.width <= 0 || roiSize.height <= 0) return vpStsSizeErr;
    const long long w = roiSize.width;
    if (srcStep < static_cast<long long>(elemSize) * (w + 2) * channels ||
        dstStep < static_cast<long long>(elemSize) * w * channels)
        return vpStsStrideErr;
    return vpStsNoErr;
}

VpStatus Morph3x3CheckInPlace_px(const void* pSrcDst, int srcDstStep, VpiSize roiSize, int elemSize,
                                 int channels) {
    if (!pSrcDst) return vpStsNullPtrErr;
    if (srcDstStep <= 0) return vpStsStepErr;
    if (roiSize.width <= 0 || roiSize.height <= 0) return vpStsSizeErr;
    if (srcDstStep < static_cast<long long>(elemSize) * (roiSize.width + 2LL) * channels) return vpStsStrideErr;
    return vpStsNoErr;
}

void Erode3x3Row_px(const Vp32f* window, int srcStep, Vp32f* dstRow, int width) {
    morphRow<Erode>(window, srcStep, dstRow, width);
}
void Dilate3x3Row_px(const Vp32f* window, int srcStep, Vp32f* dstRow, int width) {
    morphRow<Dilate>(window, srcStep, dstRow, width);
}
void Erode3x3RowLoop_px(const Vp32f* window, int srcStep, Vp32f* pDst, int dstStep, VpiSize roiSize) {
    rowLoop<Erode3x3Row_px>(window, srcStep, pDst, dstStep, roiSize);
}
void Dilate3x3RowLoop_px(const Vp32f* window, int srcStep, Vp32f* pDst, int dstStep, VpiSize roiSize) {
    rowLoop<Dilate3x3Row_px>(window, srcStep, pDst, dstStep, roiSize);
}

VpStatus vpiErode3x3_32f_C1R_px(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize roiSize) {
    const VpStatus status = Morph3x3Check_px(pSrc, srcStep, pDst, dstStep, roiSize, 4, 1);
    if (status != vpStsNoErr) return status;
    Erode3x3RowLoop_px(offsetRow(pSrc, -static_cast<std::ptrdiff_t>(srcStep)) - 1, srcStep, pDst, dstStep,
                       roiSize);
    return vpStsNoErr;
}

VpStatus vpiDilate3x3_32f_C1R_px(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize roiSize) {
    const VpStatus status = Morph3x3Check_px(pSrc, srcStep, pDst, dstStep, roiSize, 4, 1);
    if (status != vpStsNoErr) return status;
    Dilate3x3RowLoop_px(offsetRow(pSrc, -static_cast<std::ptrdiff_t>(srcStep)) - 1, srcStep, pDst, dstStep,
                        roiSize);
    return vpStsNoErr;
}

VpStatus vpiErode3x3_32f_C1IR_px(Vp32f* pSrcDst, int srcDstStep, VpiSize roiSize) {
    const VpStatus status = Morph3x3CheckInPlace_px(pSrcDst, srcDstStep, roiSize, 4, 1);
    if (status != vpStsNoErr) return status;
    return morph_in_place::erode3x3(pSrcDst, srcDstStep, roiSize, Erode3x3Row_px, vpsCopy_32f_px);
}
