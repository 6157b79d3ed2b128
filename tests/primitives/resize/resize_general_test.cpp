// The resize entries and the general driver at the px level: statuses and their
// order, destination sizes and source positions, region clipping, small-source
// fallbacks, pixel forms, allocation failures and engine-shaped calls.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "primitives/primitives.h"
#include "primitives/resize/resize_internal.h"
#include "primitives/resize/resize_px.h"
#include "tests/primitives/resize/resize_test_util.h"

namespace {

using resize_test::GuardedDst;
using resize_test::Image;
using resize_test::ScopedFailingHeap;
using resize_test::StatusCase;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// ---- statuses ---------------------------------------------------------------------

TEST(ResizeEntryStatus, ChecksInOrderAndWritesNothingOnFailure) {
    const StatusCase cases[] = {
        {.name = "null source", .nullSrc = true, .srcSize = {0, 0}, .expected = vpStsNullPtrErr},
        {.name = "null destination", .nullDst = true, .srcStep = 0, .expected = vpStsNullPtrErr},
        {.name = "source width 0 before step", .srcSize = {0, 6}, .srcStep = 0, .expected = vpStsSizeErr},
        {.name = "source height negative", .srcSize = {8, -1}, .expected = vpStsSizeErr},
        {.name = "source step 0 before region", .srcStep = 0, .roi = {-1, 0, 8, 6}, .expected = vpStsStepErr},
        {.name = "destination step 0", .dstStep = 0, .expected = vpStsStepErr},
        {.name = "region x -1", .roi = {-1, 0, 8, 6}, .expected = vpStsSizeErr},
        {.name = "region height 0", .roi = {0, 0, 8, 0}, .expected = vpStsSizeErr},
        {.name = "destination width 0 before origin test", .roi = {8, 0, 8, 6}, .dstSize = {0, 12},
         .expected = vpStsSizeErr},
        {.name = "region x at width", .roi = {8, 0, 8, 6}, .expected = vpStsNoOperation},
        {.name = "region y beyond height, factor 0", .roi = {0, 9, 8, 6}, .xFactor = 0.0,
         .expected = vpStsNoOperation},
        {.name = "factor 0 before interpolation", .xFactor = 0.0, .interpolation = 3,
         .expected = vpStsResizeFactorErr},
        {.name = "negative factor", .yFactor = -1.0, .expected = vpStsResizeFactorErr},
        {.name = "NaN factor", .xFactor = kNaN, .expected = vpStsResizeFactorErr},
        {.name = "NaN factor with code 8", .xFactor = kNaN, .interpolation = VPI_INTER_SUPER,
         .expected = vpStsResizeFactorErr},
        {.name = "interpolation 3", .interpolation = 3, .expected = vpStsInterpolationErr},
        {.name = "interpolation 0", .interpolation = 0, .expected = vpStsInterpolationErr},
        {.name = "code 8 enlarging", .interpolation = VPI_INTER_SUPER, .expected = vpStsInterpolationErr},
        {.name = "code 8 with one factor above 1", .xFactor = 0.5, .yFactor = 1.5,
         .interpolation = VPI_INTER_SUPER, .expected = vpStsInterpolationErr},
        {.name = "valid cubic", .expected = vpStsNoErr},
    };
    for (const StatusCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Vp32f> src(8 * 6, 1.0f);
        GuardedDst<Vp32f> dst(16, 12, 1);
        const VpStatus s32 = vpiResize_32f_C1R_px(c.nullSrc ? nullptr : src.data(), c.srcSize, c.srcStep, c.roi,
                                                  c.nullDst ? nullptr : dst.data(), c.dstStep, c.dstSize,
                                                  c.xFactor, c.yFactor, c.interpolation);
        EXPECT_EQ(s32, c.expected);
        if (c.expected != vpStsNoErr) {
            EXPECT_TRUE(dst.untouched());
        }
        // The 8u three-channel entry has the same checks (its step of 32 bytes
        // holds 8 pixels of 3 bytes).
        std::vector<Vp8u> src8(32 * 6, 9);
        GuardedDst<Vp8u> dst8(16, 12, 3);
        const VpStatus s8 = vpiResize_8u_C3R_px(c.nullSrc ? nullptr : src8.data(), c.srcSize, c.srcStep, c.roi,
                                                c.nullDst ? nullptr : dst8.data(), c.dstStep, c.dstSize,
                                                c.xFactor, c.yFactor, c.interpolation);
        EXPECT_EQ(s8, c.expected);
        if (c.expected != vpStsNoErr) {
            EXPECT_TRUE(dst8.untouched());
        }
    }
}

TEST(ResizeEntryStatus, DispatchedEntriesReachThePxVariants) {
    Image<Vp32f> src(9, 7, 1);
    resize_test::fillRandom(src, 1, 0.0, 1.0);
    std::vector<Vp32f> a(20 * 15, 0.0f), b(20 * 15, 0.0f);
    ASSERT_EQ(vpiResize_32f_C1R(src.data(), {9, 7}, src.step, {0, 0, 9, 7}, a.data(), 80, {20, 15}, 2.2, 2.1,
                                VPI_INTER_CUBIC),
              vpStsNoErr);
    ASSERT_EQ(vpiResize_32f_C1R_px(src.data(), {9, 7}, src.step, {0, 0, 9, 7}, b.data(), 80, {20, 15}, 2.2, 2.1,
                                   VPI_INTER_CUBIC),
              vpStsNoErr);
    EXPECT_EQ(0, std::memcmp(a.data(), b.data(), a.size() * sizeof(Vp32f)));

    Image<Vp8u> src8(9, 7, 3);
    resize_test::fillRandom(src8, 2, 0.0, 255.0);
    std::vector<Vp8u> c(20 * 3 * 15, 0), d(20 * 3 * 15, 0);
    EXPECT_EQ(vpiResize_8u_C3R(src8.data(), {9, 7}, src8.step, {0, 0, 9, 7}, c.data(), 60, {20, 15}, 2.2, 2.1,
                               VPI_INTER_LINEAR),
              vpStsNoErr);
    EXPECT_EQ(vpiResize_8u_C3R_px(src8.data(), {9, 7}, src8.step, {0, 0, 9, 7}, d.data(), 60, {20, 15}, 2.2, 2.1,
                                  VPI_INTER_LINEAR),
              vpStsNoErr);
    EXPECT_EQ(c, d);
}

TEST(ResizeEntryStatus, CodeEightWithReducingFactorsRunsSupersampling) {
    Image<Vp8u> src(12, 10, 3);
    resize_test::fillRandom(src, 4, 0.0, 255.0);
    std::vector<Vp8u> viaEntry(6 * 3 * 5, 0), viaDriver(6 * 3 * 5, 0);
    EXPECT_EQ(vpiResize_8u_C3R_px(src.data(), {12, 10}, src.step, {0, 0, 12, 10}, viaEntry.data(), 18, {6, 5}, 0.5,
                                  0.5, VPI_INTER_SUPER),
              vpStsNoErr);
    EXPECT_EQ(ResizeSuperSampling_px(src.data(), {12, 10}, src.step, {0, 0, 12, 10}, viaDriver.data(), 18, {6, 5},
                                     0.5, 0.5, 3, 3, 0, 0),
              vpStsNoErr);
    EXPECT_EQ(viaEntry, viaDriver);
    // The 2x2 mean of the top-left block, rounded.
    const int sum = src.at(0, 0) + src.at(1, 0) + src.at(0, 1) + src.at(1, 1);
    EXPECT_EQ(viaEntry[0], static_cast<int>(sum / 4.0 + 0.5));
}

// A byte step that splits 16-bit or float elements would place the second row
// off the element grid: both drivers refuse it as a step error, in the order
// of the step checks (before the region checks), and write nothing.
TEST(ResizeEntryStatus, StepsThatSplitElementsAreRefused) {
    struct Case {
        const char* name;
        int depth;
        int srcStep;
        int dstStep;
        VpiRect roi;
        VpStatus expected;
    };
    const Case cases[] = {
        {"float source step 66", 2, 66, 64, {0, 0, 8, 6}, vpStsStepErr},
        {"float destination step 62", 2, 64, 62, {0, 0, 8, 6}, vpStsStepErr},
        {"float step 65 before region check", 2, 65, 64, {-1, 0, 8, 6}, vpStsStepErr},
        {"16-bit source step 33", 1, 33, 64, {0, 0, 8, 6}, vpStsStepErr},
        {"16-bit destination step 63", 1, 64, 63, {0, 0, 8, 6}, vpStsStepErr},
        {"float steps on the grid", 2, 68, 64, {0, 0, 8, 6}, vpStsNoErr},
        {"16-bit steps on the grid", 1, 34, 64, {0, 0, 8, 6}, vpStsNoErr},
        {"8-bit odd steps", 0, 33, 63, {0, 0, 8, 6}, vpStsNoErr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint32_t> src(6 * 80 / 4 + 1, 0x3F003F00u);
        for (int interpolation : {VPI_INTER_NN, VPI_INTER_LINEAR, VPI_INTER_CUBIC}) {
            GuardedDst<Vp8u> dst(64, 4, 1, 32);
            EXPECT_EQ(ResizeGeneral_px(src.data(), 8, 6, c.srcStep, c.roi.x, c.roi.y, c.roi.width, c.roi.height,
                                       dst.data(), c.dstStep, 4, 3, 0.5, 0.5, 0.0, 0.0, 1, 1, c.depth, 0,
                                       interpolation, 1),
                      c.expected);
            if (c.expected != vpStsNoErr) {
                EXPECT_TRUE(dst.untouched());
            }
        }
        GuardedDst<Vp8u> dst(64, 4, 1, 32);
        EXPECT_EQ(ResizeSuperSampling_px(src.data(), {8, 6}, c.srcStep, c.roi, dst.data(), c.dstStep, {4, 3}, 0.5,
                                         0.5, 1, 1, c.depth, 0),
                  c.expected);
        if (c.expected != vpStsNoErr) {
            EXPECT_TRUE(dst.untouched());
        }
    }
    // The float entry refuses it for every interpolation, supersampling included.
    std::vector<Vp32f> src(8 * 6 + 8, 1.0f);
    for (int interpolation : {VPI_INTER_NN, VPI_INTER_LINEAR, VPI_INTER_CUBIC, VPI_INTER_SUPER}) {
        GuardedDst<Vp32f> dst(4, 3, 1);
        EXPECT_EQ(vpiResize_32f_C1R_px(src.data(), {8, 6}, 34, {0, 0, 8, 6}, dst.data(), dst.step, {4, 3}, 0.5, 0.5,
                                       interpolation),
                  vpStsStepErr);
        EXPECT_TRUE(dst.untouched());
    }
}

// ---- destination sizes and source positions --------------------------------------
// A linear float resize of the ramp v(x) = x returns each destination column's
// source position, so sizes, steps and starts can be read off the result.

Image<Vp32f> rampImage(int w, int h) {
    Image<Vp32f> img(w, h, 1, 8);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) img.at(x, y) = static_cast<float>(x);
    return img;
}

struct SizeCase {
    int roiWidth;
    double xFactor;
    int dstMax;
    int expectedWidth;
    double expectedStep;
};

TEST(ResizeGeneralSize, DestinationWidthAndCornerToCornerStep) {
    const SizeCase cases[] = {
        {100, 0.5, 200, 50, 99.0 / 49.0},
        {100, 1.0 / 3.0, 200, 33, 99.0 / 32.333333333333336},
        {100, 0.5, 20, 20, 99.0 / 49.0},  // a smaller destination gets the left part
        {4, 0.25, 10, 1, 0.0},            // roi * factor <= 1: one column at the region's start
        {10, 2.5, 100, 25, 9.0 / 24.0},
    };
    for (const SizeCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "roi " << c.roiWidth << " factor " << c.xFactor << " dst " << c.dstMax);
        const int srcW = c.roiWidth + 3;
        Image<Vp32f> src = rampImage(srcW, 3);
        GuardedDst<Vp32f> dst(c.dstMax, 2, 1);
        ASSERT_EQ(vpiResize_32f_C1R_px(src.data(), {srcW, 3}, src.step, {2, 0, c.roiWidth, 3}, dst.data(), dst.step,
                                       {c.dstMax, 2}, c.xFactor, 1.0, VPI_INTER_LINEAR),
                  vpStsNoErr);
        EXPECT_TRUE(dst.guardsIntact(c.expectedWidth, 2, 1));
        EXPECT_NE(dst.at(c.expectedWidth - 1, 0), std::bit_cast<float>(0xA5A5A5A5u));
        for (int j = 0; j < c.expectedWidth; ++j) {
            EXPECT_NEAR(dst.at(j, 0), 2.0 + j * c.expectedStep, 1e-4) << "column " << j;
        }
    }
}

