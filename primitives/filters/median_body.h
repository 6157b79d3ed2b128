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
#include "primitives/filters/median_networks.h"

namespace {

using V = Bytes::V;
constexpr int kLanes = Bytes::kLanes;

using Net = MedianNetworks<Bytes>;
using RankRow = Net::RankRow;

// ---- Blocks: kLanes outputs from the pointer c to the source pixel under the
// mask centre of the first of them. ----

template <int Mask>
struct Block;

template <>
struct Block<vpiMskSize1x3> {
    static V at(const Vp8u* c, std::ptrdiff_t s) { return Net::median3(Bytes::load(c - s), Bytes::load(c), Bytes::load(c + s)); }
};
template <>
struct Block<vpiMskSize1x5> {
    static V at(const Vp8u* c, std::ptrdiff_t s) {
        return Net::median5(Bytes::load(c - 2 * s), Bytes::load(c - s), Bytes::load(c + s), Bytes::load(c + 2 * s),
                       Bytes::load(c));
    }
};
template <>
struct Block<vpiMskSize3x1> {
    static V at(const Vp8u* c, std::ptrdiff_t) { return Net::median3(Bytes::load(c - 1), Bytes::load(c), Bytes::load(c + 1)); }
};
template <>
struct Block<vpiMskSize5x1> {
    static V at(const Vp8u* c, std::ptrdiff_t) {
        return Net::median5(Bytes::load(c - 2), Bytes::load(c + 2), Bytes::load(c - 1), Bytes::load(c + 1), Bytes::load(c));
    }
};
template <>
struct Block<vpiMskSize3x3> {
    static V at(const Vp8u* c, std::ptrdiff_t s) {
        V lo[3], mid[3], hi[3];
        for (int dx = -1; dx <= 1; ++dx)
            Net::sortColumn3(Bytes::load(c - s + dx), Bytes::load(c + dx), Bytes::load(c + s + dx), lo[dx + 1], mid[dx + 1],
                        hi[dx + 1]);
        const V l = Bytes::max(Bytes::max(lo[0], lo[1]), lo[2]);
        const V m = Net::median3(mid[0], mid[1], mid[2]);
        const V h = Bytes::min(Bytes::min(hi[0], hi[1]), hi[2]);
        return Net::median3(l, m, h);
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
            Net::sortColumn5(r);
            for (int k = 0; k < 5; ++k) Bytes::store(&ranks[k][4 * half], r[k]);
        }
        auto row = [&](int k) {
            return RankRow(Bytes::load(&ranks[k][0]), Bytes::load(&ranks[k][1]), Bytes::load(&ranks[k][2]),
                           Bytes::load(&ranks[k][3]), Bytes::load(&ranks[k][4]));
        };
        return Net::median25(row(0), row(1), row(2), row(3), row(4));
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
