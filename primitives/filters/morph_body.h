// Erosion and dilation of float images at the SIMD levels (3x3 and with a
// mask), written once and instantiated in each level's file. The including
// file defines VP_LEVEL_NAME(name), VP_LEVEL_MALLOC_32F and VP_LEVEL_COPY_32F
// (its level's float allocator and row copy). SSE single precision only.
//
// The processor's minimum (maximum) returns its second operand when the first
// is not smaller (larger) or either is a NaN; the operand order of every
// combination below therefore decides which of two equal zeros, and whether a
// NaN, comes out.
#pragma once

#include <xmmintrin.h>

#include <cstdint>
#include <cstring>

#include "primitives/core/memory.h"
#include "primitives/filters/filters_internal.h"
#include "primitives/filters/morph_in_place.h"

namespace {

struct MinOp {
    static __m128 v(__m128 a, __m128 b) { return _mm_min_ps(a, b); }
    static Vp32f s(Vp32f a, Vp32f b) { return _mm_cvtss_f32(_mm_min_ss(_mm_set_ss(a), _mm_set_ss(b))); }
};
struct MaxOp {
    static __m128 v(__m128 a, __m128 b) { return _mm_max_ps(a, b); }
    static Vp32f s(Vp32f a, Vp32f b) { return _mm_cvtss_f32(_mm_max_ss(_mm_set_ss(a), _mm_set_ss(b))); }
};

inline const Vp8u* bytePtr(const void* p) { return static_cast<const Vp8u*>(p); }
inline Vp32f loadAt(const Vp8u* p) {
    Vp32f v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline __m128 loadVec(const Vp8u* p) { return _mm_loadu_ps(reinterpret_cast<const float*>(p)); }

// ---- 3x3 ------------------------------------------------------------------

// One output row. Column value of window column j: op(op(middle, top), bottom).
// Scalar outputs: op(op(c_x, c_x+1), c_x+2). Vector outputs, four lanes:
// op(op(C[x+2..], C[x..]), C[x+1..]). Rows narrower than 13 are all scalar.
template <class Op>
void morph3x3Row(const Vp32f* window, int srcStep, Vp32f* dstRow, int width) {
    const Vp8u* top = bytePtr(window);
    const Vp8u* mid = top + srcStep;
    const Vp8u* bot = mid + srcStep;
    Vp8u* d = reinterpret_cast<Vp8u*>(dstRow);
    auto column = [&](int j) { return Op::s(Op::s(loadAt(mid + 4 * j), loadAt(top + 4 * j)), loadAt(bot + 4 * j)); };
    auto columns = [&](int j) {
        return Op::v(Op::v(loadVec(mid + 4 * j), loadVec(top + 4 * j)), loadVec(bot + 4 * j));
    };
    auto scalar = [&](int from, int to) {
        if (from >= to) return;
        Vp32f c0 = column(from), c1 = column(from + 1);
        for (int x = from; x < to; ++x) {
            const Vp32f c2 = column(x + 2);
            const Vp32f out = Op::s(Op::s(c0, c1), c2);
            std::memcpy(d + 4 * x, &out, sizeof out);
            c0 = c1;
            c1 = c2;
        }
    };
    if (width < 13) {
        scalar(0, width);
        return;
    }
    int x = 0;
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(d);
    const bool stream = (address & 3) == 0;
    if (stream) {
        x = static_cast<int>(((16 - (address & 15)) & 15) / 4);
        scalar(0, x);
    }
    // Eight outputs per step while ten remain, so no step reads past window column W+1.
    __m128 a = columns(x);
    for (; width - x >= 10; x += 8) {
        const __m128 b = columns(x + 4);
        const __m128 c = columns(x + 8);
        // Lanes x+1.. and x+2.. from the carried vectors.
        const __m128 ab1 = _mm_shuffle_ps(a, _mm_shuffle_ps(a, b, _MM_SHUFFLE(0, 0, 3, 3)), _MM_SHUFFLE(2, 0, 2, 1));
        const __m128 ab2 = _mm_shuffle_ps(a, b, _MM_SHUFFLE(1, 0, 3, 2));
        const __m128 bc1 = _mm_shuffle_ps(b, _mm_shuffle_ps(b, c, _MM_SHUFFLE(0, 0, 3, 3)), _MM_SHUFFLE(2, 0, 2, 1));
        const __m128 bc2 = _mm_shuffle_ps(b, c, _MM_SHUFFLE(1, 0, 3, 2));
        const __m128 out0 = Op::v(Op::v(ab2, a), ab1);
        const __m128 out1 = Op::v(Op::v(bc2, b), bc1);
        float* p = reinterpret_cast<float*>(d + 4 * x);
        if (stream) {
            _mm_stream_ps(p, out0);
            _mm_stream_ps(p + 4, out1);
        } else {
            _mm_storeu_ps(p, out0);
            _mm_storeu_ps(p + 4, out1);
        }
        a = c;
    }
    scalar(x, width);
}

template <class Op>
void morph3x3Rows(const Vp32f* window, int srcStep, Vp32f* pDst, int dstStep, VpiSize roiSize) {
    for (int y = 0; y < roiSize.height; ++y)
        morph3x3Row<Op>(reinterpret_cast<const Vp32f*>(bytePtr(window) + static_cast<std::ptrdiff_t>(y) * srcStep),
                        srcStep, morph_in_place::rowAt(pDst, dstStep, y), roiSize.width);
    _mm_sfence();
}

inline const Vp32f* windowOf3x3(const Vp32f* pSrc, int srcStep) {
    return reinterpret_cast<const Vp32f*>(bytePtr(pSrc) - srcStep) - 1;
}

// ---- Mask ------------------------------------------------------------------

constexpr Vp32f kLargestFloat = 3.4028235e38f;
constexpr int kStackCells = 32;

// Erosion: acc = min(acc, max(v, e)) from +largest, e = -largest for member
// cells and +largest for the others (so they never change acc). Dilation
// mirrors it. Finite member values pass unchanged; infinities and NaN are
// clamped by e.
struct ErodeCells {
    static constexpr Vp32f start = kLargestFloat;
    static constexpr Vp32f member = -kLargestFloat;
    static __m128 step(__m128 acc, __m128 v, __m128 e) { return _mm_min_ps(acc, _mm_max_ps(v, e)); }
};
struct DilateCells {
    static constexpr Vp32f start = -kLargestFloat;
    static constexpr Vp32f member = kLargestFloat;
    static __m128 step(__m128 acc, __m128 v, __m128 e) { return _mm_max_ps(acc, _mm_min_ps(v, e)); }
};

template <class Cells>
void expandMask(const Vp8u* pMask, int cellCount, Vp32f* cells) {
    for (int i = 0; i < cellCount; ++i)
        _mm_store_ps(cells + 4 * i, _mm_set1_ps(pMask[i] ? Cells::member : -Cells::member));
}

// Eight outputs per step, then single outputs; every cell, member or not, in
// mask row order.
template <class Cells>
void maskRow(const Vp32f* window, int step, Vp32f* dstRow, int width, const Vp32f* cells, int maskW, int maskH) {
    const Vp8u* base = bytePtr(window);
    Vp8u* d = reinterpret_cast<Vp8u*>(dstRow);
    int x = 0;
    for (; width - x > 7; x += 8) {
        __m128 acc0 = _mm_set1_ps(Cells::start), acc1 = acc0;
        for (int r = 0; r < maskH; ++r) {
            const Vp8u* row = base + static_cast<std::ptrdiff_t>(r) * step + 4 * x;
            for (int c = 0; c < maskW; ++c) {
                const __m128 e = _mm_load_ps(cells + 4 * (r * maskW + c));
                acc0 = Cells::step(acc0, loadVec(row + 4 * c), e);
                acc1 = Cells::step(acc1, loadVec(row + 4 * c + 16), e);
            }
        }
        _mm_storeu_ps(reinterpret_cast<float*>(d + 4 * x), acc0);
        _mm_storeu_ps(reinterpret_cast<float*>(d + 4 * x + 16), acc1);
    }
    for (; x < width; ++x) {
        __m128 acc = _mm_set_ss(Cells::start);
        for (int r = 0; r < maskH; ++r) {
            const Vp8u* row = base + static_cast<std::ptrdiff_t>(r) * step + 4 * x;
            for (int c = 0; c < maskW; ++c)
                acc = Cells::step(acc, _mm_set_ss(loadAt(row + 4 * c)), _mm_load_ps(cells + 4 * (r * maskW + c)));
        }
        const Vp32f out = _mm_cvtss_f32(acc);
        std::memcpy(d + 4 * x, &out, sizeof out);
    }
}

inline void copyRow(const Vp32f* src, Vp32f* dst, int len) { VP_LEVEL_COPY_32F(src, dst, len); }

template <class Cells>
VpStatus maskMorph(Vp32f* pSrcDst, int step, VpiSize roiSize, const Vp8u* pMask, VpiSize maskSize, VpiPoint anchor) {
    const VpStatus status = MaskMorphCheck_px(pSrcDst, step, roiSize, pMask, maskSize, anchor, 4, 1);
    if (status != vpStsNoErr) return status;
    const long long cellCount = static_cast<long long>(maskSize.width) * maskSize.height;
    alignas(16) Vp32f stackCells[4 * kStackCells];
    Vp32f* cells = stackCells;
    if (cellCount > kStackCells) {
        if (4 * cellCount > 0x7fffffffLL) return vpStsMemAllocErr;
        cells = VP_LEVEL_MALLOC_32F(static_cast<int>(4 * cellCount));
        if (!cells) return vpStsMemAllocErr;
    }
    expandMask<Cells>(pMask, static_cast<int>(cellCount), cells);
    const VpStatus result = morph_in_place::maskRing(
        pSrcDst, step, roiSize, anchor,
        [&](const Vp32f* window, int srcStep, Vp32f* dstRow, int width) {
            maskRow<Cells>(window, srcStep, dstRow, width, cells, maskSize.width, maskSize.height);
        },
        copyRow);
    if (cells != stackCells) vpsFree(cells);
    _mm_sfence();
    return result;
}

// Out-of-place 3x3 entries: the shared argument check, then the rows.
template <class Op>
VpStatus morph3x3OutOfPlace(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize roiSize) {
    const VpStatus status = Morph3x3Check_px(pSrc, srcStep, pDst, dstStep, roiSize, 4, 1);
    if (status != vpStsNoErr) return status;
    morph3x3Rows<Op>(windowOf3x3(pSrc, srcStep), srcStep, pDst, dstStep, roiSize);
    return vpStsNoErr;
}

}  // namespace

void VP_LEVEL_NAME(Erode3x3Row)(const Vp32f* window, int srcStep, Vp32f* dstRow, int width) {
    morph3x3Row<MinOp>(window, srcStep, dstRow, width);
}
void VP_LEVEL_NAME(Dilate3x3Row)(const Vp32f* window, int srcStep, Vp32f* dstRow, int width) {
    morph3x3Row<MaxOp>(window, srcStep, dstRow, width);
}

VpStatus VP_LEVEL_NAME(vpiErode3x3_32f_C1R)(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep,
                                            VpiSize roiSize) {
    return morph3x3OutOfPlace<MinOp>(pSrc, srcStep, pDst, dstStep, roiSize);
}

VpStatus VP_LEVEL_NAME(vpiDilate3x3_32f_C1R)(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep,
                                             VpiSize roiSize) {
    return morph3x3OutOfPlace<MaxOp>(pSrc, srcStep, pDst, dstStep, roiSize);
}

VpStatus VP_LEVEL_NAME(vpiErode3x3_32f_C1IR)(Vp32f* pSrcDst, int srcDstStep, VpiSize roiSize) {
    const VpStatus status = Morph3x3CheckInPlace_px(pSrcDst, srcDstStep, roiSize, 4, 1);
    VpStatus result = status;
    if (status == vpStsNoErr)
        result = morph_in_place::erode3x3(pSrcDst, srcDstStep, roiSize, VP_LEVEL_NAME(Erode3x3Row), copyRow);
    _mm_sfence();
    return result;
}

VpStatus VP_LEVEL_NAME(vpiErode_32f_C1IR)(Vp32f* pSrcDst, int srcDstStep, VpiSize roiSize, const Vp8u* pMask,
                                          VpiSize maskSize, VpiPoint anchor) {
    return maskMorph<ErodeCells>(pSrcDst, srcDstStep, roiSize, pMask, maskSize, anchor);
}

VpStatus VP_LEVEL_NAME(vpiDilate_32f_C1IR)(Vp32f* pSrcDst, int srcDstStep, VpiSize roiSize, const Vp8u* pMask,
                                           VpiSize maskSize, VpiPoint anchor) {
    return maskMorph<DilateCells>(pSrcDst, srcDstStep, roiSize, pMask, maskSize, anchor);
}
