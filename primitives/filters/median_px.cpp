// Median filter of 8-bit images, plain level: a sliding histogram for general
// masks, a column-sorting method for 3x3 and branch-free selection for the
// one-row and one-column masks of three and five.
#include <algorithm>
#include <cstring>

#include "primitives/core/level_routines.h"
#include "primitives/core/memory.h"
#include "primitives/filters/filters_internal.h"
#include "primitives/primitives.h"

namespace {

// Median of three as the larger of min(p, q) and min(max(p, q), r).
inline int medianOf3(int p, int q, int r) { return std::max(std::min(p, q), std::min(std::max(p, q), r)); }

// Sorts three slots ascending.
inline void sort3(int& a, int& b, int& c) {
    int* k = (a > b) ? &a : &b;
    if (c < *k) std::swap(*k, c);
    if (b < a) std::swap(a, b);
}

// Each group of three slots holds one window column sorted ascending.
inline int medianOf9(const int* s) {
    const int lo = std::max(std::max(s[0], s[3]), s[6]);
    const int mid = medianOf3(s[1], s[4], s[7]);
    const int hi = std::min(std::min(s[2], s[5]), s[8]);
    return medianOf3(lo, mid, hi);
}

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
    if (mask != vpiMskSize3x3) {
        histogramMedian(pCentre - 2 - 2 * static_cast<std::ptrdiff_t>(srcStep), srcStep, pDst, dstStep, width,
                        height, 5, 5, 1);
        return vpStsNoErr;
    }
    for (int y = 0; y < height; ++y) {
        const Vp8u* mid = pCentre + static_cast<std::ptrdiff_t>(y) * srcStep;
        const Vp8u* up = mid - srcStep;
        const Vp8u* down = mid + srcStep;
        Vp8u* dst = pDst + static_cast<std::ptrdiff_t>(y) * dstStep;
        int slots[9];
        auto load = [&](int g, int column) {
            slots[g] = up[column];
            slots[g + 1] = mid[column];
            slots[g + 2] = down[column];
            sort3(slots[g], slots[g + 1], slots[g + 2]);
        };
        load(0, -1);
        load(3, 0);
        int g = 6;
        for (int x = 0; x < width; ++x) {
            load(g, x + 1);
            dst[x] = static_cast<Vp8u>(medianOf9(slots));
            g = (g + 3 == 9) ? 0 : g + 3;
        }
    }
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
