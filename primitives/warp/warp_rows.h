// The walk over the row spans of one row-kernel call, written once for the
// nearest, linear and cubic kernels of every processor level: the kernels give
// only the work of one pixel (or of one whole span). Include this header only
// from a level file; everything in it has internal linkage so that each level
// keeps the code compiled with its own flags.
#pragma once

#include <cstddef>
#include <cstring>
#include <type_traits>

#include "primitives/warp/warp_internal.h"

namespace {

// One sample of type T at p, widened to double.
template <typename T>
inline double warpSampleAt(const unsigned char* p) {
    T v;
    std::memcpy(&v, p, sizeof(T));
    return static_cast<double>(v);
}

// Image origins as bytes, one a plane: Planes of them for a planar layout
// (pImage points at the array of plane origins), else the one origin. Byte is
// const unsigned char for a source, unsigned char for a destination.
template <int Planes, typename Byte>
struct WarpPlanePointers {
    static constexpr int kCount = Planes ? Planes : 1;
    using VoidPtr = std::conditional_t<std::is_const_v<Byte>, const void*, void*>;
    Byte* at[kCount];

    explicit WarpPlanePointers(VoidPtr pImage) {
        if constexpr (Planes) {
            for (int k = 0; k < Planes; ++k) at[k] = static_cast<Byte*>(static_cast<VoidPtr const*>(pImage)[k]);
        } else {
            at[0] = static_cast<Byte*>(pImage);
        }
    }
};

// Calls span(dstRows, span, sx, sy) for every non-empty span of rows firstRow to
// lastRow: dstRows holds the row start of each destination plane (one for a
// pixel-order layout) and (sx, sy) is the source point of the span's first
// column. The row's source point starts at firstRow * (c1, c4) + (c2, c5) and
// advances by (c1, c4) a row; the span's adds xBegin * (c0, c3) to it.
template <int Planes, class SpanWork>
inline void warpWalkSpans(void* pDst, int dstStep, int firstRow, int lastRow, const WarpRowSpan* pSpans,
                          const WarpInverseCoeffs& c, SpanWork&& work) {
    if (lastRow < firstRow) return;
    WarpPlanePointers<Planes, unsigned char> dstRows(pDst);
    double bx = firstRow * c.c1 + c.c2;
    double by = firstRow * c.c4 + c.c5;
    for (int i = 0; i <= lastRow - firstRow; ++i) {
        const WarpRowSpan span = pSpans[i];
        if (span.xEnd >= span.xBegin) work(dstRows.at, span, span.xBegin * c.c0 + bx, span.xBegin * c.c3 + by);
        bx += c.c1;
        by += c.c4;
        for (int k = 0; k < dstRows.kCount; ++k) dstRows.at[k] += dstStep;
    }
}

// Calls pixel(dstRows, x, sx, sy) for every destination column x of the spans,
// its source point (sx, sy) advancing by (c0, c3) a column.
template <int Planes, class PixelWork>
inline void warpWalkPixels(void* pDst, int dstStep, int firstRow, int lastRow, const WarpRowSpan* pSpans,
                           const WarpInverseCoeffs& c, PixelWork&& pixel) {
    warpWalkSpans<Planes>(pDst, dstStep, firstRow, lastRow, pSpans, c,
                          [&](unsigned char* const* dstRows, WarpRowSpan span, double sx, double sy) {
                              for (int x = span.xBegin; x <= span.xEnd; ++x) {
                                  pixel(dstRows, x, sx, sy);
                                  sx += c.c0;
                                  sy += c.c3;
                              }
                          });
}

// The single-precision walk: the coefficients c0, c1, c3 and c4 rounded to
// float once, the first row's base computed in double and rounded to float,
// then every product and sum in float: the row base advances by (c1, c4), the
// span's first point is float(xBegin) * (c0, c3) + base, and the point advances
// by (c0, c3) a column. Calls pixel(dstRows, x, sx, sy) with float points.
template <int Planes, class PixelWork>
inline void warpWalkPixelsSingle(void* pDst, int dstStep, int firstRow, int lastRow, const WarpRowSpan* pSpans,
                                 const WarpInverseCoeffs& c, PixelWork&& pixel) {
    if (lastRow < firstRow) return;
    WarpPlanePointers<Planes, unsigned char> dstRows(pDst);
    const float c0 = static_cast<float>(c.c0), c1 = static_cast<float>(c.c1);
    const float c3 = static_cast<float>(c.c3), c4 = static_cast<float>(c.c4);
    float bx = static_cast<float>(firstRow * c.c1 + c.c2);
    float by = static_cast<float>(firstRow * c.c4 + c.c5);
    for (int i = 0; i <= lastRow - firstRow; ++i) {
        const WarpRowSpan span = pSpans[i];
        if (span.xEnd >= span.xBegin) {
            const float first = static_cast<float>(span.xBegin);
            float sx = first * c0 + bx;
            float sy = first * c3 + by;
            for (int x = span.xBegin; x <= span.xEnd; ++x) {
                pixel(dstRows.at, x, sx, sy);
                sx += c0;
                sy += c3;
            }
        }
        bx += c1;
        by += c4;
        for (int k = 0; k < dstRows.kCount; ++k) dstRows.at[k] += dstStep;
    }
}

}  // namespace
