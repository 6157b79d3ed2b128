// Warp of 8-bit planes by a motion model.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "registration/registration_core.h"

namespace {

using Image = std::vector<uint8_t>;

Image randomImage(int rows, int columns, unsigned seed) {
    std::mt19937 rng(seed);
    Image im(size_t(rows) * columns);
    for (auto& v : im) v = uint8_t(rng() % 256);
    return im;
}

MotionModel modelOf(int type, std::initializer_list<std::pair<int, double>> coefficients) {
    MotionModel m;
    m.setType(type);
    m.setCentre(0.0, 0.0);
    for (const auto& [k, v] : coefficients) m.c[k] = v;
    return m;
}

TEST(ModelWarp, IdentityReproducesTheSourceExceptTheLastRowAndColumn) {
    const int R = 7, C = 9;
    const Image src = randomImage(R, C, 1);
    ModelWarper warper;
    for (int type : {14, 3, 19, 16}) {
        SCOPED_TRACE(type);
        Image dst(R * C, 77);
        ASSERT_TRUE(warper.warpImageByModel(src.data(), dst.data(), R, C, modelOf(type, {})));
        for (int y = 0; y < R; ++y)
            for (int x = 0; x < C; ++x) {
                const bool last = y == R - 1 || x == C - 1;
                EXPECT_EQ(dst[y * C + x], last ? 0 : src[y * C + x]) << y << "," << x;
            }
    }
}

TEST(ModelWarp, TranslationsByHalfAndWholePixels) {
    const int R = 6, C = 8;
    const Image src = randomImage(R, C, 2);
    ModelWarper warper;
    for (int type : {1, 3}) {
        Image dst(R * C);
        ASSERT_TRUE(warper.warpImageByModel(src.data(), dst.data(), R, C, modelOf(type, {{0, 0.5}})));
        for (int y = 0; y < R; ++y)
            for (int x = 0; x < C; ++x) {
                const int expected = (y == R - 1 || x == 0)
                                         ? 0
                                         : (src[y * C + x - 1] + src[y * C + x]) / 2;
                EXPECT_EQ(dst[y * C + x], expected) << y << "," << x;
            }
    }
    // c0 = 2, c1 = 1: destination (y, x) = source (y - 1, x - 2).
    Image dst(R * C);
    ASSERT_TRUE(warper.warpImageByModel(src.data(), dst.data(), R, C, modelOf(3, {{0, 2.0}, {1, 1.0}})));
    for (int y = 0; y < R; ++y)
        for (int x = 0; x < C; ++x)
            EXPECT_EQ(dst[y * C + x], (x >= 2 && y >= 1) ? src[(y - 1) * C + x - 2] : 0);
}

TEST(ModelWarp, RefusedModelsLeaveTheDestination) {
    const int R = 5, C = 5;
    const Image src = randomImage(R, C, 3);
    ModelWarper warper;
    Image dst(R * C, 9);
    // Singular linear part: message on the standard output.
    testing::internal::CaptureStdout();
    EXPECT_FALSE(warper.warpImageByModel(src.data(), dst.data(), R, C, modelOf(14, {{2, -1.0}})));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nCannot wp im\n");
    // Out of range: silently.
    for (int type : {3, 14, 19}) {
        testing::internal::CaptureStdout();
        EXPECT_FALSE(
            warper.warpImageByModel(src.data(), dst.data(), R, C, modelOf(type, {{0, 10000.5}})));
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    }
    for (uint8_t v : dst) EXPECT_EQ(v, 9);
    // Bad sizes and null planes.
    EXPECT_FALSE(warper.warpImageByModel(src.data(), dst.data(), 0, C, modelOf(14, {})));
    EXPECT_FALSE(warper.warpImageByModel(src.data(), dst.data(), R, -3, modelOf(14, {})));
    EXPECT_FALSE(warper.warpImageByModel(nullptr, dst.data(), R, C, modelOf(14, {})));
    EXPECT_FALSE(warper.warpImageByModel(src.data(), nullptr, R, C, modelOf(19, {})));
}

TEST(ModelWarp, UnknownTypeWarpsAsTheIdentity) {
    const int R = 4, C = 6;
    const Image src = randomImage(R, C, 4);
    ModelWarper warper;
    Image dst(R * C);
    ASSERT_TRUE(warper.warpImageByModel(src.data(), dst.data(), R, C, modelOf(25, {{0, 2.0}, {2, 0.3}})));
    for (int y = 0; y < R - 1; ++y)
        for (int x = 0; x < C - 1; ++x) EXPECT_EQ(dst[y * C + x], src[y * C + x]);
}

TEST(ModelWarp, OneRowOrOneColumnComesOutZero) {
    const Image src(10, 200);
    ModelWarper warper;
    for (int type : {3, 14, 19}) {
        Image row(10, 5), column(10, 5);
        ASSERT_TRUE(warper.warpImageByModel(src.data(), row.data(), 1, 10, modelOf(type, {})));
        ASSERT_TRUE(warper.warpImageByModel(src.data(), column.data(), 10, 1, modelOf(type, {})));
        for (int i = 0; i < 10; ++i) {
            EXPECT_EQ(row[i], 0);
            EXPECT_EQ(column[i], 0);
        }
    }
}

TEST(ModelWarp, OffsetIsSubtractedAndClamped) {
    const int R = 3, C = 3;
    Image src(R * C, 200);
    src[0] = 5;
    ModelWarper warper;
    for (int type : {14, 19}) {
        MotionModel m = modelOf(type, {});
        m.setOffset(1, 10.0);
        Image dst(R * C);
        ASSERT_TRUE(warper.warpImageByModel(src.data(), dst.data(), R, C, m));
        EXPECT_EQ(dst[0], 0);
        EXPECT_EQ(dst[1], 190);
        m.setOffset(0, 10.0);  // not estimated: not subtracted
        ASSERT_TRUE(warper.warpImageByModel(src.data(), dst.data(), R, C, m));
        EXPECT_EQ(dst[1], 200);
    }
}

TEST(ModelWarp, QuadraticSplatDropsAndLeavesHoles) {
    const int R = 8, C = 10;
    // Column 0 moved to X = -0.5 is dropped: only 100s reach the cells.
    Image src(R * C, 100);
    for (int y = 0; y < R; ++y) src[y * C] = 250;
    ModelWarper warper;
    Image dst(R * C, 7);
    ASSERT_TRUE(warper.warpImageByModel(src.data(), dst.data(), R, C, modelOf(19, {{0, -0.5}})));
    for (int y = 0; y < R; ++y)
        for (int x = 0; x < C; ++x) EXPECT_EQ(dst[y * C + x], y == R - 1 ? 0 : 100) << y << "," << x;

    // An enlargement leaves cells that no source pixel reaches at 0.
    std::fill(src.begin(), src.end(), 100);
    ASSERT_TRUE(warper.warpImageByModel(src.data(), dst.data(), R, C,
                                        modelOf(19, {{2, 1.6}, {5, 1.6}})));
    // (Cells reached only by small weights keep truncated, smaller means.)
    int holes = 0, full = 0;
    for (uint8_t v : dst) {
        EXPECT_LE(v, 100);
        if (v == 0) ++holes;
        if (v > 90) ++full;
    }
    EXPECT_GT(holes, 0);
    EXPECT_GT(full, 0);
    EXPECT_EQ(dst[1 * C + 1], 0);  // between the landings of pixels 0 and 1
}

TEST(ModelWarp, SplatRunningMeanSaturatesUnderStrongShrinking) {
    // Shrinking by 20 piles hundreds of source pixels onto one cell: the
    // 16-bit running sum saturates instead of wrapping to negative means.
    const int R = 200, C = 200;
    Image src(R * C, 255);
    ModelWarper warper;
    MotionModel m = modelOf(19, {{2, -0.95}, {5, -0.95}});
    Image dst(R * C, 7);
    ASSERT_TRUE(warper.warpImageByModel(src.data(), dst.data(), R, C, m));
    int reached = 0;
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 9; ++x) {
            EXPECT_GT(dst[y * C + x], 0) << y << "," << x;
            ++reached;
        }
    EXPECT_EQ(reached, 81);
    EXPECT_EQ(dst[50 * C + 50], 0);  // beyond the shrunk image
}

