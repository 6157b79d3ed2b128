// Supersampling (area-averaging) resize at the px level: the driver's checks and
// sizes, the window arithmetic against a brute-force area average for every
// depth and pixel form, and the guards around regions, sums and allocations.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "primitives/resize/resize.h"
#include "primitives/resize/resize_px.h"
#include "primitives/resize/resize_super_driver.h"
#include "tests/primitives/resize/resize_test_util.h"

namespace {

using resize_test::areaMean;
using resize_test::GuardedDst;
using resize_test::Image;
using resize_test::readElem;
using resize_test::ScopedFailingHeap;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();


int destExtent(double factor, int roi, int dstMax) {
    const int t = static_cast<int>(factor * roi + 1e-7);
    return std::min(dstMax, std::max(t, 1));
}

// ---- statuses ----------------------------------------------------------------------

TEST(ResizeSuperStatus, ChecksInOrderAndWritesNothingOnFailure) {
    struct Case {
        const char* name;
        bool nullSrc, nullDst;
        VpiSize srcSize;
        int srcStep;
        VpiRect roi;
        int dstStep;
        VpiSize dstSize;
        double xf, yf;
        int nChannels, layout, depth;
        VpStatus expected;
    };
    const Case cases[] = {
        {"null source", true, false, {0, 0}, 0, {0, 0, 8, 8}, 32, {4, 4}, 0.5, 0.5, 1, 1, 0, vpStsNullPtrErr},
        {"null destination", false, true, {8, 8}, 8, {0, 0, 8, 8}, 32, {4, 4}, 0.5, 0.5, 1, 1, 0, vpStsNullPtrErr},
        {"source height 0 before step", false, false, {8, 0}, 0, {0, 0, 8, 8}, 32, {4, 4}, 0.5, 0.5, 1, 1, 0,
         vpStsSizeErr},
        {"source step 0", false, false, {8, 8}, 0, {0, 0, 8, 8}, 32, {4, 4}, 0.5, 0.5, 1, 1, 0, vpStsStepErr},
        {"destination step negative", false, false, {8, 8}, 8, {0, 0, 8, 8}, -4, {4, 4}, 0.5, 0.5, 1, 1, 0,
         vpStsStepErr},
        {"region y negative", false, false, {8, 8}, 8, {0, -1, 8, 8}, 32, {4, 4}, 0.5, 0.5, 1, 1, 0, vpStsSizeErr},
        {"destination height 0", false, false, {8, 8}, 8, {8, 0, 8, 8}, 32, {4, 0}, 0.5, 0.5, 1, 1, 0,
         vpStsSizeErr},
        {"region x at width, factor 0", false, false, {8, 8}, 8, {8, 0, 8, 8}, 32, {4, 4}, 0.0, 0.5, 1, 1, 0,
         vpStsNoOperation},
        {"factor 0", false, false, {8, 8}, 8, {0, 0, 8, 8}, 32, {4, 4}, 0.0, 0.5, 1, 1, 0, vpStsResizeFactorErr},
        {"negative factor", false, false, {8, 8}, 8, {0, 0, 8, 8}, 32, {4, 4}, 0.5, -0.5, 1, 1, 0,
         vpStsResizeFactorErr},
        {"NaN factor", false, false, {8, 8}, 8, {0, 0, 8, 8}, 32, {4, 4}, kNaN, 0.5, 1, 1, 0, vpStsResizeFactorErr},
        {"factor above 1", false, false, {8, 8}, 8, {0, 0, 8, 8}, 32, {4, 4}, 0.5, 1.5, 1, 1, 0,
         vpStsResizeFactorErr},
        {"factor before form", false, false, {8, 8}, 8, {0, 0, 8, 8}, 32, {4, 4}, 0.0, 0.5, 1, 1, 7,
         vpStsResizeFactorErr},
        {"unknown depth", false, false, {8, 8}, 8, {0, 0, 8, 8}, 32, {4, 4}, 0.5, 0.5, 1, 1, 3,
         vpStsNotSupportedModeErr},
        {"unknown layout", false, false, {8, 8}, 8, {0, 0, 8, 8}, 32, {4, 4}, 0.5, 0.5, 2, 2, 0,
         vpStsNotSupportedModeErr},
        {"two channels for three", false, false, {8, 8}, 8, {0, 0, 8, 8}, 32, {4, 4}, 0.5, 0.5, 2, 3, 0,
         vpStsNotSupportedModeErr},
        {"valid", false, false, {8, 8}, 8, {0, 0, 8, 8}, 32, {4, 4}, 0.5, 0.5, 1, 1, 0, vpStsNoErr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Vp8u> src(64 * 4, 7);
        GuardedDst<Vp8u> dst(32, 4, 1, 0);
        EXPECT_EQ(ResizeSuperSampling_px(c.nullSrc ? nullptr : src.data(), c.srcSize, c.srcStep, c.roi,
                                         c.nullDst ? nullptr : dst.data(), c.dstStep, c.dstSize, c.xf, c.yf,
                                         c.nChannels, c.layout, c.depth, 0),
                  c.expected);
        if (c.expected != vpStsNoErr) {
            EXPECT_TRUE(dst.untouched());
        }
    }
}

TEST(ResizeSuperStatus, AllocationFailureWritesNothingAndLeaksNothing) {
    Image<Vp32f> src(16, 12, 1);
    resize_test::fillRandom(src, 3, 0.0, 1.0);
    for (double xf : {0.5, 0.3}) {
        ScopedFailingHeap heap(1);
        GuardedDst<Vp32f> dst(8, 6, 1);
        EXPECT_EQ(ResizeSuperSampling_px(src.data(), {16, 12}, src.step, {0, 0, 16, 12}, dst.data(), dst.step, {8, 6},
                                         xf, 0.5, 1, 1, 2, 0),
                  vpStsMemAllocErr);
        EXPECT_TRUE(dst.untouched());
        EXPECT_EQ(resize_test::FailingHeap::live, 0);
    }
    // A successful call makes one allocation and releases it.
    ScopedFailingHeap heap(0);
    GuardedDst<Vp32f> dst(8, 6, 1);
    EXPECT_EQ(ResizeSuperSampling_px(src.data(), {16, 12}, src.step, {0, 0, 16, 12}, dst.data(), dst.step, {8, 6}, 0.5,
                                     0.5, 1, 1, 2, 0),
              vpStsNoErr);
    EXPECT_EQ(resize_test::FailingHeap::requests, 1);
    EXPECT_EQ(resize_test::FailingHeap::live, 0);
}

// The accumulator row reaches trunc((dstWidth + 1) * xRatio) + 1 columns, with
// dstWidth + 1 taken exactly: 2^24 + 1 would become 2^24 in single precision
// and the row would end one column short of the last window.
TEST(ResizeSuperSize, SourceColumnsAreExactBeyondTwoToTheTwentyFour) {
    EXPECT_EQ(superSourceColumns(16777216, 1.5, 1 << 30), 25165826);
    EXPECT_EQ(superSourceColumns(16777218, 2.0, 1 << 30), 33554439);
    EXPECT_EQ(superSourceColumns(3, 2.0, 100), 9);
    EXPECT_EQ(superSourceColumns(49, 2.0, 100), 100);
    EXPECT_EQ(superSourceColumns(33, 3.0, 100), 100);
}

// ---- sizes -------------------------------------------------------------------------

TEST(ResizeSuperSize, DestinationLimitsAndClipping) {
    struct Case {
        int roiWidth;
        double xf;
        int dstMax;
        int expected;
    };
    for (const Case& c : {Case{100, 1.0 / 3.0, 50, 33}, Case{10, 0.25, 5, 2}, Case{10, 0.3, 5, 3},
                          Case{100, 0.5, 20, 20}, Case{7, 0.1, 5, 1}}) {
        SCOPED_TRACE(testing::Message() << c.roiWidth << " x " << c.xf);
        Image<Vp8u> src(c.roiWidth, 2, 1);
        resize_test::fillRandom(src, 1, 0.0, 255.0);
        GuardedDst<Vp8u> dst(c.dstMax, 2, 1);
        ASSERT_EQ(ResizeSuperSampling_px(src.data(), {c.roiWidth, 2}, src.step, {0, 0, c.roiWidth, 2}, dst.data(),
                                         dst.step, {c.dstMax, 2}, c.xf, 1.0, 1, 1, 0, 0),
                  vpStsNoErr);
        EXPECT_TRUE(dst.guardsIntact(c.expected, 2, 1));
        EXPECT_FALSE(dst.guardsIntact(c.expected - 1, 2, 1));
    }
    // A region reaching past the image is clipped without a status; an origin at
    // the width is a warning with nothing written.
    Image<Vp8u> src(10, 4, 1);
    for (int x = 0; x < 10; ++x)
        for (int y = 0; y < 4; ++y) src.at(x, y) = static_cast<Vp8u>(10 * x);
    GuardedDst<Vp8u> dst(10, 2, 1);
    ASSERT_EQ(ResizeSuperSampling_px(src.data(), {10, 4}, src.step, {6, 0, 50, 4}, dst.data(), dst.step, {10, 2}, 0.5,
                                     0.5, 1, 1, 0, 0),
              vpStsNoErr);
    EXPECT_TRUE(dst.guardsIntact(2, 2, 1));
    EXPECT_EQ(dst.at(0, 0), 65);
    EXPECT_EQ(dst.at(1, 1), 85);
    GuardedDst<Vp8u> none(10, 2, 1);
    EXPECT_EQ(ResizeSuperSampling_px(src.data(), {10, 4}, src.step, {10, 0, 5, 4}, none.data(), none.step, {10, 2},
                                     0.5, 0.5, 1, 1, 0, 0),
              vpStsNoOperation);
    EXPECT_TRUE(none.untouched());
}

// ---- worked examples -------------------------------------------------------------

TEST(ResizeSuperValues, TwoByTwoBlocksRoundHalfUp) {
    // Blocks (0,0,0,1), (1,0,1,0), (1,1,1,0) side by side.
    Image<Vp8u> src(6, 2, 1);
    const Vp8u top[6] = {0, 0, 1, 0, 1, 1};
    const Vp8u bottom[6] = {0, 1, 1, 0, 1, 0};
    for (int x = 0; x < 6; ++x) {
        src.at(x, 0) = top[x];
        src.at(x, 1) = bottom[x];
    }
    Vp8u out[3] = {9, 9, 9};
    ASSERT_EQ(ResizeSuperSampling_px(src.data(), {6, 2}, src.step, {0, 0, 6, 2}, out, 3, {3, 1}, 0.5, 0.5, 1, 1, 0, 0),
              vpStsNoErr);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 1);
    EXPECT_EQ(out[2], 1);
}

TEST(ResizeSuperValues, FractionalColumnWeights) {
    // xRatio 1.5: columns weighted (1, 0.5), (0.5, 1), then (1, 0.5) from column 3.
    Image<Vp32f> src(5, 1, 1);
    const float v[5] = {1, 10, 100, 1000, 10000};
    for (int x = 0; x < 5; ++x) src.at(x, 0) = v[x];
    Vp32f out[4] = {-1, -1, -1, -1};
    ASSERT_EQ(ResizeSuperSampling_px(src.data(), {5, 1}, src.step, {0, 0, 5, 1}, out, 16, {4, 1}, 2.0 / 3.0, 1.0, 1,
                                     1, 2, 0),
              vpStsNoErr);
    EXPECT_FLOAT_EQ(out[0], 4.0f);
    EXPECT_FLOAT_EQ(out[1], 70.0f);
    EXPECT_FLOAT_EQ(out[2], 4000.0f);
    EXPECT_EQ(out[3], -1.0f);  // three columns only
}

TEST(ResizeSuperValues, RatiosJustBelowAndAboveAnInteger) {
    // 2/186 gives xRatio 92.99999999999999 and 1/49 gives 49.00000000000001: both
    // fractional, both keep the mean of a constant row.
    for (double xf : {2.0 / 186.0, 1.0 / 49.0}) {
        const int w = xf < 0.015 ? 186 : 98;
        Image<Vp32f> src(w, 3, 1);
        for (int x = 0; x < w; ++x)
            for (int y = 0; y < 3; ++y) src.at(x, y) = 0.7f;
        Vp32f out[3] = {-1, -1, -1};
        ASSERT_EQ(ResizeSuperSampling_px(src.data(), {w, 3}, src.step, {0, 0, w, 3}, out, 12, {3, 1}, xf, 1.0 / 3.0, 1,
                                         1, 2, 0),
                  vpStsNoErr);
        EXPECT_NEAR(out[0], 0.7f, 1e-6);
        EXPECT_NEAR(out[1], 0.7f, 1e-6);
        EXPECT_EQ(out[2], -1.0f);
    }
}

TEST(ResizeSuperValues, SixteenBitMeansSaturateInsteadOfWrapping) {
    // Long float-accumulated windows of 65535 drift upwards in the last bits until
    // the mean passes 65535.5; the stored mean stays at the top of the range.
    for (double yRatio : {512.5, 700.25, 1000.75}) {
        const int h = static_cast<int>(yRatio) + 1;
        Image<Vp16u> src(2, h, 1);
        for (int y = 0; y < h; ++y) {
            src.at(0, y) = 65535;
            src.at(1, y) = 65535;
        }
        Vp16u out[2] = {1, 1};
        ASSERT_EQ(ResizeSuperSampling_px(src.data(), {2, h}, src.step, {0, 0, 2, h}, out, 4, {2, 1}, 1.0, 1.0 / yRatio,
                                         1, 1, 1, 0),
                  vpStsNoErr);
        EXPECT_EQ(out[0], 65535) << yRatio;
        EXPECT_EQ(out[1], 65535) << yRatio;
    }
}

TEST(ResizeSuperValues, WindowsNeverReadPastTheRegion) {
    // The image continues past the region with huge values; exact-size blocks let
    // AddressSanitizer see reads past the image.
    // 1. A factor times the region below 1: the one pixel averages the region.
    {
        Image<Vp32f> src(5, 4, 1);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 5; ++x) src.at(x, y) = x < 3 && y < 2 ? static_cast<float>(x + 1) : 1e30f;
        Vp32f out[2] = {-1, -1};
        ASSERT_EQ(ResizeSuperSampling_px(src.data(), {5, 4}, src.step, {0, 0, 3, 2}, out, 8, {2, 1}, 0.25, 0.1, 1, 1, 2,
                                         0),
                  vpStsNoErr);
        EXPECT_FLOAT_EQ(out[0], 2.0f);
        EXPECT_EQ(out[1], -1.0f);
    }
    // 2. The destination limit's slack lets the last window end just past the
    //    region with a weight above 1e-7: that weight is dropped.
    {
        const int w = 1000;
        Image<Vp32f> src(w + 1, 3, 1);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x <= w; ++x) src.at(x, y) = x < w && y < 2 ? 3.0f : 1e30f;
        const double xf = 0.01 - 9e-11;
        std::vector<Vp32f> out(10, -1.0f);
        ASSERT_EQ(ResizeSuperSampling_px(src.data(), {w + 1, 3}, src.step, {0, 0, w, 2}, out.data(), 40, {10, 1}, xf,
                                         0.5, 1, 1, 2, 0),
                  vpStsNoErr);
        for (float v : out) EXPECT_NEAR(v, 3.0f, 1e-5);
    }
    // 3. The same along rows, with the region at the image's bottom edge.
    {
        const int h = 1000;
        Image<Vp8u> src(2, h, 1);
        for (int y = 0; y < h; ++y) src.at(0, y) = src.at(1, y) = 200;
        std::vector<Vp8u> out(10, 1);
        ASSERT_EQ(ResizeSuperSampling_px(src.data(), {2, h}, src.step, {0, 0, 2, h}, out.data(), 1, {1, 10}, 0.5,
                                         0.01 - 9e-11, 1, 1, 0, 0),
                  vpStsNoErr);
        for (Vp8u v : out) EXPECT_EQ(v, 200);
    }
}

