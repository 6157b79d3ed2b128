// The one-dimensional FFT of one SIMD level (a6, w7 or t7), written once: the
// record procedures bound to the level's layout, the kernels, the small-order
// tables and the forward and inverse entries. A level file defines, then
// includes this file once:
//   FFT_LEVEL(name)        pastes the level's suffix (name##_a6)
//   FFT_LEVEL_LAYOUT       the level's FFTLevelLayout
//   FFT_LEVEL_FUSED_MAX    largest order the fused kernels serve
//   FFT_LEVEL_LAST_ODD, FFT_LEVEL_LAST_EVEN   group size of the last radix-4 stage
//   FFT_LEVEL_HALVING      1 when rows without a split entry take the halving path
//   FFT_LEVEL_ORDER01_SCALED, FFT_LEVEL_ORDER2   suffix macros of the shared small members
// The kernels are those of fft_simd_impl.h, so all levels give the same bits
// wherever they take the same path.

#include <cstdint>

#include "primitives/core/memory.h"
#include "primitives/fft/fft_internal.h"
#include "primitives/fft/fft_simd.h"
#include "primitives/fft/fft_simd_impl.h"
#include "primitives/fft/fft_simd_large_impl.h"
#include "primitives/fft/fft_small_impl.h"

// ------------------------------------------------------------------ record

VpStatus FFT_LEVEL(vpsFFTInitAlloc_C_32fc)(VpsFFTSpec_C_32fc** ppSpec, int order, int flag, VpHintAlgorithm hint) {
    return FFTInitAllocFor(FFT_LEVEL_LAYOUT, ppSpec, order, flag, hint);
}

VpStatus FFT_LEVEL(FFTInitTables)(VpsFFTSpec_C_32fc* pSpec, int order, const float* pSine, int sineOrder) {
    return FFTInitTablesFor(FFT_LEVEL_LAYOUT, pSpec, order, pSine, sineOrder);
}

VpStatus FFT_LEVEL(FFTBuildLargeTables)(VpsFFTSpec_C_32fc* pSpec, int order, const float* pSine, int sineOrder) {
    return FFTBuildLargeTablesFor(FFT_LEVEL_LAYOUT, pSpec, order, pSine, sineOrder);
}

VpStatus FFT_LEVEL(FFTBuildSplitTables)(VpsFFTSpec_C_32fc* pSpec, int order, const float* pSine, int sineOrder,
                                        int depth) {
    return FFTBuildSplitTablesFor(FFT_LEVEL_LAYOUT, pSpec, order, pSine, sineOrder, depth);
}

float* FFT_LEVEL(FFTBuildSineTable)(int order) { return FFTBuildSineTable(order); }
int* FFT_LEVEL(FFTBuildSwapPairs)(int order) { return FFTBuildSwapPairs(order); }
int* FFT_LEVEL(FFTBuildBitRevList)(int order) { return FFTBuildBitRevList(order); }
float* FFT_LEVEL(FFTBuildDirectTwiddles)(int order, const float* pSine, int sineOrder) {
    return FFTBuildDirectTwiddlesSimd(order, pSine, sineOrder);
}

VpStatus FFT_LEVEL(vpsFFTFree_C_32fc)(VpsFFTSpec_C_32fc* pSpec) {
    if (!pSpec) return vpStsNullPtrErr;
    if (pSpec->idCtx != kFFTSpecIdComplex) return vpStsContextMatchErr;
    destroyFFTSpec(pSpec);
    return vpStsNoErr;
}

VpStatus FFT_LEVEL(vpsFFTFree_R_32f)(VpsFFTSpec_R_32f* pSpec) {
    if (!pSpec) return vpStsNullPtrErr;
    if (pSpec->idCtx != kFFTSpecIdReal) return vpStsContextMatchErr;
    destroyFFTSpec(pSpec);
    return vpStsNoErr;
}

// ------------------------------------------------------------------ kernels

