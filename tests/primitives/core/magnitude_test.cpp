#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "guarded_image.h"
#include "primitives/core/level_routines.h"

namespace {

TEST(ComplexMagnitude, ExactRootsOfTheDoubleSum) {
    const Vp32fc src[7] = {{3, 4}, {0, 0}, {-0.0f, -0.0f}, {-5, 12}, {1e20f, 1e20f}, {1e-30f, 0}, {0, -2}};
    float dst[8];
    dst[7] = 42.0f;
    ASSERT_EQ(vpsMagnitude_32fc_px(src, dst, 7), vpStsNoErr);
    EXPECT_EQ(dst[0], 5.0f);
    EXPECT_EQ(bitsOf(dst[1]), 0u);
    EXPECT_EQ(bitsOf(dst[2]), 0u);
    EXPECT_EQ(dst[3], 13.0f);
    EXPECT_EQ(dst[4], float(std::sqrt(2.0) * double(1e20f)));  // no overflow of the squares
    EXPECT_EQ(dst[5], 1e-30f);                                  // no underflow either
    EXPECT_EQ(dst[6], 2.0f);
    EXPECT_EQ(dst[7], 42.0f);

    const Vp32fc special[2] = {{std::numeric_limits<float>::quiet_NaN(), 1.0f}, {std::numeric_limits<float>::infinity(), 1.0f}};
    ASSERT_EQ(vpsMagnitude_32fc_px(special, dst, 2), vpStsNoErr);
    EXPECT_TRUE(std::isnan(dst[0]));
    EXPECT_TRUE(std::isinf(dst[1]));
}

TEST(ComplexMagnitude, AgreesWithTheCorrectlyRoundedMagnitude) {
    std::mt19937 rng(2);
    std::uniform_real_distribution<float> d(-1e3f, 1e3f);
    std::vector<Vp32fc> src(257);
    for (auto& c : src) c = {d(rng), d(rng)};
    std::vector<float> dst(src.size());
    ASSERT_EQ(vpsMagnitude_32fc_px(src.data(), dst.data(), int(src.size())), vpStsNoErr);
    for (std::size_t i = 0; i < src.size(); ++i)
        EXPECT_FLOAT_EQ(dst[i], float(std::hypot(double(src[i].re), double(src[i].im)))) << i;
}

TEST(ComplexMagnitude, ArgumentChecks) {
    const Vp32fc src[1] = {{3, 4}};
    float dst[1] = {-1.0f};
    EXPECT_EQ(vpsMagnitude_32fc_px(nullptr, nullptr, 0), vpStsNullPtrErr);
    EXPECT_EQ(vpsMagnitude_32fc_px(src, nullptr, 1), vpStsNullPtrErr);
    EXPECT_EQ(vpsMagnitude_32fc_px(src, dst, 0), vpStsSizeErr);
    EXPECT_EQ(vpsMagnitude_32fc_px(src, dst, -3), vpStsSizeErr);
    EXPECT_EQ(dst[0], -1.0f);
}

}  // namespace
