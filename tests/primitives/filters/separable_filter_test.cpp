// Row and column filters against a long-double reference, on exact-size
// buffers: the window reach is all that may be read.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "primitives/filters/filters_internal.h"
#include "primitives/primitives.h"

namespace {

using FilterFn = VpStatus (*)(const Vp32f*, int, Vp32f*, int, VpiSize, const Vp32f*, int, int);

struct Direction {
    const char* name;
    FilterFn fn;
    bool rows;  // true: the window runs along the row
};

const Direction kDirections[] = {{"row", vpiFilterRow_32f_C1R_px, true},
                                 {"column", vpiFilterColumn_32f_C1R_px, false}};

TEST(SeparableFilter, MatchesReferenceForEveryTapCountAndAnchor) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> value(-100.0f, 100.0f);
    const int widths[] = {1, 2, 3, 5, 8, 13, 40};
    for (const auto& dir : kDirections)
        for (int n = 1; n <= 9; ++n)
            for (int anchor = 0; anchor < n; ++anchor)
                for (int W : widths) {
                    const int H = 3;
                    const int before = n - 1 - anchor;  // reach before the output
                    const int after = anchor;          // reach after it
                    const int srcW = dir.rows ? W + before + after : W;
                    const int srcH = dir.rows ? H : H + before + after;
                    const int srcStep = (srcW + 1) * 4;
                    std::vector<float> src(static_cast<size_t>(srcStep / 4) * (srcH - 1) + srcW);
                    for (auto& v : src) v = value(rng);
                    std::vector<float> kernel(n);
                    for (auto& k : kernel) k = value(rng) / 50.0f;
                    const int dstStride = W + 2;
                    std::vector<float> dst(static_cast<size_t>(dstStride) * H, -7.0f);
                    const float* origin = src.data() + (dir.rows ? before : static_cast<size_t>(before) * (srcStep / 4));
                    ASSERT_EQ(dir.fn(origin, srcStep, dst.data(), dstStride * 4, {W, H}, kernel.data(), n, anchor),
                              vpStsNoErr);
                    for (int y = 0; y < H; ++y)
                        for (int x = 0; x < dstStride; ++x) {
                            const float got = dst[static_cast<size_t>(y) * dstStride + x];
                            if (x >= W) {
                                ASSERT_EQ(got, -7.0f);
                                continue;
                            }
                            long double sum = 0, magnitude = 0;
                            for (int i = 0; i < n; ++i) {
                                // k[i] weights the pixel i places before the anchor's own position
                                const int sx = dir.rows ? x + anchor - i + before : x;
                                const int sy = dir.rows ? y : y + anchor - i + before;
                                const long double p = static_cast<long double>(kernel[i]) *
                                                      src[static_cast<size_t>(sy) * (srcStep / 4) + sx];
                                sum += p;
                                magnitude += std::fabs(static_cast<double>(p));
                            }
                            ASSERT_NEAR(got, static_cast<double>(sum), 1e-6 * static_cast<double>(magnitude) + 1e-30)
                                << dir.name << " n=" << n << " anchor=" << anchor << " W=" << W;
                        }
                }
}

TEST(SeparableFilter, SumsInDoubleAndRoundsOnce) {
    // 1 + 2^-24 + 2^-24 rounds to 1 + 2^-23 only when the sum is kept wider than float.
    const float src[3] = {1.0f, std::ldexp(1.0f, -24), std::ldexp(1.0f, -24)};
    const float kernel[3] = {1.0f, 1.0f, 1.0f};
    float out = 0;
    ASSERT_EQ(vpiFilterRow_32f_C1R_px(src + 2, 16, &out, 4, {1, 1}, kernel, 3, 0), vpStsNoErr);
    EXPECT_EQ(out, 1.0f + std::ldexp(1.0f, -23));
}

// The plain sum of each output: 0.0 plus the products of its window in
// source order, in double, rounded to float once.
float plainSum(const std::vector<float>& src, int stride, const std::vector<float>& kernel, bool rows, int x, int y) {
    const int n = static_cast<int>(kernel.size());
    double sum = 0.0;
    for (int j = 0; j < n; ++j) {
        const int sx = rows ? x + j : x;
        const int sy = rows ? y : y + j;
        sum += static_cast<double>(kernel[n - 1 - j]) * static_cast<double>(src[static_cast<size_t>(sy) * stride + sx]);
    }
    return static_cast<float>(sum);
}

// Same bits, or NaN on both sides (which NaN comes out of two follows the
// machine's operand order and is not pinned).
bool sameResult(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b));
}

