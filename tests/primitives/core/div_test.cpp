#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "guarded_image.h"
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
