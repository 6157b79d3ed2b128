// px one-dimensional entries: the record (creation, buffer-size
// query, releases) and the forward and inverse transforms.
//
// Orders 0..3 run a straight-line kernel; orders 4..10 permute into
// bit-reversed order, run the direct kernel and the scale pass, without any
// work buffer; larger orders permute and run the large-order paths, which
// scale on their own.

#include <cstdint>

#include "primitives/core/memory.h"
#include "primitives/fft/fft_internal.h"
#include "primitives/fft/fft_px.h"

VpStatus vpsFFTInitAlloc_C_32fc_px(VpsFFTSpec_C_32fc** ppSpec, int order, int flag, VpHintAlgorithm hint) {
    return FFTInitAllocFor(FFTLayout_px, ppSpec, order, flag, hint);
}

VpStatus FFTInitTables_px(VpsFFTSpec_C_32fc* pSpec, int order, const float* pSine, int sineOrder) {
    return FFTInitTablesFor(FFTLayout_px, pSpec, order, pSine, sineOrder);
}

VpStatus FFTBuildLargeTables_px(VpsFFTSpec_C_32fc* pSpec, int order, const float* pSine, int sineOrder) {
    return FFTBuildLargeTablesFor(FFTLayout_px, pSpec, order, pSine, sineOrder);
}

VpStatus FFTBuildSplitTables_px(VpsFFTSpec_C_32fc* pSpec, int order, const float* pSine, int sineOrder,
                                int depth) {
    return FFTBuildSplitTablesFor(FFTLayout_px, pSpec, order, pSine, sineOrder, depth);
}

float* FFTBuildSineTable_px(int order) { return FFTBuildSineTable(order); }
int* FFTBuildSwapPairs_px(int order) { return FFTBuildSwapPairs(order); }
float* FFTBuildDirectTwiddles_px(int order, const float* pSine, int sineOrder) {
    return FFTBuildDirectTwiddlesPx(order, pSine, sineOrder);
}
float* FFTBuildQuarterTwiddles_px(int order, const float* pSine, int sineOrder) {
    return FFTBuildQuarterTwiddles(order, pSine, sineOrder);
}

VpStatus vpsFFTGetBufSize_C_32fc_px(const VpsFFTSpec_C_32fc* pSpec, int* pSize) {
    if (!pSize || !pSpec) return vpStsNullPtrErr;
    if (pSpec->idCtx != kFFTSpecIdComplex) return vpStsContextMatchErr;
    *pSize = pSpec->bufSize;
    return vpStsNoErr;
}

VpStatus vpsFFTFree_C_32fc_px(VpsFFTSpec_C_32fc* pSpec) {
    if (!pSpec) return vpStsNullPtrErr;
    if (pSpec->idCtx != kFFTSpecIdComplex) return vpStsContextMatchErr;
    destroyFFTSpec(pSpec);
    return vpStsNoErr;
}

VpStatus vpsFFTFree_R_32f_px(VpsFFTSpec_R_32f* pSpec) {
    if (!pSpec) return vpStsNullPtrErr;
    if (pSpec->idCtx != kFFTSpecIdReal) return vpStsContextMatchErr;
    destroyFFTSpec(pSpec);
    return vpStsNoErr;
}

namespace {

template <bool Fwd>
VpStatus transform(const float* pSrc, float* pDst, const VpsFFTSpec_C_32fc* spec, Vp8u* pBuffer) {
    if (!spec) return vpStsNullPtrErr;
    if (spec->idCtx != kFFTSpecIdComplex) return vpStsContextMatchErr;
    if (!pSrc || !pDst) return vpStsNullPtrErr;

    const int order = spec->order;
    const bool scaled = (Fwd ? spec->fwdScaleFlag : spec->invScaleFlag) == 1;
    if (order <= 3) {
        const FFTSmallOrderTable& table = Fwd ? FFTFwdSmallOrderTable_px : FFTInvSmallOrderTable_px;
        if (scaled) {
            table.scaled[order](pSrc, pDst, spec->normFactor);
        } else {
            table.unscaled[order](pSrc, pDst);
        }
        return vpStsNoErr;
    }

    // Work area: the caller's buffer from its first 16-byte boundary, or an
    // own block; none when the record needs none.
    Vp8u* own = nullptr;
    float* work = nullptr;
    if (spec->bufSize > 0) {
        if (pBuffer) {
            const std::uintptr_t a = reinterpret_cast<std::uintptr_t>(pBuffer);
            work = reinterpret_cast<float*>(pBuffer + ((16 - (a & 15)) & 15));
        } else {
            own = vpsMalloc_8u(spec->bufSize);
            if (!own) return vpStsMemAllocErr;
            work = reinterpret_cast<float*>(own);
        }
    }

    const int N = 1 << order;
    if (pSrc == pDst) {
        FFTBitReverseInPlace_px(pDst, N, spec->pBitRev);
    } else {
        FFTBitReverseCopy_px(pSrc, pDst, N, spec->pBitRev);
    }
    if (order <= 10) {
        if (Fwd) {
            FFTFwdDirect_px(pDst, N, spec->pTwdDirect);
        } else {
            FFTInvDirect_px(pDst, N, spec->pTwdDirect);
        }
        if (scaled) FFTScale_px(spec->normFactor, pDst, 2 * N);
    } else if (Fwd) {
        FFTFwdLarge_px(spec, pDst, order, work);
    } else {
        FFTInvLarge_px(spec, pDst, order, work);
    }
    vpsFree(own);
    return vpStsNoErr;
}

}  // namespace

VpStatus vpsFFTFwd_CToC_32fc_px(const float* pSrc, float* pDst, const VpsFFTSpec_C_32fc* pSpec, Vp8u* pBuffer) {
    return transform<true>(pSrc, pDst, pSpec, pBuffer);
}

VpStatus vpsFFTInv_CToC_32fc_px(const float* pSrc, float* pDst, const VpsFFTSpec_C_32fc* pSpec, Vp8u* pBuffer) {
    return transform<false>(pSrc, pDst, pSpec, pBuffer);
}