TEST(ResizeGeneralSize, RegionIsClippedToTheImage) {
    Image<Vp32f> src = rampImage(10, 4);
    GuardedDst<Vp32f> dst(40, 4, 1);
    // The region reaches 20 columns past the image; it is cut to columns 6..9.
    ASSERT_EQ(vpiResize_32f_C1R_px(src.data(), {10, 4}, src.step, {6, 0, 24, 4}, dst.data(), dst.step, {40, 4}, 2.0,
                                   1.0, VPI_INTER_LINEAR),
              vpStsNoErr);
    EXPECT_TRUE(dst.guardsIntact(8, 4, 1));
    EXPECT_FLOAT_EQ(dst.at(0, 0), 6.0f);
    EXPECT_FLOAT_EQ(dst.at(7, 3), 9.0f);
}

TEST(ResizeGeneralSize, InfiniteFactorKeepsTheCallersExtent) {
    Image<Vp32f> src = rampImage(6, 5);
    for (int interpolation : {VPI_INTER_NN, VPI_INTER_LINEAR, VPI_INTER_CUBIC}) {
        SCOPED_TRACE(interpolation);
        GuardedDst<Vp32f> dst(7, 3, 1);
        ASSERT_EQ(vpiResize_32f_C1R_px(src.data(), {6, 5}, src.step, {2, 1, 3, 3}, dst.data(), dst.step, {7, 3},
                                       kInf, 1.0, interpolation),
                  vpStsNoErr);
        EXPECT_TRUE(dst.guardsIntact(7, 3, 1));
        // Every column samples position 0 of the region: column 2 of the image.
        for (int j = 0; j < 7; ++j) EXPECT_FLOAT_EQ(dst.at(j, 0), 2.0f);
    }
}

