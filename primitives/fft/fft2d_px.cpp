// px members of the two-dimensional FFT: the shared row-column layer bound to
// the px one-dimensional routines.

#include <cstdint>

#include "primitives/core/level_routines.h"
#include "primitives/fft/fft2d_impl.h"
#include "primitives/fft/fft_px.h"

namespace {

struct LevelPx {
    static constexpr const FFTLevelLayout& layout = FFTLayout_px;
    static VpStatus initAlloc(VpsFFTSpec_C_32fc** pp, int order, int flag, VpHintAlgorithm hint) {
        return vpsFFTInitAlloc_C_32fc_px(pp, order, flag, hint);
    }
    static VpStatus getBufSize(const VpsFFTSpec_C_32fc* spec, int* pSize) {
        return vpsFFTGetBufSize_C_32fc_px(spec, pSize);
    }
    static VpStatus release(VpsFFTSpec_C_32fc* spec) { return vpsFFTFree_C_32fc_px(spec); }
    static VpStatus releaseReal(VpsFFTSpec_R_32f* spec) { return vpsFFTFree_R_32f_px(spec); }
};

// The batched passes of fft_batch_px.cpp in one direction.
template <bool Fwd>
struct BatchPx {
    static bool handles(int orderX, int orderY, std::int64_t floats) {
        return FFTBatchHandles_px(orderX, orderY, floats);
    }
    static VpStatus run(const float* src, int srcStep, float* dst, int dstStep, const VpsFFTSpec_C_32fc* rowSpec,
                        const VpsFFTSpec_C_32fc* colSpec, float* block, std::int64_t floats) {
        return FFT2DBatched_px(Fwd, src, srcStep, dst, dstStep, rowSpec, colSpec, block, floats);
    }
};

}  // namespace

void destroyFFTSpec2D_px(VpiFFTSpec_C_32fc* pSpec) { fft2d::destroy<LevelPx>(pSpec); }

VpStatus vpiFFTInitAlloc_C_32fc_px(VpiFFTSpec_C_32fc** ppSpec, int orderX, int orderY, int flag,
                                   VpHintAlgorithm hint) {
    return fft2d::initAlloc<LevelPx>(ppSpec, orderX, orderY, flag, hint);
}

VpStatus vpiFFTGetBufSize_C_32fc_px(const VpiFFTSpec_C_32fc* pSpec, int* pBufSize) {
    return fft2d::getBufSize<LevelPx>(pSpec, pBufSize);
}

VpStatus vpiFFTFree_C_32fc_px(VpiFFTSpec_C_32fc* pSpec) { return fft2d::release<LevelPx>(pSpec); }

VpStatus vpiFFTFwd_CToC_32fc_C1R_px(const Vp32fc* pSrc, int srcStep, Vp32fc* pDst, int dstStep,
                                    const VpiFFTSpec_C_32fc* pSpec, Vp8u* pBuffer) {
    return fft2d::transform(vpsFFTFwd_CToC_32fc_px, pSrc, srcStep, pDst, dstStep, pSpec, pBuffer, BatchPx<true>());
}

VpStatus vpiFFTInv_CToC_32fc_C1R_px(const Vp32fc* pSrc, int srcStep, Vp32fc* pDst, int dstStep,
                                    const VpiFFTSpec_C_32fc* pSpec, Vp8u* pBuffer) {
    return fft2d::transform(vpsFFTInv_CToC_32fc_px, pSrc, srcStep, pDst, dstStep, pSpec, pBuffer, BatchPx<false>());
}

VpStatus vpiMagnitude_32fc32f_C1R_px(const Vp32fc* pSrc, int srcStep, Vp32f* pDst, int dstStep, VpiSize roiSize) {
    return fft2d::magnitude(vpsMagnitude_32fc_px, pSrc, srcStep, pDst, dstStep, roiSize);
}
