// Fixed-mask median kernels of the vector levels (1x3, 1x5, 3x1, 5x1, 3x3,
// 5x5), written once over a byte-vector policy and instantiated by each level:
// 16-byte SSE2 vectors at w7 and t7, 8-byte MMX vectors at a6. Every kernel
// gives exactly the bytes of the plain routines.
//
// The including file defines VP_LEVEL_NAME(name) and, before including this,
// a policy `Bytes` with: type V; kLanes; load(p) (unaligned); store(p, v)
// (unaligned); stream(p, v) (non-temporal, p aligned to kLanes); min, max
// (unsigned bytes, lane by lane); finish() (store fence, and clearing the MMX
// state where the level uses it).
//
// Reads: a block of kLanes outputs loads, for each window row, kLanes bytes at
// each horizontal offset of the window, which are exactly that row's window
// bytes of the block. Rows narrower than one block are first gathered, window
// bytes only, into a small buffer. No kernel reads a byte outside the windows
// of the outputs it computes, whatever the source step.
#pragma once

#include <cstdint>
#include <cstring>

#include "primitives/filters/filters_internal.h"

namespace {

using V = Bytes::V;
constexpr int kLanes = Bytes::kLanes;

inline V vmin(V a, V b) { return Bytes::min(a, b); }
inline V vmax(V a, V b) { return Bytes::max(a, b); }

// med3(a, b, c) = min(max(a, b), max(min(a, b), c)).
inline V median3(V a, V b, V c) { return vmin(vmax(a, b), vmax(vmin(a, b), c)); }

// Median of five: the fifth value against the two middle candidates of the pairs.
inline V median5(V a, V b, V c, V d, V e) {
    const V p = vmax(vmin(a, b), vmin(c, d));
    const V q = vmin(vmax(a, b), vmax(c, d));
    return median3(e, p, q);
}

// Sorts a 3-value column: lo, mid, hi.
inline void sortColumn3(V a, V b, V c, V& lo, V& mid, V& hi) {
    const V l = vmin(a, b);
    const V h = vmax(a, b);
    hi = vmax(h, c);
    mid = vmax(vmin(h, c), l);
    lo = vmin(l, c);
}

inline void exchange(V& x, V& y) {
    const V lo = vmin(x, y);
    y = vmax(x, y);
    x = lo;
}

// Sorts five values ascending, r[0] smallest.
inline void sortColumn5(V* r) {
    exchange(r[0], r[1]);
    exchange(r[2], r[3]);
    exchange(r[0], r[2]);
    exchange(r[0], r[4]);
    exchange(r[1], r[3]);
    exchange(r[2], r[4]);
    exchange(r[1], r[2]);
    exchange(r[3], r[4]);
    exchange(r[2], r[3]);
    exchange(r[3], r[4]);
}

// Median of a 5x5 window from its rank matrix: S(k, c) is the k-th smallest of
// window column c. Only the ranks of each row of S that can decide the median
// are computed; a..e are S(k, 0..4).
struct RankRow {
    V lo1, hi1, lo2, hi2, e;
    RankRow(V a, V b, V c, V d, V e_) : lo1(vmin(a, b)), hi1(vmax(a, b)), lo2(vmin(c, d)), hi2(vmax(c, d)), e(e_) {}
};

inline V median25(const RankRow& r0, const RankRow& r1, const RankRow& r2, const RankRow& r3, const RankRow& r4) {
    V R04, R03, R14, R13, R12, R23, R22, R21, R31, R32, R30, R40, R41;
    {
        const V up = vmax(r0.hi1, r0.e), dn = vmin(r0.e, r0.hi1);
        R04 = vmax(r0.hi2, up);
        R03 = vmax(vmin(r0.hi2, up), vmax(dn, vmax(r0.lo1, r0.lo2)));
    }
    {
        const V up = vmax(r1.hi1, r1.e), dn = vmin(r1.e, r1.hi1), mid = vmin(r1.hi2, up);
        R14 = vmax(r1.hi2, up);
        R13 = vmax(vmax(mid, dn), vmax(r1.lo1, r1.lo2));
        R12 = vmax(vmax(vmin(r1.lo1, r1.lo2), vmin(dn, mid)), vmin(vmax(r1.lo1, r1.lo2), vmax(mid, dn)));
    }
    {
        const V up = vmax(r2.hi1, r2.e), dn = vmin(r2.e, r2.hi1), mid = vmin(r2.hi2, up);
        const V x = vmin(dn, mid), y = vmax(mid, dn);
        const V loLo = vmin(r2.lo1, r2.lo2), hiLo = vmax(r2.lo1, r2.lo2);
        const V R20 = vmin(loLo, x);
        R23 = vmax(y, hiLo);
        R22 = vmax(vmax(x, loLo), vmin(hiLo, y));
        R21 = vmax(R20, vmin(vmin(hiLo, y), vmax(x, loLo)));
    }
    {
        const V s = vmin(r3.lo1, r3.e), t = vmax(r3.e, r3.lo1), w = vmax(r3.lo2, s);
        const V z = vmax(t, w), v = vmin(w, t);
        R30 = vmin(s, r3.lo2);
        R31 = vmin(v, vmin(r3.hi1, r3.hi2));
        R32 = vmin(vmin(vmax(r3.hi1, r3.hi2), z), vmax(vmin(r3.hi1, r3.hi2), v));
    }
    {
        const V s = vmin(r4.lo1, r4.e), t = vmax(r4.e, r4.lo1);
        R40 = vmin(s, r4.lo2);
        R41 = vmin(vmin(vmin(r4.hi1, r4.hi2), t), vmax(r4.lo2, s));
    }
    const V A = vmax(vmax(vmax(R03, R12), R21), R30);
    const V B = vmin(vmin(vmin(R14, R23), R32), R41);
    const V P = vmax(vmin(R22, R40), vmin(R04, R31));
    const V Q = vmin(vmax(R22, R40), vmax(R04, R31));
    const V mid = vmin(vmax(P, R13), vmax(Q, vmin(R13, P)));
    return vmin(vmax(A, B), vmax(vmin(A, B), mid));
}

// ---- Blocks: kLanes outputs from the pointer c to the source pixel under the
// mask centre of the first of them. ----

template <int Mask>
struct Block;

template <>
struct Block<vpiMskSize1x3> {
    static V at(const Vp8u* c, std::ptrdiff_t s) { return median3(Bytes::load(c - s), Bytes::load(c), Bytes::load(c + s)); }
};
template <>
struct Block<vpiMskSize1x5> {
    static V at(const Vp8u* c, std::ptrdiff_t s) {
        return median5(Bytes::load(c - 2 * s), Bytes::load(c - s), Bytes::load(c + s), Bytes::load(c + 2 * s),
                       Bytes::load(c));
    }
};
template <>
struct Block<vpiMskSize3x1> {
    static V at(const Vp8u* c, std::ptrdiff_t) { return median3(Bytes::load(c - 1), Bytes::load(c), Bytes::load(c + 1)); }
};
template <>
struct Block<vpiMskSize5x1> {
    static V at(const Vp8u* c, std::ptrdiff_t) {
        return median5(Bytes::load(c - 2), Bytes::load(c + 2), Bytes::load(c - 1), Bytes::load(c + 1), Bytes::load(c));
    }
};
template <>
struct Block<vpiMskSize3x3> {
    static V at(const Vp8u* c, std::ptrdiff_t s) {
        V lo[3], mid[3], hi[3];
        for (int dx = -1; dx <= 1; ++dx)
            sortColumn3(Bytes::load(c - s + dx), Bytes::load(c + dx), Bytes::load(c + s + dx), lo[dx + 1], mid[dx + 1],
                        hi[dx + 1]);
        const V l = vmax(vmax(lo[0], lo[1]), lo[2]);
        const V m = median3(mid[0], mid[1], mid[2]);
        const V h = vmin(vmin(hi[0], hi[1]), hi[2]);
        return median3(l, m, h);
    }
};
template <>
struct Block<vpiMskSize5x5> {
    // Window columns are sorted once per block: the kLanes columns from the
    // block's first window column and the kLanes from its fifth (overlapping,
    // with equal values), into rows of rank; each output then reads its five
    // sorted columns from byte offsets 0..4.
    static V at(const Vp8u* c, std::ptrdiff_t s) {
        alignas(32) Vp8u ranks[5][2 * kLanes];
        for (int half = 0; half < 2; ++half) {
            const Vp8u* col = c - 2 * s - 2 + 4 * half;
            V r[5];
            for (int k = 0; k < 5; ++k) r[k] = Bytes::load(col + k * s);
            sortColumn5(r);
            for (int k = 0; k < 5; ++k) Bytes::store(&ranks[k][4 * half], r[k]);
        }
        auto row = [&](int k) {
            return RankRow(Bytes::load(&ranks[k][0]), Bytes::load(&ranks[k][1]), Bytes::load(&ranks[k][2]),
                           Bytes::load(&ranks[k][3]), Bytes::load(&ranks[k][4]));
        };
        return median25(row(0), row(1), row(2), row(3), row(4));
    }
};

template <int Mask>
constexpr int maskWidth() { return Mask / 10; }
template <int Mask>
constexpr int maskHeight() { return Mask % 10; }

// One row narrower than a block: its window bytes are gathered into a buffer
// (the rest zero), the block is computed there and width bytes are kept.
template <int Mask>
void narrowRow(const Vp8u* c, std::ptrdiff_t s, Vp8u* d, int width) {
    constexpr int mw = maskWidth<Mask>(), mh = maskHeight<Mask>();
    constexpr int rw = mw / 2, rh = mh / 2;
    constexpr int stride = 2 * kLanes + 16;
    alignas(32) Vp8u rows[mh][stride] = {};
    for (int r = 0; r < mh; ++r) std::memcpy(&rows[r][8], c + (r - rh) * s - rw, static_cast<std::size_t>(width + mw - 1));
    alignas(32) Vp8u out[kLanes];
    Bytes::store(out, Block<Mask>::at(&rows[rh][8 + rw], stride));
    std::memcpy(d, out, static_cast<std::size_t>(width));
}

// Whole rows: one block up to the destination's block boundary (unaligned),
// aligned blocks with non-temporal stores, then one last block placed to end
// at the last output (it rewrites some outputs with the same values).
template <int Mask>
void medianKernel(const Vp8u* centre, int srcStep, Vp8u* pDst, int dstStep, int width, int height) {
    const std::ptrdiff_t s = srcStep;
    for (int y = 0; y < height; ++y) {
        const Vp8u* c = centre + y * s;
        Vp8u* d = pDst + static_cast<std::ptrdiff_t>(y) * dstStep;
        if (width < kLanes) {
            narrowRow<Mask>(c, s, d, width);
            continue;
        }
        int x = 0;
        const int misalign = static_cast<int>(reinterpret_cast<std::uintptr_t>(d) & (kLanes - 1));
        if (misalign) {
            Bytes::store(d, Block<Mask>::at(c, s));
            x = kLanes - misalign;
        }
        for (; x + kLanes <= width; x += kLanes) Bytes::stream(d + x, Block<Mask>::at(c + x, s));
        if (x < width) Bytes::store(d + width - kLanes, Block<Mask>::at(c + width - kLanes, s));
    }
    Bytes::finish();
}

}  // namespace

