// Level-independent internals of the one- and two-dimensional FFT: the record
// identifiers, the description of how each processor level lays out its
// tables, the table builders and the creation and release procedures that all
// levels share. Level files (..._px.cpp and later _a6, _w7, _t7) wrap these
// with their own level description and add their kernels.
#pragma once

#include <cstdint>

#include "primitives/fft/fft.h"

constexpr int kFFTSpecIdComplex = 4;
constexpr int kFFTSpecIdReal = 6;
constexpr int kFFTSpecId2D = 25;
constexpr int kFFTMaxOrder = 30;

// Order of the blocks of the blocked path (px and a6) and of the direct
// twiddles it uses.
constexpr int kFFTBlockOrder = 10;

// How a processor level lays out the tables of a one-dimensional record.
struct FFTLevelLayout {
    int directLimit;         // largest order transformed without the large-order paths
    int bitRevListMaxOrder;  // orders 4..this get an FFTBitRevList, above a swap-pair table (0: never)
    bool simdTables;         // direct twiddles and matrices in the split-by-four layout
    bool halvingTwiddles;    // blocked path twiddles: halving levels (a6) instead of a quarter table
    int blockTerm;           // bytes added to bufSize above the direct limit
    const int* splitTable;   // FFTSplitTable of the level, 31 entries indexed by order
};

// Order of the column transforms that cut an order-n transform above the
// level's direct limit (0: no split, the blocked path). Only the rows above
// the level's direct limit are read.
extern const int FFTSplitTable_px[kFFTMaxOrder + 1];
extern const int FFTSplitTable_a6[kFFTMaxOrder + 1];
extern const int FFTSplitTable_w7[kFFTMaxOrder + 1];
extern const int FFTSplitTable_t7[kFFTMaxOrder + 1];

extern const FFTLevelLayout FFTLayout_px;
extern const FFTLevelLayout FFTLayout_a6;
extern const FFTLevelLayout FFTLayout_w7;
extern const FFTLevelLayout FFTLayout_t7;

// A block of `bytes` bytes from vpsMalloc_8u, or null when the size is not
// positive or does not fit the allocator's int length.
void* FFTAllocBytes(std::int64_t bytes);

// True when every table a record of this order needs on the level has a size
// the allocator can represent. Checked before anything is allocated.
bool FFTTablesFit(const FFTLevelLayout& layout, int order);

// Table builders; each returns a new block from vpsMalloc_8u or null. S is an
// FFTSineTable of order sineOrder (at least n).
float* FFTBuildSineTable(int n);
int* FFTBuildSwapPairs(int n);
int* FFTBuildBitRevList(int n);
float* FFTBuildDirectTwiddlesPx(int n, const float* S, int sineOrder);
float* FFTBuildDirectTwiddlesSimd(int n, const float* S, int sineOrder);
float* FFTBuildQuarterTwiddles(int n, const float* S, int sineOrder);
float* FFTBuildHalvingTwiddles(int n, const float* S, int sineOrder);

// w^k, w = exp(-2 pi i / 2^n), read from the sine table by quadrant.
void FFTTwiddleFromSine(const float* S, int sineOrder, int n, std::int64_t k, float* re, float* im);

// The per-level procedures of the one-dimensional record, driven by
// the level's layout.
VpStatus FFTInitAllocFor(const FFTLevelLayout& layout, VpsFFTSpec_C_32fc** ppSpec, int order, int flag,
                         VpHintAlgorithm hint);
VpStatus FFTInitTablesFor(const FFTLevelLayout& layout, VpsFFTSpec_C_32fc* pSpec, int order, const float* pSine,
                          int sineOrder);
VpStatus FFTBuildLargeTablesFor(const FFTLevelLayout& layout, VpsFFTSpec_C_32fc* pSpec, int order,
                                const float* pSine, int sineOrder);
VpStatus FFTBuildSplitTablesFor(const FFTLevelLayout& layout, VpsFFTSpec_C_32fc* pSpec, int order,
                                const float* pSine, int sineOrder, int depth);

// Releases a one-dimensional record in any state of construction (null: nothing).
void destroyFFTSpec(VpsFFTSpec_C_32fc* pSpec);

// The swap-pair permutation shared by the table builders (same results as
// every level's FFTBitReverseInPlace).
void FFTPermuteInPlace(float* pSrcDst, int N, const int* pairs);
// The same permutation from pSrc into a separate pDst (N >= 16).
void FFTPermuteCopy(const float* pSrc, float* pDst, int N, const int* pairs);
