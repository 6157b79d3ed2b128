// Gaussian pyramid: kernel, smoothing, reduction, derivatives, level chains.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "registration/registration_core.h"
#include "tests/registration/test_support.h"

namespace {

using regtest::CountingHeap;
using regtest::Plane16;
using regtest::PlaneF;

TEST(GaussianKernel, TapsAndBorderMassesForVarianceOne) {
    GaussianKernelCache cache;
    ASSERT_TRUE(buildGaussianKernel(cache, 1.0));
    ASSERT_EQ(cache.tapCount, 5);
    ASSERT_EQ(cache.halfWidth, 2);
    const double taps[5] = {0.054488684549642945, 0.24420134200323335, 0.40261994689424746,
                            0.24420134200323335, 0.054488684549642945};
    for (int i = 0; i < 5; ++i) EXPECT_DOUBLE_EQ(cache.taps[i], taps[i]) << i;
    EXPECT_DOUBLE_EQ(cache.borderMass[0], 0.7013099734471238);
    EXPECT_DOUBLE_EQ(cache.borderMass[1], 0.9455113154503572);
    releaseKernelCache();
    std::free(cache.taps);  // a local cache owns its arrays
    std::free(cache.borderMass);
}

TEST(GaussianKernel, TapCountFollowsTheVariance) {
    // h is the largest j with j^2 < 2 v ln 20.
    const struct {
        double variance;
        int taps;
    } cases[] = {{0.2, 3}, {0.6, 3}, {0.67, 5}, {1.0, 5}, {1.51, 7}, {2.6, 7}, {2.7, 9}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.variance);
        ASSERT_TRUE(buildGaussianKernel(gaussianKernelCache(), c.variance));
        ASSERT_EQ(gaussianKernelCache().tapCount, c.taps);
        double sum = 0.0;
        for (int i = 0; i < c.taps; ++i) sum += gaussianKernelCache().taps[i];
        EXPECT_NEAR(sum, 1.0, 1e-15);
    }
    releaseKernelCache();
    EXPECT_FALSE(gaussianKernelCacheFilled());
    EXPECT_EQ(gaussianKernelCache().taps, nullptr);
}

TEST(GaussianKernel, RefusesVariancesWithoutAKernel) {
    // Zero, negative, NaN and infinite variances, and one so small that no
    // tap beside the centre remains, are refused (no kernel, no cache).
    for (double v : {0.0, -1.0, std::numeric_limits<double>::quiet_NaN(),
                     std::numeric_limits<double>::infinity(), 1e-3, 0.1}) {
        SCOPED_TRACE(v);
        EXPECT_FALSE(buildGaussianKernel(gaussianKernelCache(), v));
        EXPECT_FALSE(gaussianKernelCacheFilled());
        Plane16 level(8, 8, 50);
        EXPECT_FALSE(gaussianSmooth(level, level, v));
    }
    // More than 7 taps is not a smoothing kernel the pyramid uses.
    Plane16 level(8, 8, 50);
    EXPECT_FALSE(gaussianSmooth(level, level, 4.0));
    releaseKernelCache();
}

TEST(LevelChains, SizesAndEnds) {
    LevelImage chain[kMaxPyramidLevels];
    int n = 3;
    ASSERT_TRUE(allocateLevels16(chain, 16, 16, n));
    EXPECT_EQ(n, 3);
    const int sides[4] = {16, 8, 4, 2};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(chain[i].rows, sides[i]);
        EXPECT_EQ(chain[i].columns, sides[i]);
        EXPECT_EQ(chain[i].s16()[chain[i].rows * chain[i].columns - 1], 0);
    }
    freeLevels(chain, n + 1);
    EXPECT_EQ(chain[0].data, nullptr);

    n = 3;
    ASSERT_TRUE(allocateLevels32f(chain, 6, 100, n));
    EXPECT_EQ(n, 1);  // 6x100, 3x50; the next would have 1 row
    EXPECT_EQ(chain[1].rows, 3);
    EXPECT_EQ(chain[1].columns, 50);
    freeLevels(chain, n + 1);

    n = 2;
    EXPECT_FALSE(allocateLevels16(chain, 1, 100, n));
    EXPECT_EQ(n, -1);
    n = -1;
    EXPECT_FALSE(allocateLevels16(chain, 10, 10, n));
    n = kMaxPyramidLevels;  // one past the chain
    EXPECT_FALSE(allocateLevels16(chain, 4096, 4096, n));
}

