// px quadrangle, convexity test and inverse map of the affine warp, in double
// precision.
#include <cmath>

#include "primitives/warp/warp_px.h"
#include "primitives/warp/warp_quad_body.h"

void AffineQuadCorners_px(const double coeffs[2][3], int x0, int y0, int x1, int y1, double quad[4][2]) {
    warpQuadCorners(coeffs, x0, y0, x1, y1, quad);
}

VpStatus vpiGetAffineQuad_px(VpiRect srcRoi, double quad[4][2], const double coeffs[2][3]) {
    return warpGetAffineQuad(srcRoi, quad, coeffs);
}

int CheckQuadConvexity_px(const double quad[4][2]) {
    double turn[4];
    for (int i = 0; i < 4; ++i) {
        const double* p0 = quad[i];
        const double* p1 = quad[(i + 1) & 3];
        const double* p2 = quad[(i + 2) & 3];
        const double ax = p1[0] - p0[0], ay = p1[1] - p0[1];
        const double bx = p2[0] - p1[0], by = p2[1] - p1[1];
        turn[i] = ax * by - ay * bx;
    }
    for (double t : turn)
        if (t == 0.0 || std::isnan(t)) return -5;
    int positive = 0;
    for (double t : turn) positive += t > 0.0;
    if (positive == 4) return 1;
    if (positive == 0) return 0;
    return -4;
}

void AffineFromQuad_px(int x0, int y0, int x1, int y1, const double quad[4][2], WarpInverseCoeffs* out,
                       int* quadOrientation, int forward) {
    const double p0x = quad[0][0], p0y = quad[0][1];
    const double e1x = quad[1][0] - quad[0][0], e1y = quad[1][1] - quad[0][1];
    const double e2x = quad[2][0] - quad[1][0], e2y = quad[2][1] - quad[1][1];
    const double w = static_cast<double>(x1 - x0);
    const double h = static_cast<double>(y1 - y0);
    const double m = e1x * e2y - e2x * e1y;
    if (!forward) {
        // Solve P0 + ((sx - x0)/W)*E1 + ((sy - y0)/H)*E2 = (x, y) for (sx, sy).
        const double k = 1.0 / m;
        out->c0 = e2y * (w * k);
        out->c1 = -e2x * (w * k);
        out->c2 = (x0 - out->c1 * p0y) - out->c0 * p0x;
        out->c3 = -e1y * (h * k);
        out->c4 = e1x * (h * k);
        out->c5 = (y0 - out->c3 * p0x) - out->c4 * p0y;
        *quadOrientation = k > 0.0 ? 1 : 0;
    } else {
        out->c0 = e1x * (1.0 / w);
        out->c1 = e2x * (1.0 / h);
        out->c2 = (p0x - out->c0 * x0) - out->c1 * y0;
        out->c3 = e1y * (1.0 / w);
        out->c4 = e2y * (1.0 / h);
        out->c5 = (p0y - out->c3 * x0) - out->c4 * y0;
        *quadOrientation = m > 0.0 ? 1 : 0;
    }
}
