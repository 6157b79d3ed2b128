// The destination quadrangle of a source region, written once: every level
// computes the corners in double, so px, w7 and t7 compile this same body with
// their own flags. Include only from a level file; internal linkage.
#pragma once

#include <climits>

#include "primitives/warp/warp.h"

namespace {

// Images of (x0, y0), (x1, y0), (x1, y1), (x0, y1) under the forward map, the
// two products summed first, then the constant.
inline void warpQuadCorners(const double coeffs[2][3], int x0, int y0, int x1, int y1, double quad[4][2]) {
    const int xs[4] = {x0, x1, x1, x0};
    const int ys[4] = {y0, y0, y1, y1};
    for (int i = 0; i < 4; ++i) {
        const double x = xs[i];
        const double y = ys[i];
        quad[i][0] = (coeffs[0][0] * x + coeffs[0][1] * y) + coeffs[0][2];
        quad[i][1] = (coeffs[1][0] * x + coeffs[1][1] * y) + coeffs[1][2];
    }
}

inline VpStatus warpGetAffineQuad(VpiRect srcRoi, double quad[4][2], const double coeffs[2][3]) {
    if (!quad || !coeffs) return vpStsNullPtrErr;
    if (srcRoi.x < 0 || srcRoi.y < 0 || srcRoi.width <= 0 || srcRoi.height <= 0) return vpStsSizeErr;
    // The far corner in 64 bits: a region reaching past INT_MAX has no int corner.
    const long long x1 = static_cast<long long>(srcRoi.x) + srcRoi.width - 1;
    const long long y1 = static_cast<long long>(srcRoi.y) + srcRoi.height - 1;
    if (x1 > INT_MAX || y1 > INT_MAX) return vpStsSizeErr;
    warpQuadCorners(coeffs, srcRoi.x, srcRoi.y, static_cast<int>(x1), static_cast<int>(y1), quad);
    return vpStsNoErr;
}

}  // namespace
