// Erosion and dilation of float images with a structuring mask, in place,
// plain level.
#include <algorithm>

#include "primitives/core/level_routines.h"
#include "primitives/core/memory.h"
#include "primitives/filters/filters_internal.h"
#include "primitives/filters/morph_in_place.h"
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

// Checks, then the ring scheme with the given row routine.
VpStatus maskMorph(void (*row)(const Vp32f*, int, Vp32f*, int, const Vp8u*, int, int), Vp32f* pSrcDst, int step,
                   VpiSize roiSize, const Vp8u* pMask, VpiSize maskSize, VpiPoint anchor) {
    const VpStatus status = MaskMorphCheck_px(pSrcDst, step, roiSize, pMask, maskSize, anchor, 4, 1);
    if (status != vpStsNoErr) return status;
    return morph_in_place::maskRing(
        pSrcDst, step, roiSize, anchor,
        [&](const Vp32f* window, int srcStep, Vp32f* dstRow, int width) {
            row(window, srcStep, dstRow, width, pMask, maskSize.width, maskSize.height);
        },
        vpsCopy_32f_px);
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
