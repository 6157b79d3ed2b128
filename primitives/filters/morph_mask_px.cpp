// Erosion and dilation of float images with a structuring mask, in place,
// plain level.
#include <algorithm>

#include "primitives/core/level_routines.h"
#include "primitives/core/memory.h"
#include "primitives/filters/filters_internal.h"
#include "primitives/primitives.h"

namespace {

constexpr Vp32f kLargestFloat = 3.4028235e38f;

inline const Vp32f* offsetRow(const Vp32f* p, std::ptrdiff_t bytes) {
    return reinterpret_cast<const Vp32f*>(reinterpret_cast<const Vp8u*>(p) + bytes);
}
inline Vp32f* offsetRow(Vp32f* p, std::ptrdiff_t bytes) {
    return reinterpret_cast<Vp32f*>(reinterpret_cast<Vp8u*>(p) + bytes);
}

struct ErodeStep {
    static constexpr Vp32f start = kLargestFloat;
    static Vp32f apply(Vp32f acc, Vp32f v) { return (v > acc) ? acc : v; }
};
struct DilateStep {
    static constexpr Vp32f start = -kLargestFloat;
    static Vp32f apply(Vp32f acc, Vp32f v) { return (v >= acc) ? v : acc; }
};

template <class Step>
void maskRow(const Vp32f* window, int step, Vp32f* dstRow, int width, const Vp8u* pMask, int maskW, int maskH) {
    for (int x = 0; x < width; ++x) {
        Vp32f acc = Step::start;
        for (int r = 0; r < maskH; ++r) {
            const Vp32f* src = offsetRow(window, static_cast<std::ptrdiff_t>(r) * step) + x;
            const Vp8u* maskRowBytes = pMask + static_cast<std::ptrdiff_t>(r) * maskW;
            for (int c = 0; c < maskW; ++c)
                if (maskRowBytes[c]) acc = Step::apply(acc, src[c]);
        }
        dstRow[x] = acc;
    }
}

using MaskRowFn = void (*)(const Vp32f*, int, Vp32f*, int, const Vp8u*, int, int);

// A ring of anchor.y + 1 result rows: image row y - R is written back just
// before output row y is computed, when no later output reads it any more.
VpStatus maskMorph(MaskRowFn row, Vp32f* pSrcDst, int step, VpiSize roiSize, const Vp8u* pMask, VpiSize maskSize,
                   VpiPoint anchor) {
    const VpStatus status = MaskMorphCheck_px(pSrcDst, step, roiSize, pMask, maskSize, anchor, 4, 1);
    if (status != vpStsNoErr) return status;
    const int W = roiSize.width;
    const int H = roiSize.height;
    const int R = anchor.y + 1;
    const long long rowBytes = (4LL * W + 15) & ~15LL;
    if (rowBytes * R > 0x7fffffffLL) return vpStsMemAllocErr;
    Vp8u* ring = vpsMalloc_8u(static_cast<int>(rowBytes * R));
    if (!ring) return vpStsMemAllocErr;
    auto ringRow = [&](int y) { return reinterpret_cast<Vp32f*>(ring + (y % R) * rowBytes); };
    auto window = [&](int y) {
        return offsetRow(pSrcDst, static_cast<std::ptrdiff_t>(y - anchor.y) * step) - anchor.x;
    };
    auto imageRow = [&](int y) { return offsetRow(pSrcDst, static_cast<std::ptrdiff_t>(y) * step); };

    const int first = std::min(R, H);
    for (int y = 0; y < first; ++y) row(window(y), step, ringRow(y), W, pMask, maskSize.width, maskSize.height);
    for (int y = R; y < H; ++y) {
        vpsCopy_32f_px(ringRow(y), imageRow(y - R), W);
        row(window(y), step, ringRow(y), W, pMask, maskSize.width, maskSize.height);
    }
    for (int y = H - first; y < H; ++y) vpsCopy_32f_px(ringRow(y), imageRow(y), W);
    vpsFree(ring);
    return vpStsNoErr;
}

}  // namespace

VpStatus MaskMaxCheck_px(const Vp8u* pSrc, int srcStep, VpiSize roiSize, Vp8u* pMax) {
    if (!pSrc || !pMax) return vpStsNullPtrErr;
    if (roiSize.width <= 0 || roiSize.height <= 0) return vpStsSizeErr;
    if (srcStep <= 0) return vpStsStepErr;
    Vp8u largest = 0;
    for (int y = 0; y < roiSize.height && largest != 255; ++y) {
        const Vp8u* row = pSrc + static_cast<std::ptrdiff_t>(y) * srcStep;
        for (int x = 0; x < roiSize.width; ++x) largest = std::max(largest, row[x]);
    }
    *pMax = largest;
    return vpStsNoErr;
}

VpStatus MaskMorphCheck_px(const void* pSrcDst, int srcDstStep, VpiSize roiSize, const Vp8u* pMask,
                           VpiSize maskSize, VpiPoint anchor, int elemSize, int channels) {
    if (!pSrcDst || !pMask) return vpStsNullPtrErr;
    if (srcDstStep <= 0) return vpStsStepErr;
    if (roiSize.width <= 0 || roiSize.height <= 0) return vpStsSizeErr;
    if (maskSize.width <= 0 || maskSize.height <= 0) return vpStsMaskSizeErr;
    Vp8u largest = 0;
    MaskMaxCheck_px(pMask, maskSize.width, maskSize, &largest);
    if (largest == 0) return vpStsZeroMaskValuesErr;
    if (anchor.x < 0 || anchor.x >= maskSize.width || anchor.y < 0 || anchor.y >= maskSize.height)
        return vpStsAnchorErr;
    if (srcDstStep < static_cast<long long>(elemSize) * (roiSize.width + static_cast<long long>(maskSize.width) - 1) *
                         channels)
        return vpStsStrideErr;
    return vpStsNoErr;
}

void ErodeMaskRow_px(const Vp32f* window, int step, Vp32f* dstRow, int width, const Vp8u* pMask, int maskW,
                     int maskH) {
    maskRow<ErodeStep>(window, step, dstRow, width, pMask, maskW, maskH);
}

void DilateMaskRow_px(const Vp32f* window, int step, Vp32f* dstRow, int width, const Vp8u* pMask, int maskW,
                      int maskH) {
    maskRow<DilateStep>(window, step, dstRow, width, pMask, maskW, maskH);
}

VpStatus vpiErode_32f_C1IR_px(Vp32f* pSrcDst, int srcDstStep, VpiSize roiSize, const Vp8u* pMask,
                              VpiSize maskSize, VpiPoint anchor) {
    return maskMorph(ErodeMaskRow_px, pSrcDst, srcDstStep, roiSize, pMask, maskSize, anchor);
}

VpStatus vpiDilate_32f_C1IR_px(Vp32f* pSrcDst, int srcDstStep, VpiSize roiSize, const Vp8u* pMask,
                               VpiSize maskSize, VpiPoint anchor) {
    return maskMorph(DilateMaskRow_px, pSrcDst, srcDstStep, roiSize, pMask, maskSize, anchor);
}