TEST(ImagePyramidRecord, AllocationStatusesAndLogLines) {
    ImagePyramid p;
    EXPECT_EQ(p.levelCount(), 0);
    int out = 99;
    EXPECT_EQ(p.levelRows(out, 0), -1);
    EXPECT_EQ(out, 0);

    uint8_t bytes[64] = {};
    testing::internal::CaptureStderr();
    EXPECT_EQ(p.build(bytes), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "CMBui\n");

    testing::internal::CaptureStderr();
    EXPECT_EQ(p.allocate(16, 16, 10), -3);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "CMall 10 \n\n");

    EXPECT_EQ(p.allocate(16, 16, 0), -5);
    EXPECT_EQ(p.allocate(1, 16, 2), -5);
    EXPECT_EQ(p.allocated, 0);

    ASSERT_EQ(p.allocate(16, 16, 4), 0);
    EXPECT_EQ(p.levelCount(), 4);
    void* first = p.smoothed[0].data;
    testing::internal::CaptureStderr();
    EXPECT_EQ(p.allocate(32, 32, 4), -4);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "CMall\n\n");
    EXPECT_EQ(p.smoothed[0].data, first);
    EXPECT_EQ(p.rows, 16);

    EXPECT_EQ(p.levelRows(out, 3), 0);
    EXPECT_EQ(out, 2);
    EXPECT_EQ(p.levelColumns(out, 2), 0);
    EXPECT_EQ(out, 4);
    EXPECT_EQ(p.levelRows(out, 4), -2);
    EXPECT_EQ(out, 0);

    p.release();
    EXPECT_EQ(p.allocated, 0);
    EXPECT_EQ(p.levelCount(), 0);
    EXPECT_EQ(p.allocate(6, 100, 4), 0);
    EXPECT_EQ(p.levelCount(), 2);  // the size runs out
}

TEST(ImagePyramidBuild, ConstantFrameStaysConstantWithZeroDerivatives) {
    // Odd sizes: each level drops the last row or column.
    ImagePyramid p;
    ASSERT_EQ(p.allocate(37, 23, 4), 0);
    std::vector<uint8_t> frame(37 * 23, 100);
    ASSERT_EQ(p.build(frame.data()), 0);
    ASSERT_EQ(p.levelCount(), 4);
    const int rows[4] = {37, 18, 9, 4}, columns[4] = {23, 11, 5, 2};
    for (int L = 0; L < 4; ++L) {
        SCOPED_TRACE(L);
        ASSERT_EQ(p.smoothed[L].rows, rows[L]);
        ASSERT_EQ(p.smoothed[L].columns, columns[L]);
        const int n = rows[L] * columns[L];
        for (int i = 0; i < n; ++i) {
            ASSERT_EQ(p.smoothed[L].s16()[i], 100) << i;
            ASSERT_EQ(p.gradientX[L].f32()[i], 0.0f);
            ASSERT_EQ(p.gradientY[L].f32()[i], 0.0f);
        }
    }
}

