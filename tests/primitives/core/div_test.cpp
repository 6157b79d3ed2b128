#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include <cstdint>
#include <vector>

#include "guarded_image.h"
#include "primitives/core/core_px.h"
#include "primitives/primitives.h"

namespace {

using Image = GuardedImage<float>;
constexpr float kInf = std::numeric_limits<float>::infinity();

TEST(FloatDivision, ZeroDivisorsGiveFixedValuesAndTheWarning) {
    // Divisors (first image) and dividends (second, in place).
    const float divisor[8] = {0.0f, 0.0f, 0.0f, -0.0f, 2.0f, std::nanf(""), -0.0f, 4.0f};
    float dividend[8] = {6.0f, -6.0f, 0.0f, 5.0f, 7.0f, 1.0f, std::nanf(""), -kInf};
    ASSERT_EQ(vpiDiv_32f_C1IR(divisor, sizeof divisor, dividend, sizeof dividend, {8, 1}), vpStsDivByZero);
    EXPECT_EQ(bitsOf(dividend[0]), 0x7F800000u);
    EXPECT_EQ(bitsOf(dividend[1]), 0xFF800000u);
    EXPECT_EQ(bitsOf(dividend[2]), 0xFFC00000u);
    EXPECT_EQ(bitsOf(dividend[3]), 0x7F800000u);  // the sign of a zero divisor plays no part
    EXPECT_EQ(dividend[4], 3.5f);
    EXPECT_EQ(bitsOf(dividend[5]), 0x7F800000u);  // a NaN divisor counts as zero
    EXPECT_EQ(bitsOf(dividend[6]), 0xFFC00000u);  // NaN dividend over zero
    EXPECT_EQ(dividend[7], -kInf);
}

TEST(FloatDivision, AZeroDivisorInTheFirstRowStillWarnsAndAllRowsAreComputed) {
    Image divisor(5, 4), dividend(5, 4);
    divisor.fill([](int x, int y) { return x == 2 && y == 0 ? 0.0f : float(x + 1); });
    dividend.fill([](int x, int y) { return float(10 * y + x); });
    ASSERT_EQ(vpiDiv_32f_C1IR(divisor.data(), divisor.step(), dividend.data(), dividend.step(), dividend.size()),
              vpStsDivByZero);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x) {
            if (x == 2 && y == 0) continue;
            EXPECT_EQ(dividend.get(x, y), float(10 * y + x) / float(x + 1));
        }
    EXPECT_EQ(dividend.get(2, 0), kInf);
    EXPECT_TRUE(dividend.guardsIntact());
}

TEST(FloatDivision, QuotientsAreCorrectlyRounded) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> d(-1e6, 1e6);
    for (int width : {1, 7, 31, 32, 33, 40}) {
        Image divisor(width, 2), dividend(width, 2);
        divisor.fill([&](int, int) { return float(d(rng)) + 0.5f; });
        dividend.fill([&](int, int) { return float(d(rng)); });
        Image expected = dividend;
        ASSERT_EQ(vpiDiv_32f_C1IR(divisor.data(), divisor.step(), dividend.data(), dividend.step(), dividend.size()),
                  vpStsNoErr);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < width; ++x) {
                const double exact = double(expected.get(x, y)) / double(divisor.get(x, y));
                EXPECT_EQ(dividend.get(x, y), float(exact)) << width << " " << x;
            }
    }
    // Infinite and subnormal divisors keep their IEEE quotients.
    const float divisor[3] = {kInf, 1e-40f, -kInf};
    float dividend[3] = {5.0f, 1e-30f, 5.0f};
    ASSERT_EQ(vpiDiv_32f_C1IR(divisor, 12, dividend, 12, {3, 1}), vpStsNoErr);
    EXPECT_EQ(bitsOf(dividend[0]), 0u);
    EXPECT_EQ(dividend[1], float(1e-30 / double(1e-40f)));
    EXPECT_EQ(bitsOf(dividend[2]), 0x80000000u);
}

TEST(FloatDivision, SameImageGivesOnesAndNaNForZeros) {
    float v[4] = {3.0f, -7.5f, 0.0f, 1e-40f};
    ASSERT_EQ(vpiDiv_32f_C1IR(v, 16, v, 16, {4, 1}), vpStsDivByZero);
    EXPECT_EQ(v[0], 1.0f);
    EXPECT_EQ(v[1], 1.0f);
    EXPECT_EQ(bitsOf(v[2]), 0xFFC00000u);
    EXPECT_EQ(v[3], 1.0f);
}

