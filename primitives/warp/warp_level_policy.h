// The level policy of a warp core: the level's quadrangle function and kernel
// table, the px routines for everything that computes in double alike at every
// level (convexity, inversion, spans, smooth edges), and whether the cubic
// kernels keep a span's source points in a scratch row.
#pragma once

#include "primitives/warp/warp_core.h"
#include "primitives/warp/warp_px.h"

template <VpStatus (*Quad)(VpiRect, double[4][2], const double[2][3]), const WarpRowKernel* Table, bool CubicScratch>
struct WarpLevelPolicy {
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
    static constexpr bool kCubicScratch = CubicScratch;
};