// Smoothing and reduction against sums written out in double precision.
TEST(ImagePyramidBuild, SmoothingAndReductionMatchDirectSums) {
    const int R = 21, C = 26;
    std::mt19937 rng(3);
    Plane16 src(R, C);
    for (auto& v : src.samples) v = int16_t(rng() % 256);
    Plane16 smooth(R, C);
    ASSERT_TRUE(gaussianSmooth(src, smooth, 1.0));
    const double t[5] = {0.054488684549642945, 0.24420134200323335, 0.40261994689424746,
                         0.24420134200323335, 0.054488684549642945};
    auto normalised1d = [](const double* taps, int h, int n, int i, auto value) {
        double sum = 0.0, mass = 0.0;
        for (int k = -h; k <= h; ++k)
            if (i + k >= 0 && i + k < n) {
                sum += taps[k + h] * value(i + k);
                mass += taps[k + h];
            }
        return sum / mass;
    };
    std::vector<double> rowsPass(R * C);
    for (int y = 0; y < R; ++y)
        for (int x = 0; x < C; ++x)
            rowsPass[y * C + x] =
                normalised1d(t, 2, C, x, [&](int k) { return double(src.at(y, k)); });
    for (int y = 0; y < R; ++y)
        for (int x = 0; x < C; ++x) {
            const double v = normalised1d(t, 2, R, y, [&](int k) { return rowsPass[k * C + x]; });
            ASSERT_NEAR(smooth.at(y, x), std::floor(v + 0.5), 1.0) << y << "," << x;
        }

    Plane16 half(R / 2, C / 2);
    ASSERT_TRUE(reduceLevel(smooth, half, 0.4));
    const double g[5] = {0.05, 0.25, 0.4, 0.25, 0.05};
    for (int y = 0; y < R / 2; ++y)
        for (int x = 0; x < C / 2; ++x) {
            auto row = [&](int r) {
                return normalised1d(g, 2, C, 2 * x, [&](int k) { return double(smooth.at(r, k)); });
            };
            const double v = normalised1d(g, 2, R, 2 * y, row);
            ASSERT_NEAR(half.at(y, x), std::floor(v + 0.5), 1.0) << y << "," << x;
        }
    // a = 0 means the Burt-Adelson 0.4.
    Plane16 again(R / 2, C / 2);
    ASSERT_TRUE(reduceLevel(smooth, again, 0.0));
    EXPECT_EQ(again.samples, half.samples);
    Plane16 wrongSize(R / 2 + 1, C / 2);
    EXPECT_FALSE(reduceLevel(smooth, wrongSize, 0.4));
    releaseKernelCache();
}

TEST(Derivatives, RampsGiveUnitSlopeInsideTheBorder) {
    const int R = 9, C = 12;
    Plane16 rampX(R, C), rampY(R, C);
    for (int y = 0; y < R; ++y)
        for (int x = 0; x < C; ++x) {
            rampX.at(y, x) = int16_t(x);
            rampY.at(y, x) = int16_t(3 * y);
        }
    PlaneF gx(R, C, 7.0f), gy(R, C, 7.0f);
    ASSERT_TRUE(computeGradients(rampX, gx, gy, 3));
    for (int y = 0; y < R; ++y)
        for (int x = 0; x < C; ++x) {
            const bool inside = y >= 1 && y < R - 1 && x >= 1 && x < C - 1;
            EXPECT_EQ(gx.at(y, x), inside ? 1.0f : 0.0f) << y << "," << x;
            EXPECT_EQ(gy.at(y, x), 0.0f);
        }
    ASSERT_TRUE(computeGradients(rampY, gx, gy, 3));
    for (int y = 1; y < R - 1; ++y)
        for (int x = 1; x < C - 1; ++x) {
            EXPECT_EQ(gx.at(y, x), 0.0f);
            EXPECT_EQ(gy.at(y, x), 3.0f);  // positive where intensity grows with y
        }
    EXPECT_FALSE(computeGradients(rampX, gx, gy, 4));
}

