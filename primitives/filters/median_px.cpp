// Median filter of 8-bit images, plain level: a sliding histogram for general
// masks, sorted window columns and selection networks for 3x3 and 5x5, and
// branch-free selection for the one-row and one-column masks of three and five.
#include <algorithm>
#include <cstring>

#include "primitives/core/level_routines.h"
#include "primitives/core/memory.h"
#include "primitives/filters/filters_internal.h"
#include "primitives/filters/median_networks.h"
#include "primitives/primitives.h"

namespace {


inline int select3(int a, int b, int c) {
    if ((a < b) != (a < c)) return a;
    if ((a < c) != (b < c)) return c;
    return b;
}

// Slot index of the largest of slots 0..3 (pairs first, then the winners).
inline int largestOfFour(const int* s) {
    const int i = (s[1] > s[0]) ? 1 : 0;
    const int j = (s[3] > s[2]) ? 3 : 2;
    return (s[j] > s[i]) ? j : i;
}

inline int select5(int s0, int s1, int s2, int s3, int s4) {
    int s[5] = {s0, s1, s2, s3, s4};
    int k = largestOfFour(s);
    if (!(s[k] < s[4])) s[k] = s[4];  // slots 0..3 now hold the four smallest
    k = largestOfFour(s);
    s[k] = s[3];  // slots 0..2 now hold the three smallest
    return std::max(std::max(s[0], s[1]), s[2]);
}

// The square masks: every window column of a row is sorted once, into rows of
// rank (lo/mid/hi, or ranks 0..4), over the whole row; each output then
// selects its median from the sorted columns x .. x + mask width - 1. Both
// loops run over columns with byte minima and maxima only, which the
// compiler vectorises. Only the mask's reach is read.
struct PlainBytes {
    using V = Vp8u;
    static V min(V a, V b) { return b < a ? b : a; }
    static V max(V a, V b) { return a < b ? b : a; }
};
using Net = MedianNetworks<PlainBytes>;

// Outputs per pass over a row; the sorted columns of a pass live on the stack.
constexpr int kSquareChunk = 1024;

void median3x3Row(const Vp8u* __restrict up, const Vp8u* __restrict mid, const Vp8u* __restrict down,
                  Vp8u* __restrict dst, int count) {
    Vp8u lo[kSquareChunk + 2], md[kSquareChunk + 2], hi[kSquareChunk + 2];
    for (int c = 0; c < count + 2; ++c) Net::sortColumn3(up[c], mid[c], down[c], lo[c], md[c], hi[c]);
    for (int x = 0; x < count; ++x) {
        const Vp8u l = PlainBytes::max(PlainBytes::max(lo[x], lo[x + 1]), lo[x + 2]);
        const Vp8u m = Net::median3(md[x], md[x + 1], md[x + 2]);
        const Vp8u h = PlainBytes::min(PlainBytes::min(hi[x], hi[x + 1]), hi[x + 2]);
        dst[x] = Net::median3(l, m, h);
    }
}

void median5x5Row(const Vp8u* const* rows, Vp8u* __restrict dst, int count) {
    Vp8u rank[5][kSquareChunk + 4];
    const Vp8u* __restrict r0 = rows[0];
    const Vp8u* __restrict r1 = rows[1];
    const Vp8u* __restrict r2 = rows[2];
    const Vp8u* __restrict r3 = rows[3];
    const Vp8u* __restrict r4 = rows[4];
    for (int c = 0; c < count + 4; ++c) {
        Vp8u v[5] = {r0[c], r1[c], r2[c], r3[c], r4[c]};
        Net::sortColumn5(v);
#pragma GCC unroll 5
        for (int k = 0; k < 5; ++k) rank[k][c] = v[k];
    }
    for (int x = 0; x < count; ++x) {
        auto row = [&](int k) {
            const Vp8u* r = &rank[k][x];
            return Net::RankRow(r[0], r[1], r[2], r[3], r[4]);
        };
        dst[x] = Net::median25(row(0), row(1), row(2), row(3), row(4));
    }
}

void medianSquare(const Vp8u* pCentre, int srcStep, Vp8u* pDst, int dstStep, int width, int height, int reach) {
    for (int y = 0; y < height; ++y) {
        const Vp8u* rows[5];
        for (int r = 0; r < 2 * reach + 1; ++r)
            rows[r] = pCentre + static_cast<std::ptrdiff_t>(y + r - reach) * srcStep - reach;
        Vp8u* dst = pDst + static_cast<std::ptrdiff_t>(y) * dstStep;
        for (int x0 = 0; x0 < width; x0 += kSquareChunk) {
            const int count = std::min(kSquareChunk, width - x0);
            if (reach == 1) {
                median3x3Row(rows[0] + x0, rows[1] + x0, rows[2] + x0, dst + x0, count);
            } else {
                const Vp8u* shifted[5];
                for (int r = 0; r < 5; ++r) shifted[r] = rows[r] + x0;
                median5x5Row(shifted, dst + x0, count);
            }
        }
    }
}

// Sliding-histogram median of one channel over masks at least three wide.
void histogramMedian(const Vp8u* pWindow, int srcStep, Vp8u* pDst, int dstStep, int width, int height, int maskW,
                     int maskH, int stride) {
    int hist[256];
    std::memset(hist, 0, sizeof hist);
    const int threshold = ((maskW * maskH) >> 1) + 1;
    for (int y = 0; y < height; ++y) {
        const Vp8u* top = pWindow + static_cast<std::ptrdiff_t>(y) * srcStep;
        Vp8u* dst = pDst + static_cast<std::ptrdiff_t>(y) * dstStep;
        for (int r = 0; r < maskH; ++r) {
            const Vp8u* row = top + static_cast<std::ptrdiff_t>(r) * srcStep;
            for (int c = 0; c < maskW; ++c) ++hist[row[c * stride]];
        }
        int m = 0;
        int count = hist[0];
        while (count < threshold) count += hist[++m];
        for (int x = 0; x < width - 1; ++x) {
            dst[x * stride] = static_cast<Vp8u>(m);
            for (int r = 0; r < maskH; ++r) {
                const Vp8u* row = top + static_cast<std::ptrdiff_t>(r) * srcStep;
                const int leaving = row[x * stride];
                const int entering = row[(x + maskW) * stride];
                --hist[leaving];
                ++hist[entering];
                if (leaving <= m) --count;
                if (entering <= m) ++count;
            }
            if (count < threshold) {
                while (count < threshold) count += hist[++m];
            } else {
                do {
                    count -= hist[m];
                    --m;
                } while (count >= threshold);
                ++m;
                count += hist[m];
            }
        }
        dst[(width - 1) * stride] = static_cast<Vp8u>(m);
        // Clear only the bins of the last window.
        for (int r = 0; r < maskH; ++r) {
            const Vp8u* row = top + static_cast<std::ptrdiff_t>(r) * srcStep;
            for (int c = width - 1; c < width - 1 + maskW; ++c) hist[row[c * stride]] = 0;
        }
    }
}

// One-column masks: partial bubble sort of the column until the middle is in place.
void columnMedian(const Vp8u* pWindow, int srcStep, Vp8u* pDst, int dstStep, int width, int height, int maskH,
                  int stride, Vp32s* column) {
    for (int y = 0; y < height; ++y) {
        const Vp8u* top = pWindow + static_cast<std::ptrdiff_t>(y) * srcStep;
        Vp8u* dst = pDst + static_cast<std::ptrdiff_t>(y) * dstStep;
        for (int x = 0; x < width; ++x) {
            for (int r = 0; r < maskH; ++r) column[r] = top[static_cast<std::ptrdiff_t>(r) * srcStep + x * stride];
            for (int k = maskH - 1; k >= (maskH >> 1); --k) {
                for (int i = 0; i < k; ++i)
                    if (column[i + 1] < column[i]) std::swap(column[i], column[i + 1]);
            }
            dst[x * stride] = static_cast<Vp8u>(column[maskH >> 1] & 0xff);
        }
    }
}

}  // namespace