TEST(ModelWarp, NotANumberModelsDoNotCrash) {
    const int R = 6, C = 6;
    const Image src = randomImage(R, C, 5);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    ModelWarper warper;
    for (int type : {14, 19}) {
        Image dst(R * C, 3);
        MotionModel m = modelOf(type, {{0, nan}, {7, nan}});
        testing::internal::CaptureStdout();
        const bool ok = warper.warpImageByModel(src.data(), dst.data(), R, C, m);
        testing::internal::GetCapturedStdout();
        if (ok) {
            for (uint8_t v : dst) EXPECT_EQ(v, 0);
        }
    }
}

TEST(ModelWarp, InPlaceAndAffineAgainstADoubleReference) {
    const int R = 30, C = 40;
    const Image src = randomImage(R, C, 6);
    // 2 degree rotation with a shift.
    const double t = 2.0 * 3.14159265358979 / 180.0;
    MotionModel m = modelOf(14, {{0, 1.5}, {1, -2.25}, {2, std::cos(t) - 1}, {3, -std::sin(t)},
                                 {4, std::sin(t)}, {5, std::cos(t) - 1}});
    ModelWarper warper;
    Image dst(R * C);
    ASSERT_TRUE(warper.warpImageByModel(src.data(), dst.data(), R, C, m));
    for (int y = 0; y < R; ++y)
        for (int x = 0; x < C; ++x) {
            // Inverse of x' = A p + c.
            const double a = 1 + m.c[2], b = m.c[3], d = m.c[4], e = 1 + m.c[5];
            const double det = a * e - b * d;
            const double u = x - m.c[0], v = y - m.c[1];
            const double xs = (e * u - b * v) / det, ys = (-d * u + a * v) / det;
            int expected = 0;
            if (xs >= 0 && ys >= 0 && xs < C - 1 && ys < R - 1) {
                const int ix = int(xs), iy = int(ys);
                const double fx = xs - ix, fy = ys - iy;
                const double top = src[iy * C + ix] * (1 - fx) + src[iy * C + ix + 1] * fx;
                const double bottom =
                    src[(iy + 1) * C + ix] * (1 - fx) + src[(iy + 1) * C + ix + 1] * fx;
                expected = int(top * (1 - fy) + bottom * fy);
            }
            EXPECT_NEAR(dst[y * C + x], expected, 1) << y << "," << x;
        }
    Image same = src;
    ASSERT_TRUE(warper.warpImageByModel(same.data(), same.data(), R, C, m));
    EXPECT_EQ(same, dst);
}

}  // namespace