TEST(SeparableFilter, EveryBitMatchesTheSequentialDoubleSum) {
    constexpr float kInf = std::numeric_limits<float>::infinity();
    const float specials[] = {0.0f, -0.0f, kInf, -kInf, std::nanf(""), 1e-40f, -1e-40f, 3.4e38f, -3.4e38f, 1e-30f};
    struct Case {
        const char* what;
        int n, W;
        bool specialValues;  // infinities, NaN, signed zeros and subnormals mixed in
    };
    // The engine's 7 and 17 taps and the other unrolled counts, then any other
    // count; widths around the vector groups and long rows.
    const Case cases[] = {
        {"7 taps", 7, 1, false},     {"7 taps", 7, 40, false},   {"7 taps", 7, 714, false},
        {"17 taps", 17, 23, false},  {"17 taps", 17, 700, false}, {"3 taps", 3, 37, false},
        {"5 taps", 5, 29, false},    {"2 taps", 2, 31, false},   {"9 taps", 9, 40, false},
        {"13 taps", 13, 301, false}, {"1 tap", 1, 17, false},    {"70 taps", 70, 90, false},
        {"7 taps", 7, 300, true},    {"17 taps", 17, 45, true},  {"4 taps", 4, 39, true},
    };
    std::mt19937 rng(11);
    for (const auto& c : cases)
        for (const auto& dir : kDirections) {
            const int H = 4;
            const int anchor = c.n / 2;
            const int srcW = dir.rows ? c.W + c.n - 1 : c.W;
            const int srcH = dir.rows ? H : H + c.n - 1;
            const int stride = srcW + 3;
            // Values 2^60 apart in magnitude cancel in some windows, so a
            // double sum in any other order, or rounded early, shows in the result.
            const int exponents[] = {-30, 0, 60};
            auto draw = [&](int exponent) {
                const float m = static_cast<float>(1 + rng() % 7);
                return std::ldexp(rng() % 2 ? m : -m, exponent);
            };
            std::vector<float> src(static_cast<size_t>(stride) * srcH);
            for (auto& v : src) {
                v = draw(exponents[rng() % 3]);
                if (c.specialValues && rng() % 6 == 0) v = specials[rng() % std::size(specials)];
            }
            std::vector<float> kernel(c.n);
            for (auto& k : kernel) k = draw(0);
            const int dstStride = c.W + 1;
            std::vector<float> dst(static_cast<size_t>(dstStride) * H, -7.0f);
            const int before = c.n - 1 - anchor;
            const float* origin = src.data() + (dir.rows ? before : static_cast<size_t>(before) * stride);
            ASSERT_EQ(dir.fn(origin, stride * 4, dst.data(), dstStride * 4, {c.W, H}, kernel.data(), c.n, anchor),
                      vpStsNoErr);
            for (int y = 0; y < H; ++y) {
                for (int x = 0; x < c.W; ++x) {
                    const float want = plainSum(src, stride, kernel, dir.rows, x, y);
                    ASSERT_TRUE(sameResult(dst[static_cast<size_t>(y) * dstStride + x], want))
                        << c.what << " " << dir.name << " W=" << c.W << " at " << x << "," << y << ": "
                        << dst[static_cast<size_t>(y) * dstStride + x] << " vs " << want;
                }
                ASSERT_EQ(dst[static_cast<size_t>(y) * dstStride + c.W], -7.0f);
            }
        }
}

TEST(SeparableFilter, ArgumentChecksInOrder) {
    float buf[16] = {};
    const float k[3] = {1, 1, 1};
    for (const auto& dir : kDirections) {
        EXPECT_EQ(dir.fn(buf, 0, buf, 0, {0, 0}, nullptr, 0, 1), vpStsNullPtrErr) << dir.name;
        EXPECT_EQ(dir.fn(nullptr, 16, buf, 16, {1, 1}, k, 3, 1), vpStsNullPtrErr);
        EXPECT_EQ(dir.fn(buf, 16, nullptr, 16, {1, 1}, k, 3, 1), vpStsNullPtrErr);
        EXPECT_EQ(dir.fn(buf, 0, buf, 0, {0, 1}, k, 3, 1), vpStsSizeErr);
        EXPECT_EQ(dir.fn(buf, 0, buf, 0, {1, 0}, k, 3, 1), vpStsSizeErr);
        EXPECT_EQ(dir.fn(buf, 0, buf, 0, {1, 1}, k, 0, 1), vpStsSizeErr);
        EXPECT_EQ(dir.fn(buf, 0, buf, 16, {1, 1}, k, 3, 1), vpStsStepErr);
        EXPECT_EQ(dir.fn(buf, 16, buf, -4, {1, 1}, k, 3, 1), vpStsStepErr);
        EXPECT_EQ(dir.fn(buf, 0, buf, 16, {1, 1}, k, 3, 5), vpStsStepErr);  // step before anchor
    }
}

TEST(SeparableFilter, AnchorOutsideTheKernelIsRefusedBeforeAnythingIsRead) {
    // The source holds exactly the reach of a 3-tap kernel anchored inside it;
    // an anchor of -1 or 3 would shift the window one pixel past it.
    const float src[3] = {1, 2, 3};
    const float k[3] = {1, 1, 1};
    for (const auto& dir : kDirections)
        for (int anchor : {-1, 3, 4, -100, 1 << 30}) {
            float out = -7.0f;
            EXPECT_EQ(dir.fn(src + 1, 4, &out, 4, {1, 1}, k, 3, anchor), vpStsAnchorErr)
                << dir.name << " anchor " << anchor;
            EXPECT_EQ(out, -7.0f);
        }
}

}  // namespace
