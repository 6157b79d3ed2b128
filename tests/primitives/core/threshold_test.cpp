#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "guarded_image.h"
#include "primitives/primitives.h"

namespace {

using Image = GuardedImage<float>;

// Runs one in-place threshold over a row of values; returns the result bits.
std::vector<std::uint32_t> clampRow(bool greater, float threshold, std::vector<float> values) {
    const int n = static_cast<int>(values.size());
    const VpStatus s = greater ? vpiThreshold_GT_32f_C1IR(values.data(), 4 * n, {n, 1}, threshold)
                               : vpiThreshold_LT_32f_C1IR(values.data(), 4 * n, {n, 1}, threshold);
    EXPECT_EQ(s, vpStsNoErr);
    std::vector<std::uint32_t> bits;
    for (float v : values) bits.push_back(bitsOf(v));
    return bits;
}

std::vector<std::uint32_t> bitsOfAll(std::initializer_list<float> values) {
    std::vector<std::uint32_t> bits;
    for (float v : values) bits.push_back(bitsOf(v));
    return bits;
}

TEST(Threshold, OrdinaryValues) {
    EXPECT_EQ(clampRow(false, 0.0f, {-3.5f, 2.0f}), bitsOfAll({0.0f, 2.0f}));
    EXPECT_EQ(clampRow(true, 1.0f, {1.5f, 1.0f, 0.25f}), bitsOfAll({1.0f, 1.0f, 0.25f}));
    EXPECT_EQ(clampRow(false, -2.0f, {-3.0f, -1.0f, 5.0f}), bitsOfAll({-2.0f, -1.0f, 5.0f}));
    EXPECT_EQ(clampRow(true, -2.0f, {-3.0f, -1.0f, 5.0f}), bitsOfAll({-3.0f, -2.0f, -2.0f}));
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(clampRow(false, 0.0f, {-inf, inf}), bitsOfAll({0.0f, inf}));
    EXPECT_EQ(clampRow(true, 1.0f, {-inf, inf}), bitsOfAll({-inf, 1.0f}));
}

TEST(Threshold, BitPatternOrderOfZerosAndNaNs) {
    const float posNaN = floatOf(0x7FC00001u), negNaN = floatOf(0xFFC00001u);
    // -0.0 lies below +0.0; a NaN is above every threshold with its sign clear
    // and below every threshold with its sign set.
    EXPECT_EQ(clampRow(false, 0.0f, {-0.0f, posNaN, negNaN}), (std::vector<std::uint32_t>{0, 0x7FC00001u, 0}));
    EXPECT_EQ(clampRow(true, 0.0f, {-0.0f, posNaN, negNaN}), (std::vector<std::uint32_t>{0x80000000u, 0, 0xFFC00001u}));
    EXPECT_EQ(clampRow(false, -5.0f, {posNaN, negNaN}), (std::vector<std::uint32_t>{0x7FC00001u, bitsOf(-5.0f)}));
    EXPECT_EQ(clampRow(true, -5.0f, {posNaN, negNaN}), (std::vector<std::uint32_t>{bitsOf(-5.0f), 0xFFC00001u}));
    // Threshold -0.0: LT replaces nothing, GT replaces everything but -0.0.
    EXPECT_EQ(clampRow(false, -0.0f, {-1.0f, 0.0f, 2.0f}), bitsOfAll({-1.0f, 0.0f, 2.0f}));
    EXPECT_EQ(clampRow(true, -0.0f, {-1.0f, 0.0f, -0.0f, 2.0f}), bitsOfAll({-0.0f, -0.0f, -0.0f, -0.0f}));
    // A NaN threshold compares its pattern without sign: 0x7FC00000 as unsigned.
    const float nanT = floatOf(0x7FC00000u);
    EXPECT_EQ(clampRow(false, nanT, {1.0f, -1.0f}), (std::vector<std::uint32_t>{bitsOf(1.0f), 0x7FC00000u}));
    EXPECT_EQ(clampRow(true, nanT, {1.0f, -1.0f}), (std::vector<std::uint32_t>{0x7FC00000u, bitsOf(-1.0f)}));
}

TEST(Threshold, OutOfPlaceLessThanAndGuards) {
    Image src(9, 3), dst(9, 3, 8);
    src.fill([](int x, int y) { return float(x - 4) * (y + 1); });
    ASSERT_EQ(vpiThreshold_LT_32f_C1R(src.data(), src.step(), dst.data(), dst.step(), src.size(), -1.5f), vpStsNoErr);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 9; ++x) EXPECT_EQ(dst.get(x, y), std::max(-1.5f, src.get(x, y)));
    EXPECT_TRUE(dst.guardsIntact());
}

TEST(Threshold, StepsAdvanceByWholeFloats) {
    std::vector<float> v(40, -9.0f);
    ASSERT_EQ(vpiThreshold_LT_32f_C1IR(v.data(), 42, {2, 3}, 0.0f), vpStsNoErr);  // rows 40 bytes apart
    for (int i = 0; i < 40; ++i) EXPECT_EQ(v[i], (i % 10) < 2 && i < 30 ? 0.0f : -9.0f) << i;
}