// ---- interpolation rules on small known images ------------------------------------

TEST(ResizeGeneralRules, FactorOneLinearCopiesTheRegion) {
    Image<Vp8u> src(20, 15, 3, 4);
    resize_test::fillRandom(src, 5, 0.0, 255.0);
    GuardedDst<Vp8u> dst(9, 7, 3);
    ASSERT_EQ(vpiResize_8u_C3R_px(src.data(), {20, 15}, src.step, {11, 8, 9, 7}, dst.data(), dst.step, {9, 7}, 1.0,
                                  1.0, VPI_INTER_LINEAR),
              vpStsNoErr);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 9; ++x)
            for (int c = 0; c < 3; ++c) ASSERT_EQ(dst.at(x, y, c), src.at(11 + x, 8 + y, c)) << x << "," << y;
    EXPECT_TRUE(dst.guardsIntact(9, 7, 3));
}

TEST(ResizeGeneralRules, NearestNeighbourGridAndOffsets) {
    Image<Vp32f> src = rampImage(12, 2);
    std::vector<Vp32f> dst(24 * 2, -1.0f);
    ASSERT_EQ(ResizeGeneral_px(src.data(), 12, 2, src.step, 0, 0, 12, 2, dst.data(), 24 * 4, 24, 2, 2.0, 1.0, 0.0,
                               0.0, 1, 1, 2, 0, VPI_INTER_NN, 1),
              vpStsNoErr);
    for (int j = 0; j < 24; ++j) EXPECT_EQ(dst[j], static_cast<float>(j / 2));
    // Factor 1.5: start 0.5, corner-to-corner step 11/17; the last column is the region's last.
    std::vector<Vp32f> d15(18 * 2, -1.0f);
    ASSERT_EQ(ResizeGeneral_px(src.data(), 12, 2, src.step, 0, 0, 12, 2, d15.data(), 18 * 4, 18, 2, 1.5, 1.0, 0.0,
                               0.0, 1, 1, 2, 0, VPI_INTER_NN, 1),
              vpStsNoErr);
    double pos = 0.5;
    for (int j = 0; j < 18; ++j) {
        EXPECT_EQ(d15[j], static_cast<float>(static_cast<int>(pos + 1e-7))) << j;
        pos += 11.0 * (1.0 / 17.0);
    }
    EXPECT_EQ(d15[17], 11.0f);
}

