// Types and small helpers shared by every processor level of the affine warp.
// Level-independent: included by the level files, never by callers outside
// primitives/warp (they use primitives/primitives.h).
#pragma once

#include <climits>
#include <cmath>
#include <cstddef>

#include "primitives/warp/warp.h"

// Inverse map: destination pixel (x, y) samples the source at
// (c0*x + c1*y + c2, c3*x + c4*y + c5), whole-image pixel indices.
struct WarpInverseCoeffs {
    double c0, c1, c2, c3, c4, c5;
};

// Inclusive destination columns to fill in one row; xEnd < xBegin is an empty row.
struct WarpRowSpan {
    int xBegin;
    int xEnd;
};

// Polygon vertex during clipping.
struct WarpPoint {
    double x;
    double y;
};

// A convex quadrangle clipped by four half-planes keeps at most 8 vertices; the
// ninth slot holds the copy of vertex 0 that closes the ring during an edge pass.
constexpr int kWarpPolygonCapacity = 9;

// BuildWarpSpans results.
enum : int {
    kWarpSpansEmpty = 0,       // nothing to write
    kWarpSpansBuilt = 1,       // spans allocated and filled; free with vpsFree
    kWarpSpansAllocFailed = -1 // the span array could not be allocated
};

// One row kernel fills every row span of one call.
//   pSrc      origin of the whole source image (P3/P4: array of plane origins)
//   pDst      start of destination row firstRow (P3/P4: array of plane row starts)
//   srcStep, dstStep  bytes per row, shared by all planes
//   firstRow, lastRow inclusive destination rows; pSpans[i] belongs to row firstRow + i
//   pCoeffs   inverse map
//   srcMaxX, srcMaxY  last column and row of the whole source image
//   pBuffer   cubic scratch row of the SIMD levels (null at px)
typedef void (*WarpRowKernel)(const void* pSrc, void* pDst, int srcStep, int dstStep, int firstRow,
                              int lastRow, const WarpRowSpan* pSpans, const WarpInverseCoeffs* pCoeffs,
                              int srcMaxX, int srcMaxY, void* pBuffer);

#define VP_WARP_ROW_KERNEL_PARAMS                                                                   \
    const void *pSrc, void *pDst, int srcStep, int dstStep, int firstRow, int lastRow,              \
        const WarpRowSpan *pSpans, const WarpInverseCoeffs *pCoeffs, int srcMaxX, int srcMaxY,      \
        void *pBuffer

// Format code: depth in bits 3 and up, layout in bits 0..2.
enum : int { kWarpDepth8u = 0, kWarpDepth32f = 1, kWarpDepth16u = 2 };
enum : int {
    kWarpLayoutC1 = 0,
    kWarpLayoutC3 = 1,
    kWarpLayoutAC4 = 2,
    kWarpLayoutP3 = 3,
    kWarpLayoutC4 = 4,
    kWarpLayoutP4 = 5
};
constexpr int kWarpFormat32fC1 = kWarpDepth32f * 8 + kWarpLayoutC1;

// Every level's WarpKernelTable has 54 entries:
// index = depth*18 + layout*3 + (interpolation >> 1), so NN +0, linear +1, cubic +2.
constexpr int kWarpKernelCount = 54;
constexpr int WarpKernelIndex(int formatCode, int interpolation) {
    return (formatCode >> 3) * 18 + (formatCode & 7) * 3 + (interpolation >> 1);
}

// The eighteen formats in table order. Each level defines its row kernels
// (WarpNN_8u_C1_<level> ... WarpCubic_16u_P4_<level>) and its
// WarpKernelTable_<level> from this list, one row of three entries per format
// (see warp_core_px.cpp), and instantiates WarpAffineCoreT (warp_core.h) with
// its own helpers.
//
//   X(depthName, sampleType, layoutName, formatCode, channelStride, channels, planes)
// channelStride: samples per pixel of an interleaved layout (1 for planar);
// channels: samples interpolated and written per pixel (interleaved) or 1 (planar);
// planes: 0 for interleaved layouts, 3 or 4 for planar ones.
#define VP_WARP_FORMATS(X)              \
    X(8u, Vp8u, C1, 0, 1, 1, 0)         \
    X(8u, Vp8u, C3, 1, 3, 3, 0)         \
    X(8u, Vp8u, AC4, 2, 4, 3, 0)        \
    X(8u, Vp8u, P3, 3, 1, 1, 3)         \
    X(8u, Vp8u, C4, 4, 4, 4, 0)         \
    X(8u, Vp8u, P4, 5, 1, 1, 4)         \
    X(32f, Vp32f, C1, 8, 1, 1, 0)       \
    X(32f, Vp32f, C3, 9, 3, 3, 0)       \
    X(32f, Vp32f, AC4, 10, 4, 3, 0)     \
    X(32f, Vp32f, P3, 11, 1, 1, 3)      \
    X(32f, Vp32f, C4, 12, 4, 4, 0)      \
    X(32f, Vp32f, P4, 13, 1, 1, 4)      \
    X(16u, Vp16u, C1, 16, 1, 1, 0)      \
    X(16u, Vp16u, C3, 17, 3, 3, 0)      \
    X(16u, Vp16u, AC4, 18, 4, 3, 0)     \
    X(16u, Vp16u, P3, 19, 1, 1, 3)      \
    X(16u, Vp16u, C4, 20, 4, 4, 0)      \
    X(16u, Vp16u, P4, 21, 1, 1, 4)

// Number of planes of a planar layout, 0 for pixel-order layouts.
constexpr int WarpLayoutPlanes(int layout) {
    return layout == kWarpLayoutP3 ? 3 : (layout == kWarpLayoutP4 ? 4 : 0);
}

// Samples stored per pixel of a pixel-order layout (1 for planar layouts).
constexpr int WarpLayoutStride(int layout) {
    return layout == kWarpLayoutC3 ? 3 : ((layout == kWarpLayoutAC4 || layout == kWarpLayoutC4) ? 4 : 1);
}

// Bytes per sample of a depth.
constexpr int WarpDepthBytes(int depth) {
    return depth == kWarpDepth8u ? 1 : (depth == kWarpDepth16u ? 2 : 4);
}

// Truncation toward zero into an int. Values outside the int range and NaN give
// INT_MIN, the processor's "integer indefinite", instead of undefined behaviour.
inline int WarpTruncToInt(double v) {
    if (v > -2147483649.0 && v < 2147483648.0) return static_cast<int>(v);
    return INT_MIN;
}

inline int WarpFloorToInt(double v) { return WarpTruncToInt(std::floor(v)); }
inline int WarpCeilToInt(double v) { return WarpTruncToInt(std::ceil(v)); }

// Byte offset of row r, column c of an image whose pixels hold bytesPerPixel bytes.
inline std::ptrdiff_t WarpOffset(int r, int step, int c, int bytesPerPixel) {
    return static_cast<std::ptrdiff_t>(r) * step + static_cast<std::ptrdiff_t>(c) * bytesPerPixel;
}