// Selectors: the three-tap kernel for codes 13, 31 and 33, the five-tap one
// otherwise (the callers have restricted the codes).
VpStatus VP_LEVEL_NAME(FilterMedianSquare)(const Vp8u* pCentre, int srcStep, Vp8u* pDst, int dstStep, int width,
                                           int height, VpiMaskSize mask) {
    if (mask == vpiMskSize3x3)
        medianKernel<vpiMskSize3x3>(pCentre, srcStep, pDst, dstStep, width, height);
    else
        medianKernel<vpiMskSize5x5>(pCentre, srcStep, pDst, dstStep, width, height);
    return vpStsNoErr;
}

namespace {

// One-dimensional masks: the shared argument check, then the kernel of the
// short or the long mask.
template <VpiMaskSize Short, VpiMaskSize Long>
VpStatus medianLine(const Vp8u* pCentre, int srcStep, Vp8u* pDst, int dstStep, int width, int height,
                    VpiMaskSize mask) {
    const VpStatus status =
        FilterMedianFixedCheck_px(pCentre, srcStep, pDst, dstStep, width, height, mask, Short, Long);
    if (status != vpStsNoErr) return status;
    if (mask == Short)
        medianKernel<Short>(pCentre, srcStep, pDst, dstStep, width, height);
    else
        medianKernel<Long>(pCentre, srcStep, pDst, dstStep, width, height);
    return vpStsNoErr;
}

}  // namespace