VpStatus FilterMedianGeneral_px(const Vp8u* pWindow, int srcStep, Vp8u* pDst, int dstStep, int width, int height,
                                int maskW, int maskH, int pixelStride, int skipLastChannel) {
    const int channels = skipLastChannel ? pixelStride - 1 : pixelStride;
    if (maskW == 1) {
        Vp32s* column = reinterpret_cast<Vp32s*>(vpsMalloc_32f(maskH));
        if (!column) return vpStsMemAllocErr;
        for (int ch = 0; ch < channels; ++ch)
            columnMedian(pWindow + ch, srcStep, pDst + ch, dstStep, width, height, maskH, pixelStride, column);
        vpsFree(column);
        return vpStsNoErr;
    }
    for (int ch = 0; ch < channels; ++ch)
        histogramMedian(pWindow + ch, srcStep, pDst + ch, dstStep, width, height, maskW, maskH, pixelStride);
    return vpStsNoErr;
}

VpStatus FilterMedianSquare_px(const Vp8u* pCentre, int srcStep, Vp8u* pDst, int dstStep, int width, int height,
                               VpiMaskSize mask) {
    medianSquare(pCentre, srcStep, pDst, dstStep, width, height, mask == vpiMskSize3x3 ? 1 : 2);
    return vpStsNoErr;
}

VpStatus FilterMedianVertical_px(const Vp8u* pCentre, int srcStep, Vp8u* pDst, int dstStep, int width, int height,
                                 VpiMaskSize mask) {
    const VpStatus status =
        FilterMedianFixedCheck_px(pCentre, srcStep, pDst, dstStep, width, height, mask, vpiMskSize1x3, vpiMskSize1x5);
    if (status != vpStsNoErr) return status;
    const std::ptrdiff_t s = srcStep;
    for (int y = 0; y < height; ++y) {
        const Vp8u* c = pCentre + y * s;
        Vp8u* dst = pDst + static_cast<std::ptrdiff_t>(y) * dstStep;
        for (int x = 0; x < width; ++x) {
            dst[x] = static_cast<Vp8u>(mask == vpiMskSize1x3
                                           ? select3(c[x - s], c[x], c[x + s])
                                           : select5(c[x - 2 * s], c[x - s], c[x], c[x + s], c[x + 2 * s]));
        }
    }
    return vpStsNoErr;
}

