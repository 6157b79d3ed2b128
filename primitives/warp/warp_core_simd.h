// The level policy of the a6, w7 and t7 cores: their own quadrangle function
// and kernel table, the px routines for everything that computes in double
// alike at every level, and a cubic scratch row for the cubic kernels.
// Include only from a level file.
#pragma once

#include "primitives/warp/warp_core.h"
#include "primitives/warp/warp_px.h"
#include "primitives/warp/warp_simd.h"

namespace {

template <VpStatus (*Quad)(VpiRect, double[4][2], const double[2][3]), const WarpRowKernel* Table>
struct WarpSimdLevel {
    static VpStatus quad(VpiRect roi, double q[4][2], const double coeffs[2][3]) { return Quad(roi, q, coeffs); }
    static int convexity(const double q[4][2]) { return CheckQuadConvexity_px(q); }
    static void inverse(int x0, int y0, int x1, int y1, const double q[4][2], WarpInverseCoeffs* out,
                        int* orientation, int forward) {
        AffineFromQuad_px(x0, y0, x1, y1, q, out, orientation, forward);
    }
    static int spans(const double q[4][2], int x0, int y0, int x1, int y1, int orientation, WarpRowSpan** out,
                     int* firstRow, int* lastRow) {
        return BuildWarpSpans_px(q, x0, y0, x1, y1, orientation, out, firstRow, lastRow);
    }
    static void smoothEdges(void* pDst, int dstStep, int formatCode, const double q[4][2], int x0, int y0, int x1,
                            int y1, int orientation) {
        WarpSmoothEdgePass_px(pDst, dstStep, formatCode, q, x0, y0, x1, y1, orientation);
    }
    static const WarpRowKernel* table() { return Table; }
    // The cubic kernels keep the source points of a span in a scratch row.
    static constexpr bool kCubicScratch = true;
};

}  // namespace

// Table rows of a level: its nearest and linear kernels and the shared cubic ones.
#define VP_WARP_SIMD_TABLE_ROW(level, depthName, layoutName)                                    \
    &WarpNN_##depthName##_##layoutName##_##level, &WarpLinear_##depthName##_##layoutName##_##level, \
        &WarpCubic_##depthName##_##layoutName##_a6,
