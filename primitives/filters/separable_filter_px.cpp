// Row and column convolution of float images, plain level. Every output is
// summed in double precision from its products in window order and rounded
// to float once, at the store.
#include <algorithm>

#include "primitives/filters/filters_internal.h"
#include "primitives/primitives.h"

namespace {

// Outputs are accumulated in blocks of this many, so the inner loops run over
// contiguous memory and the compiler can vectorise them.
constexpr int kBlock = 256;

inline Vp32f* rowAt(Vp32f* base, int step, int y) {
    return reinterpret_cast<Vp32f*>(reinterpret_cast<Vp8u*>(base) + static_cast<std::ptrdiff_t>(y) * step);
}

// One output block: acc[i] = sum over j of tap(n-1-j) * window pixel j, where
// window pixel j of output i lies (windowStart + j) * tapStride bytes from
// `origin` + i floats. Rows and columns differ only in tapStride.
void filterCore(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize size, const Vp32f* pKernel,
                int n, int anchor, bool alongRows) {
    // Rows are addressed with steps rounded down to whole floats.
    const int sStep = srcStep & ~3;
    const int dStep = dstStep & ~3;
    const std::ptrdiff_t tapStride = alongRows ? static_cast<std::ptrdiff_t>(sizeof(Vp32f)) : sStep;
    // The window of an output starts n - 1 - anchor pixels (or rows) before it.
    const std::ptrdiff_t windowStart = -(static_cast<std::ptrdiff_t>(n) - 1 - anchor);
    double acc[kBlock];
    for (int y = 0; y < size.height; ++y) {
        const Vp8u* srcRow = reinterpret_cast<const Vp8u*>(pSrc) + static_cast<std::ptrdiff_t>(y) * sStep;
        Vp32f* dst = rowAt(pDst, dStep, y);
        for (int x0 = 0; x0 < size.width; x0 += kBlock) {
            const int count = std::min(kBlock, size.width - x0);
            std::fill(acc, acc + count, 0.0);
            for (int j = 0; j < n; ++j) {
                const double tap = pKernel[n - 1 - j];
                const Vp32f* s = reinterpret_cast<const Vp32f*>(srcRow + (windowStart + j) * tapStride) + x0;
                for (int i = 0; i < count; ++i) acc[i] += tap * static_cast<double>(s[i]);
            }
            for (int i = 0; i < count; ++i) dst[x0 + i] = static_cast<Vp32f>(acc[i]);
        }
    }
}

}  // namespace

VpStatus FilterCheck_px(const Vp32f* pSrc, int srcStep, const Vp32f* pDst, int dstStep, VpiSize dstRoiSize,
                        const Vp32f* pKernel, int kernelSize, int anchor) {
    if (!pSrc || !pDst || !pKernel) return vpStsNullPtrErr;
    if (dstRoiSize.width <= 0 || dstRoiSize.height <= 0 || kernelSize <= 0) return vpStsSizeErr;
    if (srcStep <= 0 || dstStep <= 0) return vpStsStepErr;
    // An anchor outside the kernel would move the window off the pixels the
    // caller supplies around the region.
    if (anchor < 0 || anchor >= kernelSize) return vpStsAnchorErr;
    return vpStsNoErr;
}

void FilterRowCore_px(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize dstRoiSize,
                      const Vp32f* pKernel, int kernelSize, int xAnchor) {
    filterCore(pSrc, srcStep, pDst, dstStep, dstRoiSize, pKernel, kernelSize, xAnchor, true);
}

void FilterColumnCore_px(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize dstRoiSize,
                         const Vp32f* pKernel, int kernelSize, int yAnchor) {
    filterCore(pSrc, srcStep, pDst, dstStep, dstRoiSize, pKernel, kernelSize, yAnchor, false);
}

VpStatus vpiFilterRow_32f_C1R_px(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize dstRoiSize,
                                 const Vp32f* pKernel, int kernelSize, int xAnchor) {
    const VpStatus status = FilterCheck_px(pSrc, srcStep, pDst, dstStep, dstRoiSize, pKernel, kernelSize, xAnchor);
    if (status != vpStsNoErr) return status;
    FilterRowCore_px(pSrc, srcStep, pDst, dstStep, dstRoiSize, pKernel, kernelSize, xAnchor);
    return vpStsNoErr;
}

VpStatus vpiFilterColumn_32f_C1R_px(const Vp32f* pSrc, int srcStep, Vp32f* pDst, int dstStep,
                                    VpiSize dstRoiSize, const Vp32f* pKernel, int kernelSize, int yAnchor) {
    const VpStatus status = FilterCheck_px(pSrc, srcStep, pDst, dstStep, dstRoiSize, pKernel, kernelSize, yAnchor);
    if (status != vpStsNoErr) return status;
    FilterColumnCore_px(pSrc, srcStep, pDst, dstStep, dstRoiSize, pKernel, kernelSize, yAnchor);
    return vpStsNoErr;
}