VpStatus VP_LEVEL_NAME(FilterMedianVertical)(const Vp8u* pCentre, int srcStep, Vp8u* pDst, int dstStep, int width,
                                             int height, VpiMaskSize mask) {
    return medianLine<vpiMskSize1x3, vpiMskSize1x5>(pCentre, srcStep, pDst, dstStep, width, height, mask);
}

VpStatus VP_LEVEL_NAME(FilterMedianHorizontal)(const Vp8u* pCentre, int srcStep, Vp8u* pDst, int dstStep, int width,
                                               int height, VpiMaskSize mask) {
    return medianLine<vpiMskSize3x1, vpiMskSize5x1>(pCentre, srcStep, pDst, dstStep, width, height, mask);
}

VpStatus VP_LEVEL_NAME(vpiFilterMedian_8u_C1R)(const Vp8u* pSrc, int srcStep, Vp8u* pDst, int dstStep,
                                               VpiSize dstRoiSize, VpiSize maskSize, VpiPoint anchor) {
    const FilterMedianRoutines routines = {VP_LEVEL_NAME(FilterMedianSquare), VP_LEVEL_NAME(FilterMedianVertical),
                                           VP_LEVEL_NAME(FilterMedianHorizontal), FilterMedianGeneral_px,
                                           VP_LEVEL_COPY_8U};
    return FilterMedianEntry_px(routines, pSrc, srcStep, pDst, dstStep, dstRoiSize, maskSize, anchor);
}