// The division as the rule states it: a zero or NaN divisor gives +Inf, -Inf
// or the NaN 0xFFC00000 by the dividend; otherwise the quotient rounded once
// from double precision.
std::uint32_t modelQuotient(float divisor, float dividend, bool& zeroDivisor) {
    if (divisor == 0.0f || std::isnan(divisor)) {
        zeroDivisor = true;
        if (dividend > 0.0f) return 0x7F800000u;
        if (dividend < 0.0f) return 0xFF800000u;
        return 0xFFC00000u;
    }
    return bitsOf(float(double(dividend) * (1.0 / double(divisor))));
}

TEST(FloatDivision, PlainLevelFollowsTheRuleOnLongRowsInEveryOperandLayout) {
    std::mt19937 rng(11);
    const float specials[] = {0.0f, -0.0f, kInf, -kInf, std::nanf(""), floatOf(0xFFA00005u), 1e-40f, -3e38f, 1.0f};
    auto value = [&] {
        const int k = std::uniform_int_distribution<int>(0, 29)(rng);
        if (k < 9) return specials[k];
        return std::uniform_real_distribution<float>(-1e4f, 1e4f)(rng);
    };
    enum Layout { kOutOfPlace, kInPlace, kDivisorIsDestination };
    for (Layout layout : {kOutOfPlace, kInPlace, kDivisorIsDestination})
        for (int len : {1, 3, 8, 31, 40, 255, 256, 257, 700, 1031}) {
            // Zeros and NaNs in some rows only, so rows without them are checked too.
            for (bool withZeros : {false, true}) {
                std::vector<float> divisor(len), dividend(len), out(len, 42.0f);
                for (int i = 0; i < len; ++i) {
                    divisor[i] = value();
                    dividend[i] = value();
                    if (!withZeros && (divisor[i] == 0.0f || std::isnan(divisor[i]))) divisor[i] = 2.5f;
                }
                bool zeroDivisor = false;
                std::vector<std::uint32_t> expected(len);
                for (int i = 0; i < len; ++i) {
                    const float d = layout == kDivisorIsDestination ? dividend[i] : divisor[i];
                    expected[i] = modelQuotient(d, dividend[i], zeroDivisor);
                }
                VpStatus status;
                const float* result;
                if (layout == kOutOfPlace) {
                    status = vpsDiv_32f_px(divisor.data(), dividend.data(), out.data(), len);
                    result = out.data();
                } else if (layout == kInPlace) {
                    status = vpsDiv_32f_px(divisor.data(), dividend.data(), dividend.data(), len);
                    result = dividend.data();
                } else {
                    status = vpsDiv_32f_px(dividend.data(), dividend.data(), dividend.data(), len);
                    result = dividend.data();
                }
                EXPECT_EQ(status, zeroDivisor ? vpStsDivByZero : vpStsNoErr) << len;
                for (int i = 0; i < len; ++i) {
                    const std::uint32_t got = bitsOf(result[i]);
                    // A quotient that is a NaN from its operands is any NaN; the rule's NaN is exact.
                    const bool bothNaN = std::isnan(result[i]) && std::isnan(floatOf(expected[i]));
                    if (!(got == expected[i] || (bothNaN && expected[i] != 0xFFC00000u)))
                        ADD_FAILURE() << "layout " << layout << " len " << len << " at " << i << " got " << std::hex
                                      << got << " want " << expected[i];
                }
            }
        }
}

TEST(FloatDivision, ArgumentChecksInOrder) {
    Image a(3, 2), b(3, 2);
    const auto a0 = a.bytes(), b0 = b.bytes();
    EXPECT_EQ(vpiDiv_32f_C1IR(nullptr, a.step(), b.data(), b.step(), {0, 0}), vpStsNullPtrErr);
    EXPECT_EQ(vpiDiv_32f_C1IR(a.data(), a.step(), nullptr, 0, {3, 2}), vpStsNullPtrErr);
    EXPECT_EQ(vpiDiv_32f_C1IR(a.data(), 0, b.data(), 0, {3, 0}), vpStsSizeErr);
    EXPECT_EQ(vpiDiv_32f_C1IR(a.data(), 0, b.data(), 0, {0, 2}), vpStsSizeErr);
    EXPECT_EQ(vpiDiv_32f_C1IR(a.data(), 0, b.data(), b.step(), {3, 2}), vpStsStepErr);
    EXPECT_EQ(vpiDiv_32f_C1IR(a.data(), a.step(), b.data(), -4, {3, 2}), vpStsStepErr);
    EXPECT_EQ(a.bytes(), a0);
    EXPECT_EQ(b.bytes(), b0);
}

}  // namespace