// ---- every depth and pixel form against the brute-force area average ---------------

struct Form {
    int nChannels, layout, planar;
};

TEST(ResizeSuperValues, MatchesBruteForceAreaAverage) {
    const Form forms[] = {{1, 1, 0}, {3, 3, 0}, {4, 4, 0}, {4, 3, 0}, {0, 3, 1}, {0, 4, 1}};
    const double factors[][2] = {{0.5, 0.5},   {1.0 / 3.0, 0.25}, {0.3, 0.5},  {0.5, 0.75}, {0.4, 0.7},
                                 {2.0 / 3.0, 1.0}, {1.0, 1.0},   {0.2, 1.0 / 7.0}, {0.45, 0.35}};
    std::mt19937 rng(99);
    for (int depth = 0; depth < 3; ++depth) {
        const int elem = depth == 0 ? 1 : (depth == 1 ? 2 : 4);
        for (const Form& form : forms) {
            for (const auto& f : factors) {
                SCOPED_TRACE(testing::Message() << "depth " << depth << " form " << form.nChannels << "/"
                                                << form.layout << (form.planar ? " planar" : "") << " factors "
                                                << f[0] << "," << f[1]);
                const int W = 29, H = 23;
                const VpiRect roi{4, 3, 25, 20};  // bottom-right corner of the image
                const int channelsInMemory = form.planar ? 1 : form.nChannels;
                const int pixelBytes = channelsInMemory * elem;
                const int srcStep = W * pixelBytes + 2 * elem;
                const int planes = form.planar ? (form.layout == 3 ? 3 : 4) : 1;
                std::vector<std::vector<unsigned char>> src(planes);
                for (auto& p : src) {
                    p.resize(static_cast<std::size_t>(H - 1) * srcStep + static_cast<std::size_t>(W) * pixelBytes);
                    for (std::size_t k = 0; k < p.size(); k += elem) {
                        if (depth == 0) {
                            p[k] = static_cast<unsigned char>(rng() % 256);
                        } else if (depth == 1) {
                            const Vp16u v = static_cast<Vp16u>(rng() % 65536);
                            std::memcpy(&p[k], &v, 2);
                        } else {
                            const Vp32f v = static_cast<Vp32f>(rng() % 100000) / 100.0f;
                            std::memcpy(&p[k], &v, 4);
                        }
                    }
                }
                const int dw = destExtent(f[0], roi.width, 40), dh = destExtent(f[1], roi.height, 40);
                const int dstStep = (dw + 1) * pixelBytes;
                std::vector<std::vector<unsigned char>> dst(planes);
                for (auto& p : dst) p.assign(static_cast<std::size_t>(dh + 1) * dstStep, 0xA5);
                std::vector<const void*> srcPtrs;
                std::vector<void*> dstPtrs;
                for (int p = 0; p < planes; ++p) {
                    srcPtrs.push_back(src[p].data());
                    dstPtrs.push_back(dst[p].data());
                }
                const void* s = form.planar ? static_cast<const void*>(srcPtrs.data()) : srcPtrs[0];
                void* d = form.planar ? static_cast<void*>(dstPtrs.data()) : dstPtrs[0];
                ASSERT_EQ(ResizeSuperSampling_px(s, {W, H}, srcStep, roi, d, dstStep, {dw + 1, dh + 1}, f[0], f[1],
                                                 form.nChannels, form.layout, depth, form.planar),
                          vpStsNoErr);
                const double xRatio = 1.0 / f[0], yRatio = 1.0 / f[1];
                const int used = form.planar ? 1 : (form.layout == 1 ? 1 : form.layout);
                // Integer sums scaled by an exact power of two round exactly as the reference.
                auto powerOfTwoFactor = [](double v) { return v == 1.0 || v == 0.5 || v == 0.25; };
                const bool exact = depth == 0 && powerOfTwoFactor(f[0]) && powerOfTwoFactor(f[1]);
                for (int p = 0; p < planes; ++p) {
                    const unsigned char* origin =
                        src[p].data() + static_cast<std::ptrdiff_t>(roi.y) * srcStep + roi.x * pixelBytes;
                    for (int i = 0; i <= dh; ++i)
                        for (int j = 0; j <= dw; ++j)
                            for (int c = 0; c < channelsInMemory; ++c) {
                                const unsigned char* out = dst[p].data() + static_cast<std::ptrdiff_t>(i) * dstStep +
                                                           j * pixelBytes + c * elem;
                                if (i == dh || j == dw || c >= used) {
                                    // Outside the destination, or the fourth element of (4, 3).
                                    for (int b = 0; b < elem; ++b) ASSERT_EQ(out[b], 0xA5) << j << "," << i;
                                    continue;
                                }
                                const double mean = areaMean(origin, srcStep, pixelBytes, depth, roi.width, roi.height,
                                                             xRatio, yRatio, i, j, c);
                                const double got = readElem(out, depth);
                                if (depth == 2) {
                                    ASSERT_NEAR(got, mean, 1e-5 * std::max(1.0, std::fabs(mean))) << j << "," << i;
                                } else if (exact) {
                                    ASSERT_EQ(got, std::floor(mean + 0.5)) << j << "," << i;
                                } else {
                                    ASSERT_NEAR(got, std::floor(mean + 0.5), 1.0) << j << "," << i;
                                }
                            }
                }
            }
        }
    }
}

