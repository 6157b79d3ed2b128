// The SIMD levels' thresholds and comparison: each pixel by the SSE minimum
// or maximum (the threshold for NaN pixels and for zeros of either sign) and
// by the SSE comparisons (false when unordered under less, less-or-equal and
// equal); on ordered pixels other than signed zeros the same as px. Every
// width 1 to 40 and start offset, the reach ending on a guard page.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "primitives/core/core_levels.h"
#include "primitives/core/core_px.h"
#include "tests/primitives/level_harness.h"

namespace {

using namespace level_harness;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

float pixel(std::uint32_t& rng) {
    switch (nextRandom(rng) % 12) {
        case 0: return 0.0f;
        case 1: return -0.0f;
        case 2: return kNaN;
        case 3: return -kNaN;
        case 4: return kInf;
        case 5: return -kInf;
        default: return static_cast<float>(static_cast<int>(nextRandom(rng) % 801) - 400) / 100.0f;
    }
}

// The SIMD levels' result per pixel: the pixel where it compares strictly
// past the threshold in the kept direction, else the threshold.
float clampModel(float x, float t, bool greater) {
    if (greater) return x < t ? x : t;
    return x > t ? x : t;
}

// Where px agrees: no NaN, no threshold of -0.0 (px orders it by its bit
// pattern) and not a zero against a zero.
bool ordinary(float x, float t) {
    return !std::isnan(x) && !std::isnan(t) && bitsOf(t) != 0x80000000u && !(x == 0.0f && t == 0.0f);
}

TEST(ThresholdLevels, EveryWidthAndOffsetByTheMinimumOrMaximum) {
    std::uint32_t rng = 31;
    const float thresholds[] = {0.0f, -0.0f, 1.0f, -2.0f, kNaN, kInf};
    for (VpLevel level : kSimdLevels)
        for (const Shape& s : tableShapes())
            for (int op : {0, 1, 2}) {  // LT out of place, LT in place, GT in place
                const float t = thresholds[nextRandom(rng) % 6];
                OffsetRows<float> src(s.width, 2, s.srcOffset, 8, true), dst(s.width, 2, s.dstOffset, 8, true);
                src.fill([&](int, int) { return pixel(rng); });
                OffsetRows<float> pxOut(s.width, 2, 0);
                const VpiSize size{s.width, 2};
                VpStatus st;
                if (op == 0) {
                    st = LEVEL_VARIANTS(vpiThreshold_LT_32f_C1R)[level](src.data(), src.step(), dst.data(), dst.step(), size, t);
                    vpiThreshold_LT_32f_C1R_px(src.data(), src.step(), pxOut.data(), pxOut.step(), size, t);
                } else {
                    dst.fill([&](int x, int y) { return src.get(x, y); });
                    pxOut.fill([&](int x, int y) { return src.get(x, y); });
                    auto simd = op == 1 ? LEVEL_VARIANTS(vpiThreshold_LT_32f_C1IR)[level]
                                        : LEVEL_VARIANTS(vpiThreshold_GT_32f_C1IR)[level];
                    auto plain = op == 1 ? vpiThreshold_LT_32f_C1IR_px : vpiThreshold_GT_32f_C1IR_px;
                    st = simd(dst.data(), dst.step(), size, t);
                    plain(pxOut.data(), pxOut.step(), size, t);
                }
                ASSERT_EQ(st, vpStsNoErr);
                for (int y = 0; y < 2; ++y)
                    for (int x = 0; x < s.width; ++x) {
                        const float in = src.get(x, y), got = dst.get(x, y);
                        ASSERT_EQ(bitsOf(got), bitsOf(clampModel(in, t, op == 2)))
                            << describe(level, s) << " op " << op << " pixel " << in << " threshold " << t;
                        // px takes the steps rounded down to whole floats.
                        if (ordinary(in, t) && (op != 0 || src.step() % 4 == 0)) {
                            ASSERT_EQ(bitsOf(got), bitsOf(pxOut.get(x, y))) << describe(level, s);
                        }
                    }
                ASSERT_TRUE(dst.canariesIntact()) << describe(level, s);
            }
}

// The rows of the table of differences from px.
TEST(ThresholdLevels, DifferencesFromPx) {
    for (VpLevel level : kSimdLevels) {
        auto gt = LEVEL_VARIANTS(vpiThreshold_GT_32f_C1IR)[level];
        auto lt = LEVEL_VARIANTS(vpiThreshold_LT_32f_C1IR)[level];
        float p[4] = {kNaN, -kNaN, -0.0f, 5.0f};
        ASSERT_EQ(gt(p, 16, {4, 1}, 0.0f), vpStsNoErr);
        EXPECT_EQ(p[0], 0.0f);
        EXPECT_EQ(p[1], 0.0f);
        EXPECT_EQ(bitsOf(p[2]), 0u);  // -0 against +0 under GT: +0
        EXPECT_EQ(p[3], 0.0f);
        float q[3] = {0.0f, -3.0f, 2.0f};
        ASSERT_EQ(lt(q, 12, {3, 1}, -0.0f), vpStsNoErr);
        EXPECT_EQ(bitsOf(q[0]), 0x80000000u);
        EXPECT_EQ(bitsOf(q[1]), 0x80000000u);
        EXPECT_EQ(q[2], 2.0f);
        float r[2] = {1.0f, -1.0f};
        ASSERT_EQ(lt(r, 8, {2, 1}, kNaN), vpStsNoErr);
        EXPECT_TRUE(std::isnan(r[0]) && std::isnan(r[1]));
        // Exact steps (px rounds them down to whole floats).
        float rows[12] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
        const float minusOne[2] = {-1.0f, -1.0f};
        std::memcpy(reinterpret_cast<unsigned char*>(rows) + 18, minusOne, 8);
        ASSERT_EQ(lt(rows, 18, {2, 2}, 0.0f), vpStsNoErr);
        float in18[2];
        std::memcpy(in18, reinterpret_cast<unsigned char*>(rows) + 18, 8);
        EXPECT_EQ(in18[0], 0.0f);
        EXPECT_EQ(in18[1], 0.0f);
        // Checks and the general form's mode.
        float x[1] = {1.0f};
        EXPECT_EQ(lt(nullptr, 4, {1, 1}, 0.0f), vpStsNullPtrErr);
        EXPECT_EQ(gt(x, 4, {0, 1}, 0.0f), vpStsSizeErr);
        EXPECT_EQ(gt(x, 0, {1, 1}, 0.0f), vpStsStepErr);
        EXPECT_EQ(LEVEL_VARIANTS(vpiThreshold_32f_C1R)[level](x, 4, x, 4, {1, 1}, 0.0f, vpCmpEq),
                  vpStsNotSupportedModeErr);
    }
}

// The SIMD comparisons per pixel.
bool compareModel(float x, float v, int op) {
    switch (op) {
        case 0: return x < v;
        case 1: return x <= v;
        case 2: return x == v;
        case 3: return !(x < v);
        default: return !(x <= v);
    }
}

TEST(CompareLevels, EveryCodeWidthAndOffset) {
    std::uint32_t rng = 41;
    for (VpLevel level : kSimdLevels)
        for (const Shape& s : tableShapes())
            for (int op = 0; op < 5; ++op) {
                const float value = (nextRandom(rng) % 8 == 0) ? kNaN : pixel(rng);
                OffsetRows<float> src(s.width, 2, s.srcOffset, 8, true);
                OffsetRows<Vp8u> dst(s.width, 2, s.dstOffset, 8, true);
                src.fill([&](int, int) { return pixel(rng); });
                OffsetRows<Vp8u> pxOut(s.width, 2, 0);
                ASSERT_EQ(LEVEL_VARIANTS(vpiCompareC_32f_C1R)[level](src.data(), src.step(), value, dst.data(),
                                                                     dst.step(), {s.width, 2}, static_cast<VpCmpOp>(op)),
                          vpStsNoErr);
                vpiCompareC_32f_C1R_px(src.data(), src.step(), value, pxOut.data(), pxOut.step(), {s.width, 2},
                                       static_cast<VpCmpOp>(op));
                for (int y = 0; y < 2; ++y)
                    for (int x = 0; x < s.width; ++x) {
                        const float in = src.get(x, y);
                        ASSERT_EQ(dst.get(x, y), compareModel(in, value, op) ? 0xFF : 0x00)
                            << describe(level, s) << " op " << op << " pixel " << in << " value " << value;
                        if (!std::isnan(in) && !std::isnan(value)) {
                            ASSERT_EQ(dst.get(x, y), pxOut.get(x, y));
                        } else {
                            ASSERT_NE(dst.get(x, y), pxOut.get(x, y));  // the opposite of px
                        }
                    }
                ASSERT_TRUE(dst.canariesIntact()) << describe(level, s);
            }
}

TEST(CompareLevels, ChecksAndUnknownCodes) {
    float src[2] = {1.0f, 2.0f};
    Vp8u dst[2] = {7, 7};
    for (VpLevel level : kSimdLevels) {
        auto f = LEVEL_VARIANTS(vpiCompareC_32f_C1R)[level];
        EXPECT_EQ(f(nullptr, 8, 1.0f, dst, 2, {2, 1}, vpCmpEq), vpStsNullPtrErr);
        EXPECT_EQ(f(src, 0, 1.0f, dst, 2, {0, 1}, vpCmpEq), vpStsStepErr);  // steps before sizes
        EXPECT_EQ(f(src, 8, 1.0f, dst, 2, {0, 1}, vpCmpEq), vpStsSizeErr);
        EXPECT_EQ(f(src, 8, 1.0f, dst, 2, {2, 1}, static_cast<VpCmpOp>(7)), vpStsNoErr);
        EXPECT_EQ(dst[0], 7);
        EXPECT_EQ(dst[1], 7);
    }
}

}  // namespace