TEST(ResizeGeneralRules, LinearRegionStartingOnTheLastRow) {
    Image<Vp8u> src(6, 5, 3);
    resize_test::fillRandom(src, 8, 0.0, 255.0);
    GuardedDst<Vp8u> dst(6, 4, 3);
    ASSERT_EQ(vpiResize_8u_C3R_px(src.data(), {6, 5}, src.step, {0, 4, 6, 1}, dst.data(), dst.step, {6, 4}, 1.0, 4.0,
                                  VPI_INTER_LINEAR),
              vpStsNoErr);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            for (int c = 0; c < 3; ++c) ASSERT_EQ(dst.at(x, y, c), src.at(x, 4, c));
}

TEST(ResizeGeneralRules, CubicReproducesAPlaneAcrossEveryEdgeRule) {
    // The cubic through four samples of a plane is the plane: every destination
    // value is the plane at the destination's source position, which checks the
    // base rows and offsets at the first, second-to-last and last rows and columns.
    const int W = 11, H = 9;
    Image<Vp32f> src(W, H, 1, 4);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) src.at(x, y) = static_cast<float>(x + 100 * y);
    struct Case {
        VpiRect roi;
        double xf, yf;
    };
    for (const Case& c : {Case{{0, 0, W, H}, 2.3, 1.7}, Case{{2, 3, 6, 5}, 3.0, 2.0}, Case{{0, 0, W, H}, 0.6, 0.5},
                          Case{{7, 5, 4, 4}, 1.9, 2.6}}) {
        const int dw = static_cast<int>(c.roi.width * c.xf + 1e-7);
        const int dh = static_cast<int>(c.roi.height * c.yf + 1e-7);
        GuardedDst<Vp32f> dst(dw, dh, 1);
        ASSERT_EQ(vpiResize_32f_C1R_px(src.data(), {W, H}, src.step, c.roi, dst.data(), dst.step, {dw, dh}, c.xf,
                                       c.yf, VPI_INTER_CUBIC),
                  vpStsNoErr);
        const double sx = (c.roi.width - 1.0) / (c.roi.width * c.xf - 1.0);
        const double sy = (c.roi.height - 1.0) / (c.roi.height * c.yf - 1.0);
        for (int i = 0; i < dh; ++i)
            for (int j = 0; j < dw; ++j) {
                const double expected = (c.roi.x + j * sx) + 100.0 * (c.roi.y + i * sy);
                ASSERT_NEAR(dst.at(j, i), expected, 2e-3) << "roi x " << c.roi.x << " at " << j << "," << i;
            }
        EXPECT_TRUE(dst.guardsIntact(dw, dh, 1));
    }
}

