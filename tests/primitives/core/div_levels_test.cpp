// The SIMD levels' division against px: rows under 32 elements, the last
// len mod 8 elements and every block of 8 that holds a zero divisor are
// divided exactly (px's bits); the other elements carry the reciprocal
// estimate, within 4e-7 of the quotient. Every width 1 to 40 and some longer
// rows, every start offset, the reach ending on a guard page.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "primitives/core/core_levels.h"
#include "primitives/core/core_px.h"
#include "tests/primitives/level_harness.h"

namespace {

using namespace level_harness;

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

float moderate(std::uint32_t& rng) {
    const float m = static_cast<float>(static_cast<int>(nextRandom(rng) % 20001) - 10000) / 997.0f;
    return std::ldexp(m == 0.0f ? 1.0f : m, static_cast<int>(nextRandom(rng) % 60) - 30);
}

// Which elements the SIMD levels divide exactly.
std::vector<bool> exactElements(const std::vector<float>& divisors) {
    const int len = static_cast<int>(divisors.size());
    std::vector<bool> exact(len, true);
    if (len < 32) return exact;
    const int n = len & ~7;
    for (int b = 0; b < n; b += 8) {
        bool zero = false;
        for (int i = b; i < b + 8; ++i) zero = zero || divisors[i] == 0.0f;
        for (int i = b; i < b + 8; ++i) exact[i] = zero;
    }
    return exact;
}

TEST(DivLevels, EveryWidthAndOffsetAgainstPx) {
    std::uint32_t rng = 17;
    std::vector<Shape> shapes = tableShapes();
    for (int w : {63, 64, 100, 257}) shapes.push_back({w, w % 16, (w * 5) % 16});
    for (VpLevel level : kSimdLevels)
        for (const Shape& s : shapes)
            for (int variant = 0; variant < 2; ++variant) {
                const int len = s.width;
                // Variant 1 puts zeros, NaN divisors and zero dividends among them.
                std::vector<float> divisor(len), dividend(len);
                for (int i = 0; i < len; ++i) {
                    divisor[i] = moderate(rng);
                    dividend[i] = moderate(rng);
                    if (variant == 1) {
                        switch (nextRandom(rng) % 24) {
                            case 0: divisor[i] = 0.0f; break;
                            case 1: divisor[i] = -0.0f; break;
                            case 2: divisor[i] = kNaN; break;
                            case 3: dividend[i] = 0.0f; break;
                            default: break;
                        }
                    }
                }
                OffsetRows<float> a(len, 2, s.srcOffset, 8, true), b(len, 2, (s.srcOffset + 4) % 16, 8, true),
                    d(len, 2, s.dstOffset, 8, true);
                for (int i = 0; i < len; ++i) {
                    a.set(i, 1, divisor[i]);
                    b.set(i, 1, dividend[i]);
                }
                std::vector<float> px(len);
                const VpStatus pxStatus = vpsDiv_32f_px(divisor.data(), dividend.data(), px.data(), len);
                // The last rows, so that their ends lie on the guard pages.
                const VpStatus st = LEVEL_VARIANTS(vpsDiv_32f)[level](a.row(1), b.row(1), d.row(1), len);
                const std::vector<bool> exact = exactElements(divisor);
                bool zeroOnExactPath = false;
                for (int i = 0; i < len; ++i) {
                    const float got = d.get(i, 1);
                    if (exact[i]) {
                        zeroOnExactPath = zeroOnExactPath || divisor[i] == 0.0f || std::isnan(divisor[i]);
                        ASSERT_EQ(bitsOf(got), bitsOf(px[i])) << describe(level, s) << " element " << i;
                    } else if (std::isnan(divisor[i])) {
                        ASSERT_TRUE(std::isnan(got)) << describe(level, s) << " element " << i;
                    } else {
                        const double q = double(dividend[i]) / double(divisor[i]);
                        ASSERT_LE(std::fabs(got - q), 4e-7 * std::fabs(q))
                            << describe(level, s) << " element " << i << ": " << dividend[i] << " / " << divisor[i];
                    }
                }
                ASSERT_EQ(st, zeroOnExactPath ? vpStsDivByZero : vpStsNoErr) << describe(level, s);
                if (len < 32) {
                    ASSERT_EQ(st, pxStatus);
                }
                ASSERT_TRUE(d.canariesIntact()) << describe(level, s);
            }
}

// Divisors at the edges of the estimate, in a block of the vector path.
TEST(DivLevels, SpecialDivisorsOnTheVectorPath) {
    for (VpLevel level : kSimdLevels) {
        std::vector<float> divisor(32, 2.0f), dividend(32, 3.0f), out(32);
        divisor[0] = kInf;                        // infinity times the zero estimate
        divisor[1] = floatOf(0x00000005u);        // subnormal: the estimate is infinite
        divisor[2] = std::ldexp(1.5f, 126);       // the estimate flushes to zero
        divisor[3] = kNaN;                        // no zero-divisor status for it
        divisor[4] = -4.0f;
        ASSERT_EQ(LEVEL_VARIANTS(vpsDiv_32f)[level](divisor.data(), dividend.data(), out.data(), 32), vpStsNoErr);
        EXPECT_TRUE(std::isnan(out[0])) << levelName(level);
        EXPECT_TRUE(std::isnan(out[1])) << levelName(level);
        // Zero where the estimate flushes to zero; never more than the quotient.
        EXPECT_LE(std::fabs(out[2]), 3.0 / std::ldexp(1.5, 126) * (1 + 4e-7)) << levelName(level);
        EXPECT_TRUE(std::isnan(out[3])) << levelName(level);
        EXPECT_NEAR(out[4], -0.75f, 0.75f * 4e-7f);
    }
}

TEST(DivLevels, ImageEntryRowsStatusAndChecks) {
    for (VpLevel level : kSimdLevels) {
        // 2 rows of 40: a zero divisor in the first row only still reports 6,
        // and a block holding it is exact.
        std::vector<float> divisor(80, 3.0f), x(80, 6.0f);
        divisor[5] = 0.0f;
        x[6] = -6.0f;
        divisor[6] = -0.0f;
        x[7] = 0.0f;
        divisor[7] = 0.0f;
        ASSERT_EQ(LEVEL_VARIANTS(vpiDiv_32f_C1IR)[level](divisor.data(), 160, x.data(), 160, {40, 2}), vpStsDivByZero);
        EXPECT_EQ(bitsOf(x[5]), 0x7F800000u);
        EXPECT_EQ(bitsOf(x[6]), 0xFF800000u);
        EXPECT_EQ(bitsOf(x[7]), 0xFFC00000u);
        EXPECT_EQ(x[0], 2.0f);  // exact in the zero's block
        EXPECT_NEAR(x[45], 2.0f, 2.0f * 4e-7f);
        float a[1] = {1}, b[1] = {1};
        auto f = LEVEL_VARIANTS(vpiDiv_32f_C1R)[level];
        EXPECT_EQ(f(a, 4, nullptr, 4, b, 4, {0, 1}), vpStsNullPtrErr);
        EXPECT_EQ(f(a, 0, b, 4, b, 4, {1, 0}), vpStsSizeErr);
        EXPECT_EQ(f(a, 4, b, 4, b, 0, {1, 1}), vpStsStepErr);
    }
}

}  // namespace
