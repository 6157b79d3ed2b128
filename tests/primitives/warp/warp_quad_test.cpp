// Quadrangle of a source region, convexity verdicts and the inverse map.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "primitives/primitives.h"
#include "primitives/warp/warp_px.h"

namespace {

constexpr double kSentinel = -12345.0;

void fillQuad(double quad[4][2], double v) {
    for (int i = 0; i < 4; ++i) quad[i][0] = quad[i][1] = v;
}

TEST(WarpQuad, CornersInOrderUnderScaleAndShift) {
    const double coeffs[2][3] = {{2, 0, 3}, {0, 1, 1}};
    double quad[4][2];
    ASSERT_EQ(vpStsNoErr, vpiGetAffineQuad_px(VpiRect{0, 0, 10, 5}, quad, coeffs));
    const double expected[4][2] = {{3, 1}, {21, 1}, {21, 5}, {3, 5}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(expected[i][0], quad[i][0]) << i;
        EXPECT_EQ(expected[i][1], quad[i][1]) << i;
    }
}

TEST(WarpQuad, OnePixelRegionGivesFourEqualVertices) {
    const double identity[2][3] = {{1, 0, 0}, {0, 1, 0}};
    double quad[4][2];
    fillQuad(quad, kSentinel);
    ASSERT_EQ(vpStsNoErr, vpiGetAffineQuad_px(VpiRect{0, 0, 1, 1}, quad, identity));
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(0.0, quad[i][0]);
        EXPECT_EQ(0.0, quad[i][1]);
    }
}

TEST(WarpQuad, RefusedRegionsLeaveTheQuadrangleUntouched) {
    const double identity[2][3] = {{1, 0, 0}, {0, 1, 0}};
    const VpiRect bad[] = {{-1, 0, 4, 4}, {0, -1, 4, 4}, {0, 0, 0, 4}, {0, 0, 4, 0}, {0, 0, -3, 4},
                           // far corner beyond the int range
                           {2000000000, 0, 2000000000, 4}};
    for (const VpiRect& r : bad) {
        double quad[4][2];
        fillQuad(quad, kSentinel);
        EXPECT_EQ(vpStsSizeErr, vpiGetAffineQuad_px(r, quad, identity)) << r.x << "," << r.y << "," << r.width;
        for (int i = 0; i < 4; ++i) EXPECT_EQ(kSentinel, quad[i][0]);
    }
}

TEST(WarpQuad, NullPointersAreRefused) {
    const double identity[2][3] = {{1, 0, 0}, {0, 1, 0}};
    double quad[4][2];
    fillQuad(quad, kSentinel);
    EXPECT_EQ(vpStsNullPtrErr, vpiGetAffineQuad_px(VpiRect{0, 0, 4, 4}, nullptr, identity));
    EXPECT_EQ(vpStsNullPtrErr, vpiGetAffineQuad_px(VpiRect{0, 0, 4, 4}, quad, nullptr));
    EXPECT_EQ(kSentinel, quad[0][0]);
}

TEST(WarpQuad, ConvexityVerdicts) {
    struct Case {
        const char* name;
        double coeffs[2][3];
        int verdict;
    };
    const double inf = std::numeric_limits<double>::infinity();
    const Case cases[] = {
        {"identity", {{1, 0, 0}, {0, 1, 0}}, 1},
        {"mirror", {{-1, 0, 100}, {0, 1, 0}}, 0},
        {"rotation", {{0.8, -0.6, 5}, {0.6, 0.8, 1}}, 1},
        {"infinite coefficient", {{inf, 0, 0}, {0, 1, 0}}, -5},
    };
    for (const Case& c : cases) {
        double quad[4][2];
        ASSERT_EQ(vpStsNoErr, vpiGetAffineQuad_px(VpiRect{0, 0, 10, 5}, quad, c.coeffs));
        EXPECT_EQ(c.verdict, CheckQuadConvexity_px(quad)) << c.name;
    }
    const double bowTie[4][2] = {{0, 0}, {4, 4}, {4, 0}, {0, 4}};
    EXPECT_EQ(-4, CheckQuadConvexity_px(bowTie));
    const double collinear[4][2] = {{0, 0}, {2, 0}, {4, 0}, {0, 4}};
    EXPECT_EQ(-5, CheckQuadConvexity_px(collinear));
    const double withNaN[4][2] = {{0, 0}, {4, 0}, {4, std::nan("")}, {0, 4}};
    EXPECT_EQ(-5, CheckQuadConvexity_px(withNaN));
}