TEST(ResizeGeneralRules, SmallSourcesFallBack) {
    std::mt19937 rng(3);
    struct Case {
        int w, h, fallback;
    };
    for (const Case& c : {Case{1, 50, VPI_INTER_NN}, Case{50, 1, VPI_INTER_NN}, Case{3, 50, VPI_INTER_LINEAR},
                          Case{50, 3, VPI_INTER_LINEAR}}) {
        Image<Vp32f> src(c.w, c.h, 1);
        resize_test::fillRandom(src, rng(), 0.0, 100.0);
        const VpiSize dstSize{2 * c.w + 1, 2 * c.h + 1};
        std::vector<Vp32f> cubic(static_cast<std::size_t>(dstSize.width) * dstSize.height, 0.0f), other(cubic);
        ASSERT_EQ(vpiResize_32f_C1R_px(src.data(), {c.w, c.h}, src.step, {0, 0, c.w, c.h}, cubic.data(),
                                       dstSize.width * 4, dstSize, 2.5, 2.5, VPI_INTER_CUBIC),
                  vpStsNoErr);
        ASSERT_EQ(vpiResize_32f_C1R_px(src.data(), {c.w, c.h}, src.step, {0, 0, c.w, c.h}, other.data(),
                                       dstSize.width * 4, dstSize, 2.5, 2.5, c.fallback),
                  vpStsNoErr);
        EXPECT_EQ(0, std::memcmp(cubic.data(), other.data(), cubic.size() * 4)) << c.w << "x" << c.h;
    }
    // A 4x4 source stays cubic: it differs from linear on a curved image.
    Image<Vp32f> s4(4, 4, 1);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) s4.at(x, y) = static_cast<float>(x * x * x + y * y);
    std::vector<Vp32f> cubic(100, 0.0f), linear(100, 0.0f);
    vpiResize_32f_C1R_px(s4.data(), {4, 4}, s4.step, {0, 0, 4, 4}, cubic.data(), 40, {10, 10}, 2.5, 2.5,
                         VPI_INTER_CUBIC);
    vpiResize_32f_C1R_px(s4.data(), {4, 4}, s4.step, {0, 0, 4, 4}, linear.data(), 40, {10, 10}, 2.5, 2.5,
                         VPI_INTER_LINEAR);
    EXPECT_NE(0, std::memcmp(cubic.data(), linear.data(), 400));
    // Cubic at position 0.5 between columns 0..3 of x^3: the cubic through them is exact.
    std::vector<Vp32f> row(7 * 4, 0.0f);
    vpiResize_32f_C1R_px(s4.data(), {4, 4}, s4.step, {0, 0, 4, 4}, row.data(), 28, {7, 4}, 7.0 / 4.0, 1.0,
                         VPI_INTER_CUBIC);
    EXPECT_NEAR(row[1], 0.125, 1e-5);  // position 0.5: 0.5^3
}

// ---- every depth and pixel form inside guarded destinations ----------------------

struct FormCase {
    int nChannels, layout, planar;
};