TEST(Threshold, ArgumentChecks) {
    Image a(4, 2), b(4, 2);
    const auto a0 = a.bytes();
    EXPECT_EQ(vpiThreshold_LT_32f_C1IR(nullptr, 0, {0, 2}, 1.0f), vpStsNullPtrErr);
    EXPECT_EQ(vpiThreshold_GT_32f_C1IR(a.data(), 0, {0, 2}, 1.0f), vpStsSizeErr);
    EXPECT_EQ(vpiThreshold_GT_32f_C1IR(a.data(), a.step(), {4, -1}, 1.0f), vpStsSizeErr);
    EXPECT_EQ(vpiThreshold_LT_32f_C1IR(a.data(), 0, {4, 2}, 1.0f), vpStsStepErr);
    EXPECT_EQ(vpiThreshold_LT_32f_C1R(a.data(), a.step(), nullptr, b.step(), {4, 2}, 1.0f), vpStsNullPtrErr);
    EXPECT_EQ(vpiThreshold_LT_32f_C1R(a.data(), a.step(), b.data(), -4, {4, 2}, 1.0f), vpStsStepErr);
    EXPECT_EQ(a.bytes(), a0);
}

TEST(Compare, TableOfCodesIncludingUnorderedAndSignedZeros) {
    const float nan = std::nanf("");
    const float src[6] = {1.0f, 2.0f, 3.0f, -0.0f, nan, 2.0f};
    struct Case {
        VpCmpOp op;
        float value;
        Vp8u expected[6];
    };
    const Case cases[] = {
        {vpCmpLess, 2.0f, {0xFF, 0, 0, 0xFF, 0xFF, 0}},
        {vpCmpLessEq, 2.0f, {0xFF, 0xFF, 0, 0xFF, 0xFF, 0xFF}},
        {vpCmpEq, 2.0f, {0, 0xFF, 0, 0, 0xFF, 0xFF}},
        {vpCmpGreaterEq, 2.0f, {0, 0xFF, 0xFF, 0, 0, 0xFF}},
        {vpCmpGreater, 2.0f, {0, 0, 0xFF, 0, 0, 0}},
        {vpCmpEq, 0.0f, {0, 0, 0, 0xFF, 0xFF, 0}},  // -0.0 equals +0.0
        {vpCmpLess, nan, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        {vpCmpGreater, nan, {0, 0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        Vp8u dst[8];
        std::memset(dst, 0x55, sizeof dst);
        ASSERT_EQ(vpiCompareC_32f_C1R(src, 24, c.value, dst, 8, {6, 1}, c.op), vpStsNoErr);
        for (int i = 0; i < 6; ++i) EXPECT_EQ(dst[i], c.expected[i]) << "op " << c.op << " value " << c.value << " i " << i;
        EXPECT_EQ(dst[6], 0x55);
    }
}

TEST(Compare, RowsOfEveryLengthMatchOneByOneComparison) {
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> v(-3, 3);
    for (int width = 1; width <= 20; ++width) {
        GuardedImage<float> src(width, 2, 4, 4 * (width % 4));
        GuardedImage<Vp8u> dst(width, 2, 3, width % 5);
        src.fill([&](int, int) { return float(v(rng)); });
        for (VpCmpOp op = vpCmpLess; op <= vpCmpGreater; ++op) {
            ASSERT_EQ(vpiCompareC_32f_C1R(src.data(), src.step(), 1.0f, dst.data(), dst.step(), src.size(), op), vpStsNoErr);
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < width; ++x) {
                    const float p = src.get(x, y);
                    const bool holds = op == vpCmpLess ? p < 1 : op == vpCmpLessEq ? p <= 1 : op == vpCmpEq ? p == 1 : op == vpCmpGreaterEq ? p >= 1 : p > 1;
                    EXPECT_EQ(dst.get(x, y), holds ? 0xFF : 0x00);
                }
            EXPECT_TRUE(dst.guardsIntact());
        }
    }
}

TEST(Compare, ChecksStepsBeforeSizesAndRefusesUnknownCodes) {
    const float src[2] = {1.0f, 2.0f};
    Vp8u dst[2] = {7, 7};
    EXPECT_EQ(vpiCompareC_32f_C1R(nullptr, 0, 1.0f, dst, 0, {0, 0}, vpCmpEq), vpStsNullPtrErr);
    EXPECT_EQ(vpiCompareC_32f_C1R(src, 8, 1.0f, nullptr, 2, {2, 1}, vpCmpEq), vpStsNullPtrErr);
    EXPECT_EQ(vpiCompareC_32f_C1R(src, 0, 1.0f, dst, 2, {0, 1}, vpCmpEq), vpStsStepErr);
    EXPECT_EQ(vpiCompareC_32f_C1R(src, 8, 1.0f, dst, 0, {2, 1}, vpCmpEq), vpStsStepErr);
    EXPECT_EQ(vpiCompareC_32f_C1R(src, 8, 1.0f, dst, 2, {0, 1}, vpCmpEq), vpStsSizeErr);
    EXPECT_EQ(vpiCompareC_32f_C1R(src, 8, 1.0f, dst, 2, {2, 0}, vpCmpEq), vpStsSizeErr);
    // An unsupported code is reported instead of passing as success, and writes nothing.
    EXPECT_EQ(vpiCompareC_32f_C1R(src, 8, 1.0f, dst, 2, {2, 1}, 7), vpStsNotSupportedModeErr);
    EXPECT_EQ(vpiCompareC_32f_C1R(src, 8, 1.0f, dst, 2, {2, 1}, -1), vpStsNotSupportedModeErr);
    EXPECT_EQ(dst[0], 7);
    EXPECT_EQ(dst[1], 7);
}

}  // namespace
