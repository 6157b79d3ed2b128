#include <gtest/gtest.h>

#include <random>

#include "guarded_image.h"
#include "primitives/primitives.h"

namespace {

TEST(ImageSums, BytesSumExactlyAtEveryWidthAndOffset) {
    GuardedImage<Vp8u> all(3, 2);
    all.fill([](int, int) { return Vp8u(255); });
    double sum = 0;
    ASSERT_EQ(vpiSum_8u_C1R(all.data(), all.step(), all.size(), &sum), vpStsNoErr);
    EXPECT_EQ(sum, 1530.0);

    std::mt19937 rng(5);
    for (int width = 1; width <= 40; ++width) {
        for (int offset = 0; offset < 16; offset += 5) {
            GuardedImage<Vp8u> img(width, 3, 9, offset);
            long long expected = 0;
            img.fill([&](int, int) {
                const Vp8u v = Vp8u(rng());
                expected += v;
                return v;
            });
            ASSERT_EQ(vpiSum_8u_C1R(img.data(), img.step(), img.size(), &sum), vpStsNoErr);
            EXPECT_EQ(sum, double(expected)) << width;
        }
    }
}

TEST(ImageSums, LargeByteImageIsStillExact) {
    // 20 rows of 500000 bytes of 255: 2.55e9, beyond a 32-bit row or image total.
    std::vector<Vp8u> big(500000 * 20, 255);
    double sum = 0;
    ASSERT_EQ(vpiSum_8u_C1R(big.data(), 500000, {500000, 20}, &sum), vpStsNoErr);
    EXPECT_EQ(sum, 255.0 * 500000 * 20);
}

TEST(ImageSums, FloatSumUsesEvenAndOddColumnAccumulators) {
    // Even columns: 1e16 then -1e16; odd columns: 1.0 twice. One double
    // accumulator in pixel order would lose the ones.
    const float row[4] = {1e16f, 1.0f, -1e16f, 1.0f};
    for (VpHintAlgorithm hint : {VpHintAlgorithm(vpAlgHintFast), VpHintAlgorithm(vpAlgHintAccurate), 0}) {
        double sum = 0;
        ASSERT_EQ(vpiSum_32f_C1R(row, 16, {4, 1}, &sum, hint), vpStsNoErr);
        EXPECT_EQ(sum, 2.0);
    }
    // An odd width adds its last column to the even accumulator; rows continue
    // the same two accumulators.
    std::mt19937 rng(9);
    std::uniform_real_distribution<float> d(-100.0f, 100.0f);
    GuardedImage<float> img(7, 5);
    img.fill([&](int, int) { return d(rng); });
    double even = 0.0, odd = 0.0;
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) (x % 2 ? odd : even) += img.get(x, y);
    double sum = 0;
    ASSERT_EQ(vpiSum_32f_C1R(img.data(), img.step(), img.size(), &sum, vpAlgHintFast), vpStsNoErr);
    EXPECT_EQ(sum, even + odd);
}

TEST(ImageSums, ArgumentChecksLeaveTheSumUnwritten) {
    const Vp8u b[4] = {1, 2, 3, 4};
    const float f[4] = {1, 2, 3, 4};
    double sum = -1.0;
    EXPECT_EQ(vpiSum_8u_C1R(b, 4, {4, 1}, nullptr), vpStsNullPtrErr);
    EXPECT_EQ(vpiSum_8u_C1R(nullptr, 0, {0, 0}, &sum), vpStsNullPtrErr);
    EXPECT_EQ(vpiSum_8u_C1R(b, 4, {4, 0}, &sum), vpStsSizeErr);
    EXPECT_EQ(vpiSum_8u_C1R(b, 0, {4, 1}, &sum), vpStsStepErr);
    EXPECT_EQ(vpiSum_32f_C1R(f, 16, {4, 1}, nullptr, 1), vpStsNullPtrErr);
    EXPECT_EQ(vpiSum_32f_C1R(f, 16, {0, 1}, &sum, 1), vpStsSizeErr);
    EXPECT_EQ(vpiSum_32f_C1R(f, -16, {4, 1}, &sum, 1), vpStsStepErr);
    EXPECT_EQ(sum, -1.0);
}

}  // namespace