void FFT_LEVEL(FFTScale)(float factor, float* pData, int count) { fft_simd::scale(factor, pData, count); }

void FFT_LEVEL(FFTBitReverseCopy)(const float* pSrc, float* pDst, int N, const int* pairs) {
    FFTPermuteCopy(pSrc, pDst, N, pairs);
}
void FFT_LEVEL(FFTBitReverseInPlace)(float* pSrcDst, int N, const int* pairs) { FFTPermuteInPlace(pSrcDst, N, pairs); }

void FFT_LEVEL(FFTFwdDirect)(float* pSrcDst, int len, const float* pTwd, float* pBuf, int interleaveOut) {
    fft_simd::direct<true>(pSrcDst, len, pTwd, pBuf, interleaveOut, FFT_LEVEL_LAST_ODD, FFT_LEVEL_LAST_EVEN);
}
void FFT_LEVEL(FFTInvDirect)(float* pSrcDst, int len, const float* pTwd, float* pBuf, int interleaveOut) {
    fft_simd::direct<false>(pSrcDst, len, pTwd, pBuf, interleaveOut, FFT_LEVEL_LAST_ODD, FFT_LEVEL_LAST_EVEN);
}

void FFT_LEVEL(FFTFwdFused)(const float* pSrc, float* pDst, int len, const float* pTwd, const int* pBitRev,
                            float* pBuf) {
    fft_simd::fused<true>(pSrc, pDst, len, pTwd, pBitRev, pBuf, FFT_LEVEL_LAST_ODD, FFT_LEVEL_LAST_EVEN);
}
void FFT_LEVEL(FFTInvFused)(const float* pSrc, float* pDst, int len, const float* pTwd, const int* pBitRev,
                            float* pBuf) {
    fft_simd::fused<false>(pSrc, pDst, len, pTwd, pBitRev, pBuf, FFT_LEVEL_LAST_ODD, FFT_LEVEL_LAST_EVEN);
}

void FFT_LEVEL(FFTGatherColumns4)(const float* data, float* buffer, const float* group, int direction, int C,
                                  int R) {
    if (direction == 1) {
        fft_simd::gatherColumns4<true>(data, buffer, group, C, R);
    } else {
        fft_simd::gatherColumns4<false>(data, buffer, group, C, R);
    }
}
void FFT_LEVEL(FFTScatterColumns4)(float* data, const float* buffer, int C, int R, int top) {
    fft_simd::scatterColumns4(data, buffer, C, R, top != 0);
}

namespace {

// The level as the large-order paths see it.
struct LevelKernels {
    static constexpr int kDirectLimit = FFT_LEVEL_LAYOUT_DIRECT_LIMIT;
    static constexpr bool kHalving = FFT_LEVEL_HALVING != 0;
    static void direct(bool fwd, float* data, std::int64_t len, const float* twd, float* buf, int interleaveOut) {
        if (fwd) {
            FFT_LEVEL(FFTFwdDirect)(data, static_cast<int>(len), twd, buf, interleaveOut);
        } else {
            FFT_LEVEL(FFTInvDirect)(data, static_cast<int>(len), twd, buf, interleaveOut);
        }
    }
#if FFT_LEVEL_HALVING
    static void halving(bool fwd, const VpsFFTSpec_C_32fc* spec, float* data, std::int64_t n, const float* level,
                        float* buf, int top) {
        if (fwd) {
            FFT_LEVEL(FFTFwdHalving)(spec, data, static_cast<int>(n), level, buf, top);
        } else {
            FFT_LEVEL(FFTInvHalving)(spec, data, static_cast<int>(n), level, buf, top);
        }
    }
#endif
};

}  // namespace