TEST(ResizeGeneralForms, WritesExactlyTheDestinationPixels) {
    std::mt19937 rng(21);
    const FormCase forms[] = {{1, 1, 0}, {3, 3, 0}, {4, 4, 0}, {4, 3, 0}};
    const double factors[][2] = {{2.5, 1.5}, {0.6, 0.45}, {1.0, 3.0}, {0.3, 1.2}};
    for (int depth = 0; depth < 3; ++depth) {
        const int elem = depth == 0 ? 1 : (depth == 1 ? 2 : 4);
        for (const FormCase& form : forms) {
            for (int interpolation : {VPI_INTER_NN, VPI_INTER_LINEAR, VPI_INTER_CUBIC}) {
                for (const auto& f : factors) {
                    SCOPED_TRACE(testing::Message() << "depth " << depth << " form " << form.nChannels << "/"
                                                    << form.layout << " interp " << interpolation << " f " << f[0]
                                                    << "," << f[1]);
                    const int W = 13, H = 11;
                    // Exact-size source; the region sits at the bottom-right corner.
                    const int srcStep = W * form.nChannels * elem + 3 * elem;
                    std::vector<unsigned char> src(static_cast<std::size_t>(H - 1) * srcStep +
                                                   static_cast<std::size_t>(W) * form.nChannels * elem);
                    for (auto& b : src) b = static_cast<unsigned char>(rng() % 64);
                    const VpiRect roi{5, 4, 8, 7};
                    const int dw = std::max(1, static_cast<int>(roi.width * f[0] + 1e-7));
                    const int dh = std::max(1, static_cast<int>(roi.height * f[1] + 1e-7));
                    const int dstMaxW = dw + 2, dstMaxH = dh + 1;
                    const int dstStep = dstMaxW * form.nChannels * elem + 8 * elem;
                    std::vector<unsigned char> block(static_cast<std::size_t>(dstMaxH) * dstStep + 128, 0xA5);
                    ASSERT_EQ(ResizeGeneral_px(src.data(), W, H, srcStep, roi.x, roi.y, roi.width, roi.height,
                                               block.data() + 64, dstStep, dstMaxW, dstMaxH, f[0], f[1], 0.0, 0.0,
                                               form.nChannels, form.layout, depth, 0, interpolation, 1),
                              vpStsNoErr);
                    // Everything outside the dw x dh pixels (and element 3 of (4, 3) pixels) is intact.
                    const int written = form.layout == 1 ? 1 : form.layout;
                    for (std::size_t i = 0; i < block.size(); ++i) {
                        bool inside = false;
                        if (i >= 64) {
                            const std::size_t rel = i - 64;
                            const std::size_t y = rel / dstStep, inRow = rel % dstStep;
                            const std::size_t pixBytes = static_cast<std::size_t>(form.nChannels) * elem;
                            inside = y < static_cast<std::size_t>(dh) &&
                                     inRow < static_cast<std::size_t>(dw) * pixBytes &&
                                     (inRow % pixBytes) / elem < static_cast<std::size_t>(written);
                        }
                        if (!inside) {
                            ASSERT_EQ(block[i], 0xA5) << "byte " << i;
                        }
                    }
                }
            }
        }
    }
}

TEST(ResizeGeneralForms, PlanarCallsResizeEachPlaneAlike) {
    for (int depth = 0; depth < 3; ++depth) {
        const int elem = depth == 0 ? 1 : (depth == 1 ? 2 : 4);
        for (int interpolation : {VPI_INTER_NN, VPI_INTER_LINEAR, VPI_INTER_CUBIC}) {
            const int W = 10, H = 8, step = W * elem + 2 * elem;
            std::mt19937 rng(depth * 10 + interpolation);
            std::vector<unsigned char> planes[3];
            const void* srcPlanes[3];
            for (int p = 0; p < 3; ++p) {
                planes[p].resize(static_cast<std::size_t>(H) * step);
                for (auto& b : planes[p]) b = static_cast<unsigned char>(rng() % 60);
                srcPlanes[p] = planes[p].data();
            }
            const int dstStep = 20 * elem;
            std::vector<unsigned char> out[3], ref[3];
            void* dstPlanes[3];
            for (int p = 0; p < 3; ++p) {
                out[p].assign(static_cast<std::size_t>(dstStep) * 12, 0);
                ref[p].assign(out[p].size(), 0);
                dstPlanes[p] = out[p].data();
            }
            ASSERT_EQ(ResizeGeneral_px(srcPlanes, W, H, step, 2, 1, 7, 6, dstPlanes, dstStep, 20, 12, 2.2, 1.9, 0.0,
                                       0.0, 0, 3, depth, 1, interpolation, 1),
                      vpStsNoErr);
            for (int p = 0; p < 3; ++p) {
                ASSERT_EQ(ResizeGeneral_px(planes[p].data(), W, H, step, 2, 1, 7, 6, ref[p].data(), dstStep, 20, 12,
                                           2.2, 1.9, 0.0, 0.0, 1, 1, depth, 0, interpolation, 1),
                          vpStsNoErr);
                EXPECT_EQ(out[p], ref[p]) << "depth " << depth << " interp " << interpolation << " plane " << p;
            }
        }
    }
}

