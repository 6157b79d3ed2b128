// The SIMD levels' complex magnitude against px, over every length 1 to 40
// and every start offset of source and destination.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "primitives/core/level_routines.h"
#include "tests/primitives/level_harness.h"

namespace {

using namespace level_harness;

typedef VpStatus (*MagnitudeFn)(const Vp32fc*, Vp32f*, int);

MagnitudeFn magnitudeAt(VpLevel level) {
    switch (level) {
        case vpLevelA6: return &vpsMagnitude_32fc_a6;
        case vpLevelW7: return &vpsMagnitude_32fc_w7;
        case vpLevelT7: return &vpsMagnitude_32fc_t7;
        default: return &vpsMagnitude_32fc_px;
    }
}

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// Random samples with zeros of both signs, NaN, infinities and magnitudes
// whose single-precision sum of squares overflows or is subnormal.
Vp32fc sample(std::mt19937& rng) {
    std::uniform_real_distribution<float> u(-1000.0f, 1000.0f);
    switch (rng() % 12) {
        case 0: return {0.0f, 0.0f};
        case 1: return {-0.0f, -0.0f};
        case 2: return {kNaN, u(rng)};
        case 3: return {u(rng), kInf};
        case 4: return {u(rng) * 1e18f, u(rng) * 1e18f};   // sum overflows
        case 5: return {u(rng) * 1e-23f, u(rng) * 1e-23f};  // sum subnormal
        case 6: return {u(rng) * 1e-30f, 0.0f};            // sum flushed to zero
        default: return {u(rng), u(rng)};
    }
}

// The relation between a SIMD result and the input: NaN for NaN, the exact
// px result where the single-precision sum of squares lies outside the
// normal range (zero samples give +0 there), and otherwise within 3.5 * 2^-23 of the
// root of that single-precision sum.
::testing::AssertionResult withinBound(const Vp32fc& c, float simd, float px) {
    const float sum = c.re * c.re + c.im * c.im;
    if (std::isnan(sum)) {
        if (std::isnan(simd)) return ::testing::AssertionSuccess();
    } else if (std::isinf(sum) || sum < std::numeric_limits<float>::min()) {
        if (bitsOf(simd) == bitsOf(px)) return ::testing::AssertionSuccess();
    } else {
        const double root = std::sqrt(double(sum));
        if (std::fabs(simd - root) <= 3.5 * std::ldexp(1.0, -23) * root) return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "(" << c.re << ", " << c.im << ") gives " << simd << ", px " << px;
}

TEST(MagnitudeLevels, EveryLengthAndOffsetAgainstPx) {
    std::mt19937 rng(5);
    for (const Shape& s : tableShapes()) {
        const int n = s.width;
        std::vector<Vp32fc> in(n);
        for (auto& c : in) c = sample(rng);
        std::vector<float> px(n);
        ASSERT_EQ(vpsMagnitude_32fc_px(in.data(), px.data(), n), vpStsNoErr);
        std::vector<float> first;
        for (VpLevel level : kSimdLevels) {
            // Misaligned, with canaries; then with the vectors' ends on guard pages.
            for (bool guarded : {false, true}) {
                OffsetRows<Vp32fc> src(n, 1, s.srcOffset);
                OffsetRows<float> dst(n, 1, s.dstOffset);
                GuardedRows<Vp32fc> gsrc(n, 1);
                GuardedRows<float> gdst(n, 1);
                for (int k = 0; k < n; ++k) {
                    src.set(k, 0, in[k]);
                    gsrc.set(k, 0, in[k]);
                }
                const VpStatus st = guarded ? magnitudeAt(level)(gsrc.data(), gdst.data(), n)
                                            : magnitudeAt(level)(src.data(), dst.data(), n);
                ASSERT_EQ(st, vpStsNoErr) << describe(level, s);
                ASSERT_TRUE(dst.canariesIntact() && gdst.canariesIntact()) << describe(level, s);
                std::vector<float> out(n);
                for (int k = 0; k < n; ++k) {
                    out[k] = guarded ? gdst.get(k, 0) : dst.get(k, 0);
                    ASSERT_TRUE(withinBound(in[k], out[k], px[k])) << describe(level, s) << " element " << k;
                }
                // The same result wherever the element lies and at every SIMD level.
                if (first.empty()) first = out;
                for (int k = 0; k < n; ++k)
                    ASSERT_EQ(bitsOf(out[k]), bitsOf(first[k])) << describe(level, s) << " element " << k;
            }
        }
    }
}

// Sums of squares beyond the estimate's range: the true magnitude, not the
// infinity, NaN or zero of x * rsqrt(x).
TEST(MagnitudeLevels, SumsOutsideTheEstimatesRangeAreExact) {
    const Vp32fc src[6] = {{1e20f, 1e20f}, {3e19f, -4e19f}, {1e-25f, 0.0f}, {3e-22f, 4e-22f}, {kInf, 1.0f},
                           {-kInf, kNaN}};
    float px[6];
    ASSERT_EQ(vpsMagnitude_32fc_px(src, px, 6), vpStsNoErr);
    EXPECT_EQ(px[1], 5e19f);
    for (VpLevel level : kSimdLevels)
        for (int len : {1, 6}) {  // the scalar path and the vector path
            float out[6];
            for (int k = 0; k + len <= 6; k += len) ASSERT_EQ(magnitudeAt(level)(src + k, out + k, len), vpStsNoErr);
            for (int k = 0; k < 5; ++k) EXPECT_EQ(out[k], px[k]) << levelName(level) << " element " << k;
            EXPECT_TRUE(std::isinf(out[4]));
            EXPECT_TRUE(std::isnan(out[5]) || std::isinf(out[5])) << levelName(level);
        }
}

TEST(MagnitudeLevels, ChecksAndSmallCases) {
    const Vp32fc src[9] = {{3, 4}, {0, 0}, {-0.0f, -0.0f}, {5, 12}, {1, 1}, {0, 0}, {8, 6}, {-0.0f, 0}, {2, 0}};
    for (VpLevel level : kSimdLevels) {
        float dst[9] = {-1, -1, -1, -1, -1, -1, -1, -1, -1};
        EXPECT_EQ(magnitudeAt(level)(nullptr, dst, 0), vpStsNullPtrErr);
        EXPECT_EQ(magnitudeAt(level)(src, nullptr, 1), vpStsNullPtrErr);
        EXPECT_EQ(magnitudeAt(level)(src, dst, 0), vpStsSizeErr);
        EXPECT_EQ(magnitudeAt(level)(src, dst, -2), vpStsSizeErr);
        EXPECT_EQ(dst[0], -1.0f);
        ASSERT_EQ(magnitudeAt(level)(src, dst, 9), vpStsNoErr);
        EXPECT_NEAR(dst[0], 5.0f, 5.0f * 3.5f * 0x1p-23f) << levelName(level);
        for (int k : {1, 2, 5, 7}) EXPECT_EQ(bitsOf(dst[k]), 0u) << levelName(level) << " element " << k;
    }
}

}  // namespace
