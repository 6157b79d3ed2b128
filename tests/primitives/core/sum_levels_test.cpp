// The SIMD levels' image sums: the 8-bit sum exact (px's value), the float
// sum with the accurate hint px's bits, and the fast float sum the value of
// its own lane pattern, the same at every SIMD level. Every width 1 to 40
// and start offset, the reach ending on a guard page.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "primitives/core/dispatch_variants.h"
#include "tests/primitives/level_harness.h"

namespace {

using namespace level_harness;

TEST(SumLevels, BytesExactEveryWidthAndOffset) {
    std::uint32_t rng = 61;
    for (VpLevel level : kSimdLevels)
        for (const Shape& s : tableShapes())
            for (int height : {2, 4}) {
                OffsetRows<Vp8u> src(s.width, height, s.srcOffset, 8, true);
                src.fill([&](int, int) { return static_cast<Vp8u>(nextRandom(rng)); });
                double exact = 0.0;
                for (int y = 0; y < height; ++y)
                    for (int x = 0; x < s.width; ++x) exact += src.get(x, y);
                Vp64f sum = -1.0;
                ASSERT_EQ(LEVEL_VARIANTS(vpiSum_8u_C1R)[level](src.data(), src.step(), {s.width, height}, &sum), vpStsNoErr);
                ASSERT_EQ(sum, exact) << describe(level, s);
            }
    for (VpLevel level : kSimdLevels) {
        Vp8u all255[6] = {255, 255, 255, 255, 255, 255};
        Vp64f sum = -1.0;
        ASSERT_EQ(LEVEL_VARIANTS(vpiSum_8u_C1R)[level](all255, 3, {3, 2}, &sum), vpStsNoErr);
        EXPECT_EQ(sum, 1530.0);
        EXPECT_EQ(LEVEL_VARIANTS(vpiSum_8u_C1R)[level](all255, 3, {3, 2}, nullptr), vpStsNullPtrErr);
        EXPECT_EQ(LEVEL_VARIANTS(vpiSum_8u_C1R)[level](all255, 3, {3, 0}, &sum), vpStsSizeErr);
        EXPECT_EQ(LEVEL_VARIANTS(vpiSum_8u_C1R)[level](all255, 0, {3, 2}, &sum), vpStsStepErr);
        EXPECT_EQ(sum, 1530.0);
    }
}

// A region of 65536 x 65537 pixels (rows one byte apart, so they overlap in a
// small buffer) holds more than 2^32 pixels: its pixel count taken in 32 bits
// would wrap to 65536 and put the whole sum into one 32-bit accumulator.
TEST(SumLevels, BytesOfAHugeRegionAreExact) {
    const int width = 65536, height = 65537;
    std::vector<Vp8u> buffer(static_cast<std::size_t>(width) + height, 255);
    const double exact = 255.0 * width * height;
    for (VpLevel level : kAllLevels) {
        Vp64f sum = 0.0;
        ASSERT_EQ(LEVEL_VARIANTS(vpiSum_8u_C1R)[level](buffer.data(), 1, {width, height}, &sum), vpStsNoErr);
        EXPECT_EQ(sum, exact) << levelName(level);
    }
}

// The fast method's lanes, element by element: for a row at address p,
// accumulators A..D of four single-precision lanes, filled as below, then
// (A + B) + (C + D) lane by lane and the two sums of lanes 0, 2 and 1, 3
// added to the double total.
double fastSumModel(const float* p, int width, double total) {
    float lanes[4][4] = {};
    auto add = [&](int acc, int lane, float v) { lanes[acc][lane] += v; };
    const std::uintptr_t a = reinterpret_cast<std::uintptr_t>(p);
    int i = 0;
    if (a % 4 == 0) {
        if (a % 16 != 0) {
            const int k = static_cast<int>((16 - a % 16) / 4);
            if (width >= k) {
                if (k >= 2) add(0, 0, p[0]), add(0, 1, p[1]);
                if (k % 2) add(1, 0, p[k - 1]);
                i = k;
            }
        }
        if (i > 0 || a % 16 == 0)
            for (; i + 16 <= width; i += 16)
                for (int j = 0; j < 16; ++j) add(j / 4, j % 4, p[i + j]);
    } else {
        for (; i + 4 <= width; i += 4)
            for (int j = 0; j < 4; ++j) add(0, j, p[i + j]);
    }
    const int r = width - i;
    if (r >= 8) {
        for (int j = 0; j < 8; ++j) add(j / 4, j % 4, p[i + j]);
        i += 8;
    }
    if (r % 8 >= 4) {
        for (int j = 0; j < 4; ++j) add(2, j, p[i + j]);
        i += 4;
    }
    if (r % 4 >= 2) {
        add(3, 0, p[i]), add(3, 1, p[i + 1]);
        i += 2;
    }
    if (r % 2) add(2, 0, p[i]);
    float S[4];
    for (int l = 0; l < 4; ++l) S[l] = (lanes[0][l] + lanes[1][l]) + (lanes[2][l] + lanes[3][l]);
    const float even = S[0] + S[2], odd = S[1] + S[3];
    total += even;
    total += odd;
    return total;
}

TEST(SumLevels, FloatsByHintEveryWidthAndOffset) {
    std::uint32_t rng = 67;
    for (const Shape& s : tableShapes())
        for (int height : {2, 4}) {
            OffsetRows<float> src(s.width, height, s.srcOffset, 8, true);
            // Mixed magnitudes, so that the order of the additions shows.
            src.fill([&](int, int) {
                return std::ldexp(static_cast<float>(static_cast<int>(nextRandom(rng) % 2001) - 1000),
                                  static_cast<int>(nextRandom(rng) % 40) - 20);
            });
            Vp64f px = 0.0;
            ASSERT_EQ(vpiSum_32f_C1R_px(src.data(), src.step(), {s.width, height}, &px, vpAlgHintFast), vpStsNoErr);
            double model = 0.0;
            for (int y = 0; y < height; ++y) model = fastSumModel(src.row(y), s.width, model);
            for (VpLevel level : kSimdLevels) {
                Vp64f accurate = 0.0, fast = 0.0;
                auto f = LEVEL_VARIANTS(vpiSum_32f_C1R)[level];
                ASSERT_EQ(f(src.data(), src.step(), {s.width, height}, &accurate, vpAlgHintAccurate), vpStsNoErr);
                ASSERT_EQ(f(src.data(), src.step(), {s.width, height}, &fast, vpAlgHintFast), vpStsNoErr);
                ASSERT_EQ(accurate, px) << describe(level, s);
                ASSERT_EQ(fast, model) << describe(level, s) << " height " << height;
                Vp64f other = 0.0;
                ASSERT_EQ(f(src.data(), src.step(), {s.width, height}, &other, static_cast<VpHintAlgorithm>(0)), vpStsNoErr);
                ASSERT_EQ(other, fast);  // every hint but 2 is the fast method
            }
        }
    float x[2] = {1, 2};
    Vp64f sum = 5.0;
    for (VpLevel level : kSimdLevels) {
        EXPECT_EQ(LEVEL_VARIANTS(vpiSum_32f_C1R)[level](nullptr, 8, {2, 1}, &sum, vpAlgHintFast), vpStsNullPtrErr);
        EXPECT_EQ(LEVEL_VARIANTS(vpiSum_32f_C1R)[level](x, 8, {2, 0}, &sum, vpAlgHintAccurate), vpStsSizeErr);
        EXPECT_EQ(LEVEL_VARIANTS(vpiSum_32f_C1R)[level](x, 0, {2, 1}, &sum, vpAlgHintFast), vpStsStepErr);
        EXPECT_EQ(sum, 5.0);
    }
}

}  // namespace