void FFT_LEVEL(FFTFwdLarge)(const VpsFFTSpec_C_32fc* pSpec, float* data, int order, float* work) {
    fft_simd::large<LevelKernels, true>(pSpec, data, order, work, FFT_LEVEL_LAYOUT.splitTable);
}
void FFT_LEVEL(FFTInvLarge)(const VpsFFTSpec_C_32fc* pSpec, float* data, int order, float* work) {
    fft_simd::large<LevelKernels, false>(pSpec, data, order, work, FFT_LEVEL_LAYOUT.splitTable);
}
void FFT_LEVEL(FFTFwdRecursive)(const VpsFFTSpec_C_32fc* pSpec, float* data, int order, int depth, float* work) {
    fft_simd::recursive<LevelKernels, true>(pSpec, data, order, depth, work, FFT_LEVEL_LAYOUT.splitTable);
}
void FFT_LEVEL(FFTInvRecursive)(const VpsFFTSpec_C_32fc* pSpec, float* data, int order, int depth, float* work) {
    fft_simd::recursive<LevelKernels, false>(pSpec, data, order, depth, work, FFT_LEVEL_LAYOUT.splitTable);
}

// ------------------------------------------------------------------ small orders

namespace {

// Single precision throughout: every operation rounds, nothing is parked.
struct SingleArith {
    typedef float T;
    static float park(float v) { return v; }
};

}  // namespace

void FFT_LEVEL(FFTFwdOrder3)(const float* pSrc, float* pDst) {
    fft_small::order3<SingleArith, true>(pSrc, pDst, false, 0.0f);
}
void FFT_LEVEL(FFTInvOrder3)(const float* pSrc, float* pDst) {
    fft_small::order3<SingleArith, false>(pSrc, pDst, false, 0.0f);
}
void FFT_LEVEL(FFTFwdOrder3Scaled)(const float* pSrc, float* pDst, float scale) {
    fft_small::order3<SingleArith, true>(pSrc, pDst, true, scale);
}
void FFT_LEVEL(FFTInvOrder3Scaled)(const float* pSrc, float* pDst, float scale) {
    fft_small::order3<SingleArith, false>(pSrc, pDst, true, scale);
}

#ifdef FFT_LEVEL_DEFINES_SHARED_SMALL
void FFTOrder0Scaled_a6(const float* pSrc, float* pDst, float scale) {
    pDst[0] = pSrc[0] * scale;
    pDst[1] = pSrc[1] * scale;
}
void FFTOrder1Scaled_a6(const float* pSrc, float* pDst, float scale) {
    fft_small::order1<SingleArith>(pSrc, pDst, true, scale);
}
#endif

#ifdef FFT_LEVEL_DEFINES_ORDER2
void FFT_LEVEL(FFTFwdOrder2)(const float* pSrc, float* pDst) {
    fft_small::order2<SingleArith, true>(pSrc, pDst, false, 0.0f);
}
void FFT_LEVEL(FFTInvOrder2)(const float* pSrc, float* pDst) {
    fft_small::order2<SingleArith, false>(pSrc, pDst, false, 0.0f);
}
void FFT_LEVEL(FFTFwdOrder2Scaled)(const float* pSrc, float* pDst, float scale) {
    fft_small::order2<SingleArith, true>(pSrc, pDst, true, scale);
}
void FFT_LEVEL(FFTInvOrder2Scaled)(const float* pSrc, float* pDst, float scale) {
    fft_small::order2<SingleArith, false>(pSrc, pDst, true, scale);
}
#endif

const FFTSmallOrderTable FFT_LEVEL(FFTFwdSmallOrderTable) = {
    {FFTOrder0Scaled_a6, FFTOrder1Scaled_a6, FFT_LEVEL_ORDER2(FFTFwdOrder2Scaled), FFT_LEVEL(FFTFwdOrder3Scaled)},
    {FFTOrder0_px, FFTOrder1_px, FFT_LEVEL_ORDER2(FFTFwdOrder2), FFT_LEVEL(FFTFwdOrder3)},
};

