// The a6, w7 and t7 levels of the one-dimensional FFT: records, entries and
// kernels of each level. Internal to the primitives library (and its tests);
// the program reaches the transforms through the two-dimensional entries.
// Each level's members read only tables built by the same level.
#pragma once

#include "primitives/core/dispatch_variants.h"
#include "primitives/fft/fft.h"
#include "primitives/fft/fft_px.h"

// The members every SIMD level has, by suffix.
#define VP_FFT_SIMD_LEVEL_DECLARATIONS(L)                                                                        \
    VpStatus vpsFFTInitAlloc_C_32fc_##L(VpsFFTSpec_C_32fc** ppSpec, int order, int flag, VpHintAlgorithm hint);  \
    VpStatus vpsFFTFree_C_32fc_##L(VpsFFTSpec_C_32fc* pSpec);                                                    \
    VpStatus vpsFFTFree_R_32f_##L(VpsFFTSpec_R_32f* pSpec);                                                      \
    VpStatus FFTInitTables_##L(VpsFFTSpec_C_32fc* pSpec, int order, const float* pSine, int sineOrder);          \
    VpStatus FFTBuildLargeTables_##L(VpsFFTSpec_C_32fc* pSpec, int order, const float* pSine, int sineOrder);    \
    VpStatus FFTBuildSplitTables_##L(VpsFFTSpec_C_32fc* pSpec, int order, const float* pSine, int sineOrder,     \
                                     int depth);                                                                 \
    float* FFTBuildSineTable_##L(int order);                                                                     \
    int* FFTBuildSwapPairs_##L(int order);                                                                       \
    int* FFTBuildBitRevList_##L(int order);                                                                      \
    float* FFTBuildDirectTwiddles_##L(int order, const float* pSine, int sineOrder);                             \
    VpStatus vpsFFTFwd_CToC_32fc_##L(const float* pSrc, float* pDst, const VpsFFTSpec_C_32fc* pSpec,             \
                                     Vp8u* pBuffer);                                                             \
    VpStatus vpsFFTInv_CToC_32fc_##L(const float* pSrc, float* pDst, const VpsFFTSpec_C_32fc* pSpec,             \
                                     Vp8u* pBuffer);                                                             \
    void FFTScale_##L(float factor, float* pData, int count);                                                    \
    void FFTBitReverseCopy_##L(const float* pSrc, float* pDst, int N, const int* pairs);                         \
    void FFTBitReverseInPlace_##L(float* pSrcDst, int N, const int* pairs);                                      \
    void FFTFwdDirect_##L(float* pSrcDst, int len, const float* pTwd, float* pBuf, int interleaveOut);           \
    void FFTInvDirect_##L(float* pSrcDst, int len, const float* pTwd, float* pBuf, int interleaveOut);           \
    void FFTFwdFused_##L(const float* pSrc, float* pDst, int len, const float* pTwd, const int* pBitRev,         \
                         float* pBuf);                                                                           \
    void FFTInvFused_##L(const float* pSrc, float* pDst, int len, const float* pTwd, const int* pBitRev,         \
                         float* pBuf);                                                                           \
    void FFTFwdLarge_##L(const VpsFFTSpec_C_32fc* pSpec, float* data, int order, float* work);                   \
    void FFTInvLarge_##L(const VpsFFTSpec_C_32fc* pSpec, float* data, int order, float* work);                   \
    void FFTFwdRecursive_##L(const VpsFFTSpec_C_32fc* pSpec, float* data, int order, int depth, float* work);    \
    void FFTInvRecursive_##L(const VpsFFTSpec_C_32fc* pSpec, float* data, int order, int depth, float* work);    \
    void FFTGatherColumns4_##L(const float* data, float* buffer, const float* group, int direction, int C,       \
                               int R);                                                                           \
    void FFTScatterColumns4_##L(float* data, const float* buffer, int C, int R, int top);                        \
    void FFTFwdOrder3_##L(const float* pSrc, float* pDst);                                                       \
    void FFTInvOrder3_##L(const float* pSrc, float* pDst);                                                       \
    void FFTFwdOrder3Scaled_##L(const float* pSrc, float* pDst, float scale);                                    \
    void FFTInvOrder3Scaled_##L(const float* pSrc, float* pDst, float scale);                                    \
    extern const FFTSmallOrderTable FFTFwdSmallOrderTable_##L;                                                   \
    extern const FFTSmallOrderTable FFTInvSmallOrderTable_##L;                                                   \
    void destroyFFTSpec2D_##L(VpiFFTSpec_C_32fc* pSpec);

VP_FFT_SIMD_LEVEL_DECLARATIONS(a6)
VP_FFT_SIMD_LEVEL_DECLARATIONS(w7)
VP_FFT_SIMD_LEVEL_DECLARATIONS(t7)

// Buffer-size query of w7 and t7 (a6 shares vpsFFTGetBufSize_C_32fc_px).
VpStatus vpsFFTGetBufSize_C_32fc_w7(const VpsFFTSpec_C_32fc* pSpec, int* pSize);

// Small-order members shared between SIMD levels: order 0 and 1 scaled (a6
// serves a6, w7, t7), order 2 (a6; w7 also serves t7).
void FFTOrder0Scaled_a6(const float* pSrc, float* pDst, float scale);
void FFTOrder1Scaled_a6(const float* pSrc, float* pDst, float scale);
void FFTFwdOrder2_a6(const float* pSrc, float* pDst);
void FFTInvOrder2_a6(const float* pSrc, float* pDst);
void FFTFwdOrder2Scaled_a6(const float* pSrc, float* pDst, float scale);
void FFTInvOrder2Scaled_a6(const float* pSrc, float* pDst, float scale);
void FFTFwdOrder2_w7(const float* pSrc, float* pDst);
void FFTInvOrder2_w7(const float* pSrc, float* pDst);
void FFTFwdOrder2Scaled_w7(const float* pSrc, float* pDst, float scale);
void FFTInvOrder2Scaled_w7(const float* pSrc, float* pDst, float scale);

// a6 blocked path: the halving recursion over FFTHalvingTwiddles levels and
// its one-level merge; the blocked path itself runs it with top = 1.
void FFTFwdHalving_a6(const VpsFFTSpec_C_32fc* pSpec, float* data, int n, const float* level, float* work, int top);
void FFTInvHalving_a6(const VpsFFTSpec_C_32fc* pSpec, float* data, int n, const float* level, float* work, int top);
void FFTFwdMergeHalves_a6(float* data, int n, const float* level, int top);
void FFTInvMergeHalves_a6(float* data, int n, const float* level, int top);
void FFTFwdBlocked_a6(const VpsFFTSpec_C_32fc* pSpec, float* data, int N, float* work);
void FFTInvBlocked_a6(const VpsFFTSpec_C_32fc* pSpec, float* data, int N, float* work);
float* FFTBuildHalvingTwiddles_a6(int order, const float* pSine, int sineOrder);