TEST(Derivatives, AllKernelSizesMatchTheirDefiningSum) {
    const int R = 15, C = 17;
    std::mt19937 rng(11);
    Plane16 level(R, C);
    for (auto& v : level.samples) v = int16_t(rng() % 1000);
    for (int size : {3, 5, 7}) {
        SCOPED_TRACE(size);
        const float* K = loadDerivativeKernel(size);
        ASSERT_NE(K, nullptr);
        std::vector<float> kernel(K, K + size * size);
        PlaneF gx(R, C), gy(R, C);
        ASSERT_TRUE(computeGradients(level, gx, gy, size));
        const int half = size / 2;
        for (int y = 0; y < R; ++y)
            for (int x = 0; x < C; ++x) {
                double dx = 0.0, dy = 0.0;
                const bool inside = y >= half && y < R - half && x >= half && x < C - half;
                if (inside)
                    for (int j = 0; j < half; ++j)
                        for (int k = 0; k < size; ++k) {
                            const double w = kernel[j * size + k];
                            dx += w * (level.at(y - half + k, x - half + j) -
                                       level.at(y - half + k, x + half - j));
                            dy += w * (level.at(y - half + j, x - half + k) -
                                       level.at(y + half - j, x - half + k));
                        }
                // The kernels' rows above the middle are negative: their sum
                // gives the derivative with intensity growing towards +x/+y.
                ASSERT_NEAR(gx.at(y, x), dx, 1e-3 * (1.0 + std::fabs(dx))) << y << "," << x;
                ASSERT_NEAR(gy.at(y, x), dy, 1e-3 * (1.0 + std::fabs(dy))) << y << "," << x;
            }
    }
    EXPECT_EQ(loadDerivativeKernel(9), nullptr);
    // Size-3 kernel divided by 8.
    const float* k3 = loadDerivativeKernel(3);
    EXPECT_EQ(k3[0], -0.125f);
    EXPECT_EQ(k3[1], -0.25f);
    EXPECT_EQ(k3[7], 0.25f);
}

TEST(ArrayRoutines, SymmetricFiltersAndSubsampling) {
    const float in[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    const float taps[4] = {0.5f, 0.25f, 2.0f, 1.0f};
    float out[8];
    symmetricFir3(in, out, 8, taps);
    EXPECT_EQ(out[0], (1 + 3) * 0.5f + 2 * 0.25f);
    symmetricFir5(in, out, 6, taps);
    EXPECT_EQ(out[1], (2 + 6) * 0.5f + (3 + 5) * 0.25f + 4 * 2.0f);
    symmetricFir7(in, out, 4, taps);
    EXPECT_EQ(out[3], (4 + 10) * 0.5f + (5 + 9) * 0.25f + (6 + 8) * 2.0f + 7 * 1.0f);

    Plane16 src(5, 7), dst(3, 4);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) src.at(y, x) = int16_t(10 * y + x);
    subsampleLevel(src, dst);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(dst.at(y, x), 20 * y + 2 * x);
    Plane16 tooLarge(4, 4, -1);
    subsampleLevel(src, tooLarge);  // would read past the source: left alone
    EXPECT_EQ(tooLarge.at(3, 3), -1);
}

TEST(PyramidAllocationFailures, FailCleanlyAndLeakNothing) {
    releaseKernelCache();
    std::vector<uint8_t> frame(40 * 30);
    for (size_t i = 0; i < frame.size(); ++i) frame[i] = uint8_t(i * 7);
    long needed = 0;
    {
        CountingHeap heap;
        ImagePyramid p;
        ASSERT_EQ(p.allocate(30, 40, 3), 0);
        ASSERT_EQ(p.build(frame.data()), 0);
        needed = CountingHeap::allocations();
        p.release();
        releaseKernelCache();
        EXPECT_EQ(CountingHeap::liveBlocks(), 0);
    }
    for (long failAt = 1; failAt <= needed; ++failAt) {
        SCOPED_TRACE(failAt);
        CountingHeap heap(failAt);
        {
            ImagePyramid p;
            const int status = p.allocate(30, 40, 3);
            if (status == 0) {
                const int built = p.build(frame.data());
                EXPECT_TRUE(built == 0 || built == -6);
            } else {
                EXPECT_EQ(status, -5);
                EXPECT_EQ(p.allocated, 0);
            }
        }
        releaseKernelCache();
        EXPECT_EQ(CountingHeap::liveBlocks(), 0);
    }
}

}  // namespace