TEST(ResizeGeneralForms, ChannelsAreResizedLikeSeparatePlanes) {
    // Every multi-channel kernel applies the one-channel arithmetic to each
    // channel, so each channel of the result equals a one-channel resize of that
    // channel. (The float AC4 cubic pass rounds its factors differently and is
    // left out.)
    std::mt19937 rng(31);
    const FormCase forms[] = {{3, 3, 0}, {4, 4, 0}, {4, 3, 0}};
    for (int depth = 0; depth < 3; ++depth) {
        const int elem = depth == 0 ? 1 : (depth == 1 ? 2 : 4);
        for (const FormCase& form : forms) {
            for (int interpolation : {VPI_INTER_NN, VPI_INTER_LINEAR, VPI_INTER_CUBIC}) {
                if (depth == 2 && interpolation == VPI_INTER_CUBIC && form.nChannels != form.layout) continue;
                SCOPED_TRACE(testing::Message() << "depth " << depth << " form " << form.nChannels << "/"
                                                << form.layout << " interp " << interpolation);
                const int W = 11, H = 9, nc = form.nChannels;
                std::vector<unsigned char> src(static_cast<std::size_t>(W) * H * nc * elem);
                for (std::size_t k = 0; k < src.size(); k += elem) {
                    if (depth == 2) {
                        const float v = static_cast<float>(rng() % 1000) * 0.25f;
                        std::memcpy(&src[k], &v, 4);
                    } else {
                        for (int b = 0; b < elem; ++b) src[k + b] = static_cast<unsigned char>(rng());
                    }
                }
                const int DW = 23, DH = 13;
                std::vector<unsigned char> dst(static_cast<std::size_t>(DW) * DH * nc * elem, 0x3C);
                ASSERT_EQ(ResizeGeneral_px(src.data(), W, H, W * nc * elem, 1, 1, 9, 7, dst.data(), DW * nc * elem, DW,
                                           DH, 2.6, 1.9, 0.0, 0.0, nc, form.layout, depth, 0, interpolation, 1),
                          vpStsNoErr);
                for (int c = 0; c < nc; ++c) {
                    std::vector<unsigned char> plane(static_cast<std::size_t>(W) * H * elem);
                    for (int p = 0; p < W * H; ++p) std::memcpy(&plane[p * elem], &src[(p * nc + c) * elem], elem);
                    std::vector<unsigned char> out(static_cast<std::size_t>(DW) * DH * elem, 0x3C);
                    ASSERT_EQ(ResizeGeneral_px(plane.data(), W, H, W * elem, 1, 1, 9, 7, out.data(), DW * elem, DW, DH,
                                               2.6, 1.9, 0.0, 0.0, 1, 1, depth, 0, interpolation, 1),
                              vpStsNoErr);
                    for (int p = 0; p < DW * DH; ++p) {
                        const unsigned char* got = &dst[(p * nc + c) * elem];
                        if (c < form.layout) {
                            ASSERT_EQ(0, std::memcmp(got, &out[p * elem], elem)) << "channel " << c << " pixel " << p;
                        } else {
                            for (int b = 0; b < elem; ++b) ASSERT_EQ(got[b], 0x3C) << "pixel " << p;
                        }
                    }
                }
            }
        }
    }
}

TEST(ResizeGeneralForms, UnsupportedPixelFormIsRefused) {
    std::vector<Vp8u> src(64, 0), dst(256, 0x5A);
    EXPECT_EQ(ResizeGeneral_px(src.data(), 4, 4, 16, 0, 0, 4, 4, dst.data(), 32, 8, 8, 2.0, 2.0, 0.0, 0.0, 3, 4, 0,
                               0, VPI_INTER_LINEAR, 1),
              vpStsNotSupportedModeErr);
    EXPECT_EQ(ResizeGeneral_px(src.data(), 4, 4, 16, 0, 0, 4, 4, dst.data(), 32, 8, 8, 2.0, 2.0, 0.0, 0.0, 1, 1, 3,
                               0, VPI_INTER_LINEAR, 1),
              vpStsNotSupportedModeErr);
    for (Vp8u b : dst) ASSERT_EQ(b, 0x5A);
}

// ---- allocation failures -------------------------------------------------------