TEST(WarpQuad, InverseOfTheIdentityHasNegativeZeros) {
    const double identity[2][3] = {{1, 0, 0}, {0, 1, 0}};
    double quad[4][2];
    AffineQuadCorners_px(identity, 2, 3, 9, 7, quad);
    WarpInverseCoeffs c{};
    int orientation = -1;
    AffineFromQuad_px(2, 3, 9, 7, quad, &c, &orientation, 0);
    EXPECT_EQ(1.0, c.c0);
    EXPECT_EQ(0.0, c.c1);
    EXPECT_TRUE(std::signbit(c.c1));
    EXPECT_EQ(0.0, c.c2);
    EXPECT_EQ(0.0, c.c3);
    EXPECT_TRUE(std::signbit(c.c3));
    EXPECT_EQ(1.0, c.c4);
    EXPECT_EQ(0.0, c.c5);
    EXPECT_EQ(1, orientation);
}

TEST(WarpQuad, InverseMapsTheQuadrangleBackOntoTheSourceCorners) {
    const double coeffs[2][3] = {{1.8, -0.35, 12.25}, {0.4, 2.1, -3.5}};
    const int x0 = 5, y0 = 7, x1 = 700, y1 = 570;
    double quad[4][2];
    AffineQuadCorners_px(coeffs, x0, y0, x1, y1, quad);
    WarpInverseCoeffs c{};
    int orientation = -1;
    AffineFromQuad_px(x0, y0, x1, y1, quad, &c, &orientation, 0);
    EXPECT_EQ(1, orientation);
    const int corners[3][2] = {{x0, y0}, {x1, y0}, {x1, y1}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(corners[i][0], c.c0 * quad[i][0] + c.c1 * quad[i][1] + c.c2, 1e-9);
        EXPECT_NEAR(corners[i][1], c.c3 * quad[i][0] + c.c4 * quad[i][1] + c.c5, 1e-9);
    }
    // The forward direction recovers the caller's coefficients.
    WarpInverseCoeffs f{};
    AffineFromQuad_px(x0, y0, x1, y1, quad, &f, &orientation, 1);
    EXPECT_NEAR(coeffs[0][0], f.c0, 1e-12);
    EXPECT_NEAR(coeffs[0][1], f.c1, 1e-12);
    EXPECT_NEAR(coeffs[0][2], f.c2, 1e-9);
    EXPECT_NEAR(coeffs[1][0], f.c3, 1e-12);
    EXPECT_NEAR(coeffs[1][1], f.c4, 1e-12);
    EXPECT_NEAR(coeffs[1][2], f.c5, 1e-9);

    // A mirrored quadrangle turns the other way.
    const double mirror[2][3] = {{-1, 0, 100}, {0, 1, 0}};
    AffineQuadCorners_px(mirror, x0, y0, x1, y1, quad);
    AffineFromQuad_px(x0, y0, x1, y1, quad, &c, &orientation, 0);
    EXPECT_EQ(0, orientation);
}

}  // namespace

namespace {

TEST(WarpQuad, SecondDispatcherRunsThePxFunction) {
    const double coeffs[2][3] = {{2, 0, 3}, {0, 1, 1}};
    double viaDispatcher[4][2], direct[4][2];
    ASSERT_EQ(vpStsNoErr, vpiGetAffineQuad(VpiRect{1, 2, 10, 5}, viaDispatcher, coeffs));
    ASSERT_EQ(vpStsNoErr, vpiGetAffineQuad_px(VpiRect{1, 2, 10, 5}, direct, coeffs));
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(direct[i][0], viaDispatcher[i][0]);
        EXPECT_EQ(direct[i][1], viaDispatcher[i][1]);
    }
    EXPECT_EQ(vpStsSizeErr, vpiGetAffineQuad(VpiRect{0, 0, 0, 5}, viaDispatcher, coeffs));
}

}  // namespace
