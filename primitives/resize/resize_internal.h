// Internal interface of the resize primitives: the kernel signatures shared by
// every processor level, the per-level kernel tables and the codes the drivers
// use. Callers outside primitives/resize include primitives/primitives.h only.
#pragma once

#include "primitives/core/vp_types.h"

// Element type codes of the resize drivers (the warp numbers its depths differently).
enum : int {
    kResizeDepth8u = 0,
    kResizeDepth16u = 1,
    kResizeDepth32f = 2,
};

// The pixel forms both drivers accept: a depth code above, and either planar
// data or one of the (channels, layout) pairs (1, 1), (3, 3), (4, 4), (4, 3).
constexpr bool ResizePixelFormSupported(int nChannels, int layout, int depth, int planar) {
    if (depth < kResizeDepth8u || depth > kResizeDepth32f) return false;
    if (planar) return true;
    return (nChannels == 1 && layout == 1) || (nChannels == 3 && layout == 3) || (nChannels == 4 && layout == 4) ||
           (nChannels == 4 && layout == 3);
}

// Bytes per element of a depth code (a code out of range counts as 8u; the
// drivers refuse it later).
constexpr int ResizeElementSize(int depth) {
    return depth == kResizeDepth16u ? 2 : (depth == kResizeDepth32f ? 4 : 1);
}

// True when both byte steps are whole numbers of elements, so that every row
// of 16-bit or float elements starts on an element boundary.
constexpr bool ResizeStepsFitElements(int srcStep, int dstStep, int depth) {
    const int size = ResizeElementSize(depth);
    return srcStep % size == 0 && dstStep % size == 0;
}

// ---------------------------------------------------------------------------
// Interpolating resize: row-kernel drivers called by ResizeGeneral.
//
// Every kernel writes dstHeight rows of dstWidth pixels at pDst + i*dstStep
// (steps in elements). pSrc is the element at the clipped region's origin;
// rowOffsets[i] (elements) and colOffsets[j] (elements) address the base
// sample of destination row i and column j. The result is dstHeight and is
// not used by the driver.
// ---------------------------------------------------------------------------

// Nearest neighbour: copies the named source pixel.
typedef int (*ResizeNNKernel)(const void* pSrc, void* pDst, int dstStep, int dstWidth, int dstHeight,
                              const int* rowOffsets, const int* colOffsets, int nChannels);

// Linear: rowWeights/colWeights are uint16 Q14 weights for 8u and 16u (colWeights
// as (w0, w1) pairs) and floats for 32f; the two ring rows are 16-bit for 8u and
// 16u and float for 32f.
typedef int (*ResizeLinearKernel)(const void* pSrc, void* pDst, int srcStep, int dstStep, int dstWidth,
                                  int dstHeight, const int* rowOffsets, const int* colOffsets,
                                  const void* rowWeights, const void* colWeights, void* rowBuffer0,
                                  void* rowBuffer1, int nChannels, int layout);

// Cubic: the weights are the float offsets t in [-1, 2] of the position from the
// base row (column); the ring holds four float rows.
typedef int (*ResizeCubicKernel)(const void* pSrc, void* pDst, int srcStep, int dstStep, int dstWidth,
                                 int dstHeight, const int* rowOffsets, const int* colOffsets,
                                 const float* rowWeights, const float* colWeights, float* rowBuffer0,
                                 float* rowBuffer1, float* rowBuffer2, float* rowBuffer3, int nChannels,
                                 int layout);

// One entry of a level's kernel table: exactly one of the three pointers is set,
// the one of the entry's group (0..2 nearest neighbour, 3..4 linear, 5..6 cubic).
struct ResizeKernelEntry {
    ResizeNNKernel nn;
    ResizeLinearKernel linear;
    ResizeCubicKernel cubic;
};

// Index = group * 3 + depth:
//   group 0 NN three channels, 1 NN one channel, 2 NN four channels,
//   3 linear three/four channels, 4 linear one channel,
//   5 cubic three/four channels, 6 cubic one channel.
constexpr int kResizeKernelCount = 21;

// One table per processor level, each defined in that level's file and holding
// only that level's kernels.
extern const ResizeKernelEntry ResizeKernelTable_px[kResizeKernelCount];
extern const ResizeKernelEntry ResizeKernelTable_a6[kResizeKernelCount];
extern const ResizeKernelEntry ResizeKernelTable_w7[kResizeKernelCount];
extern const ResizeKernelEntry ResizeKernelTable_t7[kResizeKernelCount];

// ---------------------------------------------------------------------------
// Supersampling (area-averaging) resize: kernels called by ResizeSuperSampling.
//
// src is the first pixel of the clipped source region (srcColumns x srcRows
// pixels are readable there; nothing beyond is read), dst the first destination
// pixel; steps in bytes. acc is the accumulator row the driver allocated for the
// mode: srcColumns pixels of int32 entries in mode 0 for 8u and 16u, of float
// entries otherwise, with nChannels entries per pixel for three channels,
// 4 for four channels and 1 for one channel. nChannels is the pixel stride of
// the three-channel kernels; the others ignore it.
// ---------------------------------------------------------------------------
typedef void (*ResizeSuperKernel)(const void* src, void* dst, int srcStep, int dstStep, int srcColumns,
                                  int srcRows, int dstWidth, int dstHeight, double xRatio, double yRatio,
                                  double areaScale, int nChannels, int mode, void* acc);

// Index [depth][form]: form 0 one channel, 1 three channels, 2 four channels.
extern const ResizeSuperKernel ResizeSuperKernelTable_px[3][3];
extern const ResizeSuperKernel ResizeSuperKernelTable_a6[3][3];
extern const ResizeSuperKernel ResizeSuperKernelTable_w7[3][3];
extern const ResizeSuperKernel ResizeSuperKernelTable_t7[3][3];