TEST(ResizeSuperValues, EntriesHandOverCodeEight) {
    Image<Vp32f> src(21, 14, 1);
    resize_test::fillRandom(src, 17, -5.0, 5.0);
    std::vector<Vp32f> a(8 * 5, 0.0f), b(8 * 5, 0.0f);
    ASSERT_EQ(vpiResize_32f_C1R_px(src.data(), {21, 14}, src.step, {1, 2, 20, 12}, a.data(), 32, {8, 5}, 0.4, 0.4,
                                   VPI_INTER_SUPER),
              vpStsNoErr);
    ASSERT_EQ(ResizeSuperSampling_px(src.data(), {21, 14}, src.step, {1, 2, 20, 12}, b.data(), 32, {8, 5}, 0.4, 0.4, 1,
                                     1, 2, 0),
              vpStsNoErr);
    EXPECT_EQ(0, std::memcmp(a.data(), b.data(), a.size() * 4));
    // Factor 1.0 on both axes copies the region.
    std::vector<Vp32f> copy(20 * 12, 0.0f);
    ASSERT_EQ(vpiResize_32f_C1R_px(src.data(), {21, 14}, src.step, {1, 2, 20, 12}, copy.data(), 80, {20, 12}, 1.0,
                                   1.0, VPI_INTER_SUPER),
              vpStsNoErr);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 20; ++x) ASSERT_EQ(copy[y * 20 + x], src.at(x + 1, y + 2));
}

}  // namespace