const FFTSmallOrderTable FFT_LEVEL(FFTInvSmallOrderTable) = {
    {FFTOrder0Scaled_a6, FFTOrder1Scaled_a6, FFT_LEVEL_ORDER2(FFTInvOrder2Scaled), FFT_LEVEL(FFTInvOrder3Scaled)},
    {FFTOrder0_px, FFTOrder1_px, FFT_LEVEL_ORDER2(FFTInvOrder2), FFT_LEVEL(FFTInvOrder3)},
};

// ------------------------------------------------------------------ entries

namespace {

// Orders 0..3: a small kernel. Up to the fused limit: the fused kernel; at
// the direct limit: permutation and direct kernel; both followed by the scale
// pass. Above: permutation and the large path, which scales on its own.
template <bool Fwd>
VpStatus transform(const float* pSrc, float* pDst, const VpsFFTSpec_C_32fc* spec, Vp8u* pBuffer) {
    if (!spec) return vpStsNullPtrErr;
    if (spec->idCtx != kFFTSpecIdComplex) return vpStsContextMatchErr;
    if (!pSrc || !pDst) return vpStsNullPtrErr;

    const int order = spec->order;
    const bool scaled = (Fwd ? spec->fwdScaleFlag : spec->invScaleFlag) == 1;
    if (order <= 3) {
        const FFTSmallOrderTable& table = Fwd ? FFT_LEVEL(FFTFwdSmallOrderTable) : FFT_LEVEL(FFTInvSmallOrderTable);
        if (scaled) {
            table.scaled[order](pSrc, pDst, spec->normFactor);
        } else {
            table.unscaled[order](pSrc, pDst);
        }
        return vpStsNoErr;
    }

    // Work area: the caller's buffer from its first 16-byte boundary, or an own block.
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
    if (order <= FFT_LEVEL_FUSED_MAX) {
        if (Fwd) {
            FFT_LEVEL(FFTFwdFused)(pSrc, pDst, N, spec->pTwdDirect, spec->pBitRev, work);
        } else {
            FFT_LEVEL(FFTInvFused)(pSrc, pDst, N, spec->pTwdDirect, spec->pBitRev, work);
        }
        if (scaled) FFT_LEVEL(FFTScale)(spec->normFactor, pDst, 2 * N);
    } else {
        if (pSrc == pDst) {
            FFT_LEVEL(FFTBitReverseInPlace)(pDst, N, spec->pBitRev);
        } else {
            FFT_LEVEL(FFTBitReverseCopy)(pSrc, pDst, N, spec->pBitRev);
        }
        if (order <= FFT_LEVEL_LAYOUT_DIRECT_LIMIT) {
            if (Fwd) {
                FFT_LEVEL(FFTFwdDirect)(pDst, N, spec->pTwdDirect, work, 1);
            } else {
                FFT_LEVEL(FFTInvDirect)(pDst, N, spec->pTwdDirect, work, 1);
            }
            if (scaled) FFT_LEVEL(FFTScale)(spec->normFactor, pDst, 2 * N);
        } else if (Fwd) {
            FFT_LEVEL(FFTFwdLarge)(spec, pDst, order, work);
        } else {
            FFT_LEVEL(FFTInvLarge)(spec, pDst, order, work);
        }
    }
    vpsFree(own);
    return vpStsNoErr;
}

}  // namespace

VpStatus FFT_LEVEL(vpsFFTFwd_CToC_32fc)(const float* pSrc, float* pDst, const VpsFFTSpec_C_32fc* pSpec,
                                        Vp8u* pBuffer) {
    return transform<true>(pSrc, pDst, pSpec, pBuffer);
}

VpStatus FFT_LEVEL(vpsFFTInv_CToC_32fc)(const float* pSrc, float* pDst, const VpsFFTSpec_C_32fc* pSpec,
                                        Vp8u* pBuffer) {
    return transform<false>(pSrc, pDst, pSpec, pBuffer);
}
