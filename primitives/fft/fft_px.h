// The px level of the one-dimensional FFT: its entries, its kernels and its
// small-order tables. Internal to the primitives library (and its tests); the
// program reaches the transforms through the two-dimensional entries.
#pragma once

#include <cstdint>

#include "primitives/core/dispatch_variants.h"
#include "primitives/fft/fft.h"

// One-dimensional record (px; the buffer-size query also serves a6).
VpStatus vpsFFTInitAlloc_C_32fc_px(VpsFFTSpec_C_32fc** ppSpec, int order, int flag, VpHintAlgorithm hint);
VpStatus vpsFFTGetBufSize_C_32fc_px(const VpsFFTSpec_C_32fc* pSpec, int* pSize);
VpStatus vpsFFTFree_C_32fc_px(VpsFFTSpec_C_32fc* pSpec);
VpStatus vpsFFTFree_R_32f_px(VpsFFTSpec_R_32f* pSpec);
VpStatus FFTInitTables_px(VpsFFTSpec_C_32fc* pSpec, int order, const float* pSine, int sineOrder);
VpStatus FFTBuildLargeTables_px(VpsFFTSpec_C_32fc* pSpec, int order, const float* pSine, int sineOrder);
VpStatus FFTBuildSplitTables_px(VpsFFTSpec_C_32fc* pSpec, int order, const float* pSine, int sineOrder, int depth);
float* FFTBuildSineTable_px(int order);
int* FFTBuildSwapPairs_px(int order);
float* FFTBuildDirectTwiddles_px(int order, const float* pSine, int sineOrder);
float* FFTBuildQuarterTwiddles_px(int order, const float* pSine, int sineOrder);

// One-dimensional transforms: pSrc and pDst hold 2^order interleaved complex
// values; pDst may equal pSrc; pBuffer is null or holds bufSize bytes.
VpStatus vpsFFTFwd_CToC_32fc_px(const float* pSrc, float* pDst, const VpsFFTSpec_C_32fc* pSpec, Vp8u* pBuffer);
VpStatus vpsFFTInv_CToC_32fc_px(const float* pSrc, float* pDst, const VpsFFTSpec_C_32fc* pSpec, Vp8u* pBuffer);

// Rounds a wide intermediate value to single precision and widens it again.
// The float passes through memory: GCC 12's basic-block vectorizer at -O2
// drops a float truncation followed by a widening when it pairs two of them
// (re and im), which would silently skip the rounding.
inline double FFTRoundToSingle_px(double v) {
    volatile float f = static_cast<float>(v);
    return f;
}

// Scale pass: pData[i] *= factor for count floats.
void FFTScale_px(float factor, float* pData, int count);

// Bit-reversed order through a swap-pair table (N complex values).
void FFTBitReverseCopy_px(const float* pSrc, float* pDst, int N, const int* pairs);
void FFTBitReverseInPlace_px(float* pSrcDst, int N, const int* pairs);

// Direct radix transforms of len = 4..1024 values in bit-reversed order, in
// place, with the px direct twiddles built for len. No scaling.
void FFTFwdDirect_px(float* pSrcDst, int len, const float* pTwd);
void FFTInvDirect_px(float* pSrcDst, int len, const float* pTwd);

// Large orders (above 10): data in bit-reversed order on entry, natural order
// on return, scaled by normFactor when the direction's flag is set. `work` is
// the 16-byte aligned work area of bufSize bytes.
void FFTFwdLarge_px(const VpsFFTSpec_C_32fc* pSpec, float* data, int order, float* work);
void FFTInvLarge_px(const VpsFFTSpec_C_32fc* pSpec, float* data, int order, float* work);
void FFTFwdRecursive_px(const VpsFFTSpec_C_32fc* pSpec, float* data, int order, int depth, float* work);
void FFTInvRecursive_px(const VpsFFTSpec_C_32fc* pSpec, float* data, int order, int depth, float* work);
void FFTFwdBlocked_px(const VpsFFTSpec_C_32fc* pSpec, float* data, int N, float* work);
void FFTInvBlocked_px(const VpsFFTSpec_C_32fc* pSpec, float* data, int N, float* work);
// The large-order paths with another split table (the record's tables built
// for that table); lets the decompositions of every depth be checked on
// orders small enough for a test.
void FFTLargeWithSplitTable_px(const VpsFFTSpec_C_32fc* pSpec, float* data, int order, float* work, bool forward,
                               const int* splitTable);
// Merges transformed blocks of blockLen points pairwise into one transform of
// n points (direction: above 0 forward, else inverse); slice in floats.
void FFTCombinePass_px(float* data, int n, int blockLen, const float* pQuarter, int direction, int slice);

// Small-order kernels (1, 2, 4, 8 points); pDst may equal pSrc.
typedef void (*FFTSmallKernel)(const float* pSrc, float* pDst);
typedef void (*FFTSmallScaledKernel)(const float* pSrc, float* pDst, float scale);

// Eight entries: the scaled kernels of orders 0..3, then the unscaled ones.
struct FFTSmallOrderTable {
    FFTSmallScaledKernel scaled[4];
    FFTSmallKernel unscaled[4];
};

void FFTOrder0_px(const float* pSrc, float* pDst);
void FFTOrder0Scaled_px(const float* pSrc, float* pDst, float scale);
void FFTOrder1_px(const float* pSrc, float* pDst);
void FFTOrder1Scaled_px(const float* pSrc, float* pDst, float scale);
void FFTFwdOrder2_px(const float* pSrc, float* pDst);
void FFTInvOrder2_px(const float* pSrc, float* pDst);
void FFTFwdOrder2Scaled_px(const float* pSrc, float* pDst, float scale);
void FFTInvOrder2Scaled_px(const float* pSrc, float* pDst, float scale);
void FFTFwdOrder3_px(const float* pSrc, float* pDst);
void FFTInvOrder3_px(const float* pSrc, float* pDst);
void FFTFwdOrder3Scaled_px(const float* pSrc, float* pDst, float scale);
void FFTInvOrder3Scaled_px(const float* pSrc, float* pDst, float scale);

extern const FFTSmallOrderTable FFTFwdSmallOrderTable_px;
extern const FFTSmallOrderTable FFTInvSmallOrderTable_px;

// Two-dimensional passes of the px level over several transforms side by
// side (fft_batch_px.cpp), with the same results as one transform at a time.
// FFTBatchHandles_px: both orders 4..kFFTBatchMaxOrder and room for the
// column blocks (on the stack up to 128 points, else in the work area of
// workFloats floats). FFT2DBatched_px: the row pass from pSrc to pDst, then
// the column pass over pDst; pWork is the 16-byte aligned work area.
constexpr int kFFTBatchMaxOrder = 10;
bool FFTBatchHandles_px(int orderX, int orderY, std::int64_t workFloats);
VpStatus FFT2DBatched_px(bool forward, const float* pSrc, int srcStep, float* pDst, int dstStep,
                         const VpsFFTSpec_C_32fc* pRowSpec, const VpsFFTSpec_C_32fc* pColSpec, float* pWork,
                         std::int64_t workFloats);

// Two-dimensional px release routine. The dispatched entries' variants
// (vpiFFTInitAlloc_C_32fc_px and the others) are declared from the dispatch
// list in dispatch_variants.h.
void destroyFFTSpec2D_px(VpiFFTSpec_C_32fc* pSpec);
