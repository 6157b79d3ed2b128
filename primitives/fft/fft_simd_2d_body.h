// The two-dimensional FFT of one SIMD level, written once: the shared
// row-column layer bound to the level's one-dimensional routines. A level
// file defines FFT_LEVEL(name) (pasting its suffix) and FFT_LEVEL_LAYOUT,
// then includes this file once. The image magnitude runs the level's own
// vector magnitude on every row.

#include <cstdint>

#include "primitives/core/level_routines.h"
#include "primitives/fft/fft2d_impl.h"
#include "primitives/fft/fft_simd.h"

namespace {

struct Level2D {
    static constexpr const FFTLevelLayout& layout = FFT_LEVEL_LAYOUT;
    static VpStatus initAlloc(VpsFFTSpec_C_32fc** pp, int order, int flag, VpHintAlgorithm hint) {
        return FFT_LEVEL(vpsFFTInitAlloc_C_32fc)(pp, order, flag, hint);
    }
    static VpStatus getBufSize(const VpsFFTSpec_C_32fc* spec, int* pSize) {
        return FFT_LEVEL_GET_BUF_SIZE(spec, pSize);
    }
    static VpStatus release(VpsFFTSpec_C_32fc* spec) { return FFT_LEVEL(vpsFFTFree_C_32fc)(spec); }
    static VpStatus releaseReal(VpsFFTSpec_R_32f* spec) { return FFT_LEVEL(vpsFFTFree_R_32f)(spec); }
};

}  // namespace

void FFT_LEVEL(destroyFFTSpec2D)(VpiFFTSpec_C_32fc* pSpec) { fft2d::destroy<Level2D>(pSpec); }

VpStatus FFT_LEVEL(vpiFFTInitAlloc_C_32fc)(VpiFFTSpec_C_32fc** ppSpec, int orderX, int orderY, int flag,
                                           VpHintAlgorithm hint) {
    return fft2d::initAlloc<Level2D>(ppSpec, orderX, orderY, flag, hint);
}

VpStatus FFT_LEVEL(vpiFFTFree_C_32fc)(VpiFFTSpec_C_32fc* pSpec) { return fft2d::release<Level2D>(pSpec); }

VpStatus FFT_LEVEL(vpiFFTFwd_CToC_32fc_C1R)(const Vp32fc* pSrc, int srcStep, Vp32fc* pDst, int dstStep,
                                            const VpiFFTSpec_C_32fc* pSpec, Vp8u* pBuffer) {
    return fft2d::transform(FFT_LEVEL(vpsFFTFwd_CToC_32fc), pSrc, srcStep, pDst, dstStep, pSpec, pBuffer);
}

VpStatus FFT_LEVEL(vpiFFTInv_CToC_32fc_C1R)(const Vp32fc* pSrc, int srcStep, Vp32fc* pDst, int dstStep,
                                            const VpiFFTSpec_C_32fc* pSpec, Vp8u* pBuffer) {
    return fft2d::transform(FFT_LEVEL(vpsFFTInv_CToC_32fc), pSrc, srcStep, pDst, dstStep, pSpec, pBuffer);
}

VpStatus FFT_LEVEL(vpiMagnitude_32fc32f_C1R)(const Vp32fc* pSrc, int srcStep, Vp32f* pDst, int dstStep,
                                             VpiSize roiSize) {
    return fft2d::magnitude(FFT_LEVEL(vpsMagnitude_32fc), pSrc, srcStep, pDst, dstStep, roiSize);
}