TEST(ResizeGeneralMemory, EveryFailedAllocationReleasesAllAndWritesNothing) {
    struct Case {
        int interpolation;
        int depth;
        int allocations;
    };
    for (const Case& c : {Case{VPI_INTER_CUBIC, 2, 8}, Case{VPI_INTER_CUBIC, 0, 8}, Case{VPI_INTER_LINEAR, 0, 6},
                          Case{VPI_INTER_LINEAR, 2, 6}, Case{VPI_INTER_NN, 2, 2}}) {
        Image<Vp32f> src(9, 9, 1);
        resize_test::fillRandom(src, 2, 0.0, 1.0);
        const int nCh = c.depth == 0 ? 3 : 1;
        const int srcStep = c.depth == 0 ? 27 : src.step;
        const int dstStep = c.depth == 0 ? 60 : 80;
        {
            ScopedFailingHeap heap(0);
            GuardedDst<Vp8u> dst(80, 20, 1, 0);
            ASSERT_EQ(ResizeGeneral_px(src.data(), 9, 9, srcStep, 0, 0, 9, 9, dst.data(), dstStep, 20, 20, 2.0, 2.0,
                                       0.0, 0.0, nCh, nCh, c.depth, 0, c.interpolation, 1),
                      vpStsNoErr);
            EXPECT_EQ(resize_test::FailingHeap::requests, c.allocations);
            EXPECT_EQ(resize_test::FailingHeap::live, 0);
        }
        for (int failOn = 1; failOn <= c.allocations; ++failOn) {
            SCOPED_TRACE(testing::Message() << "interp " << c.interpolation << " depth " << c.depth << " failing "
                                            << failOn);
            ScopedFailingHeap heap(failOn);
            GuardedDst<Vp8u> dst(80, 20, 1, 0);
            EXPECT_EQ(ResizeGeneral_px(src.data(), 9, 9, srcStep, 0, 0, 9, 9, dst.data(), dstStep, 20, 20, 2.0, 2.0,
                                       0.0, 0.0, nCh, nCh, c.depth, 0, c.interpolation, 1),
                      vpStsMemAllocErr);
            EXPECT_TRUE(dst.untouched());
            EXPECT_EQ(resize_test::FailingHeap::live, 0);
        }
    }
}

// ---- engine- and display-shaped calls -------------------------------------------

TEST(ResizeEngineShapes, FloatPlaneToTwoAndAHalfCubic) {
    const int W = 720, H = 576;
    Image<Vp32f> src(W, H, 1);
    auto field = [](double x, double y) { return 0.05 * x + 0.03 * y + 2e-5 * x * y; };
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) src.at(x, y) = static_cast<float>(field(x, y));
    const int DW = 1800, DH = 1440;
    std::vector<Vp32f> dst(static_cast<std::size_t>(DW) * DH, -1.0f);
    ASSERT_EQ(vpiResize_32f_C1R(src.data(), {W, H}, src.step, {0, 0, W, H}, dst.data(), DW * 4, {DW, DH}, 2.5, 2.5,
                                VPI_INTER_CUBIC),
              vpStsNoErr);
    const double sx = (W - 1.0) / (W * 2.5 - 1.0), sy = (H - 1.0) / (H * 2.5 - 1.0);
    for (int i = 0; i < DH; i += 7)
        for (int j = 0; j < DW; j += 5) {
            ASSERT_NEAR(dst[static_cast<std::size_t>(i) * DW + j], field(j * sx, i * sy), 1e-3) << j << "," << i;
        }
    EXPECT_NEAR(dst[0], src.at(0, 0), 1e-5);
    EXPECT_NEAR(dst.back(), src.at(W - 1, H - 1), 1e-3);
}

TEST(ResizeEngineShapes, PictureZoomedLinearAndCubic) {
    const int W = 320, H = 240;
    Image<Vp8u> src(W, H, 3);
    auto field = [](double x, double y, int c) { return 20.0 + 0.3 * x + 0.4 * y + 10.0 * c; };
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            for (int c = 0; c < 3; ++c) src.at(x, y, c) = static_cast<Vp8u>(std::lround(field(x, y, c)));
    for (double z : {0.75, 1.6, 2.5}) {
        const int interpolation = z <= 1.0 ? VPI_INTER_LINEAR : VPI_INTER_CUBIC;
        const int DW = static_cast<int>(W * z), DH = static_cast<int>(H * z);
        const int step = (DW * 3 + 31) / 32 * 32;
        GuardedDst<Vp8u> dst(DW, DH, 3, step - DW * 3);
        ASSERT_EQ(vpiResize_8u_C3R(src.data(), {W, H}, src.step, {0, 0, W, H}, dst.data(), dst.step, {DW, DH}, z, z,
                                   interpolation),
                  vpStsNoErr);
        EXPECT_TRUE(dst.guardsIntact(DW, DH, 3));
        const double sx = (W - 1.0) / (W * z - 1.0), sy = (H - 1.0) / (H * z - 1.0);
        for (int i = 0; i < DH; i += 3)
            for (int j = 0; j < DW; j += 3)
                for (int c = 0; c < 3; ++c) {
                    // Rounded samples of a plane: within one grey level plus rounding.
                    ASSERT_NEAR(dst.at(j, i, c), field(j * sx, i * sy, c), 2.0) << "zoom " << z << " " << j << ","
                                                                                << i;
                }
    }
}

}  // namespace