VpStatus FilterMedianHorizontal_px(const Vp8u* pCentre, int srcStep, Vp8u* pDst, int dstStep, int width,
                                   int height, VpiMaskSize mask) {
    const VpStatus status =
        FilterMedianFixedCheck_px(pCentre, srcStep, pDst, dstStep, width, height, mask, vpiMskSize3x1, vpiMskSize5x1);
    if (status != vpStsNoErr) return status;
    for (int y = 0; y < height; ++y) {
        const Vp8u* c = pCentre + static_cast<std::ptrdiff_t>(y) * srcStep;
        Vp8u* dst = pDst + static_cast<std::ptrdiff_t>(y) * dstStep;
        for (int x = 0; x < width; ++x) {
            dst[x] = static_cast<Vp8u>(mask == vpiMskSize3x1
                                           ? select3(c[x - 1], c[x], c[x + 1])
                                           : select5(c[x - 2], c[x - 1], c[x], c[x + 1], c[x + 2]));
        }
    }
    return vpStsNoErr;
}

VpStatus FilterMedianFixedCheck_px(const Vp8u* pCentre, int srcStep, const Vp8u* pDst, int dstStep, int width,
                                   int height, VpiMaskSize mask, VpiMaskSize threeTap, VpiMaskSize fiveTap) {
    if (!pCentre || !pDst) return vpStsNullPtrErr;
    if (width <= 0 || height <= 0) return vpStsSizeErr;
    if (srcStep <= 0 || dstStep <= 0) return vpStsStepErr;
    if (mask != threeTap && mask != fiveTap) return vpStsMaskSizeErr;
    return vpStsNoErr;
}

VpStatus FilterMedianEntry_px(const FilterMedianRoutines& level, const Vp8u* pSrc, int srcStep, Vp8u* pDst,
                              int dstStep, VpiSize dstRoiSize, VpiSize maskSize, VpiPoint anchor) {
    if (!pSrc || !pDst) return vpStsNullPtrErr;
    if (dstRoiSize.width <= 0 || dstRoiSize.height <= 0) return vpStsSizeErr;
    if (srcStep <= 0 || dstStep <= 0) return vpStsStepErr;
    const int mw = maskSize.width;
    const int mh = maskSize.height;
    if (mw <= 0 || mh <= 0 || (mw & mh & 1) == 0) return vpStsMaskSizeErr;
    if (anchor.x < 0 || anchor.x >= mw || anchor.y < 0 || anchor.y >= mh) return vpStsAnchorErr;

    const Vp8u* centre = pSrc + ((mw >> 1) - anchor.x) + static_cast<std::ptrdiff_t>((mh >> 1) - anchor.y) * srcStep;
    const int W = dstRoiSize.width;
    const int H = dstRoiSize.height;
    if (mw == 3 && mh == 3) return level.square(centre, srcStep, pDst, dstStep, W, H, vpiMskSize3x3);
    if (mw == 3 && mh == 1) return level.horizontal(centre, srcStep, pDst, dstStep, W, H, vpiMskSize3x1);
    if (mw == 5 && mh == 5) return level.square(centre, srcStep, pDst, dstStep, W, H, vpiMskSize5x5);
    if (mw == 5 && mh == 1) return level.horizontal(centre, srcStep, pDst, dstStep, W, H, vpiMskSize5x1);
    if (mw == 1 && mh == 3) return level.vertical(centre, srcStep, pDst, dstStep, W, H, vpiMskSize1x3);
    if (mw == 1 && mh == 5) return level.vertical(centre, srcStep, pDst, dstStep, W, H, vpiMskSize1x5);
    if (mw == 1 && mh == 1) return level.copy(centre, srcStep, pDst, dstStep, dstRoiSize);
    const Vp8u* window = pSrc - anchor.x - static_cast<std::ptrdiff_t>(anchor.y) * srcStep;
    return level.general(window, srcStep, pDst, dstStep, W, H, mw, mh, 1, 0);
}

VpStatus vpiFilterMedian_8u_C1R_px(const Vp8u* pSrc, int srcStep, Vp8u* pDst, int dstStep, VpiSize dstRoiSize,
                                   VpiSize maskSize, VpiPoint anchor) {
    const FilterMedianRoutines routines = {FilterMedianSquare_px, FilterMedianVertical_px, FilterMedianHorizontal_px,
                                           FilterMedianGeneral_px, vpiCopy_8u_C1R_px};
    return FilterMedianEntry_px(routines, pSrc, srcStep, pDst, dstStep, dstRoiSize, maskSize, anchor);
}
