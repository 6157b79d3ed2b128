#include <gtest/gtest.h>

#include <cstring>

#include "guarded_image.h"
#include "primitives/core/level_routines.h"
#include "primitives/primitives.h"

namespace {

TEST(ImageCopy, EveryPixelSizeCopiesTheRegionOnly) {
    for (int width : {1, 3, 17, 40}) {
        for (int height : {1, 4}) {
            GuardedImage<Vp8u> s1(width, height, 3, 1), d1(width, height, 9, 2);
            s1.fill([](int x, int y) { return Vp8u(x + 7 * y); });
            ASSERT_EQ(vpiCopy_8u_C1R(s1.data(), s1.step(), d1.data(), d1.step(), s1.size()), vpStsNoErr);
            GuardedImage<Vp8u> s3(width * 3, height, 2), d3(width * 3, height, 5, 3);
            s3.fill([](int x, int y) { return Vp8u(x * 3 + y); });
            ASSERT_EQ(vpiCopy_8u_C3R(s3.data(), s3.step(), d3.data(), d3.step(), {width, height}), vpStsNoErr);
            GuardedImage<float> sf(width, height, 4), df(width, height, 12);
            sf.fill([](int x, int y) { return float(x) - 0.5f * y; });
            ASSERT_EQ(vpiCopy_32f_C1R(sf.data(), sf.step(), df.data(), df.step(), sf.size()), vpStsNoErr);
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < width; ++x) {
                    EXPECT_EQ(d1.get(x, y), s1.get(x, y));
                    EXPECT_EQ(df.get(x, y), sf.get(x, y));
                }
                for (int x = 0; x < 3 * width; ++x) EXPECT_EQ(d3.get(x, y), s3.get(x, y));
            }
            EXPECT_TRUE(d1.guardsIntact() && d3.guardsIntact() && df.guardsIntact());
        }
    }
}

TEST(ImageCopy, ContiguousAndPaddedDestinationsGiveTheSamePixels) {
    std::vector<Vp8u> src(30);
    for (int i = 0; i < 30; ++i) src[i] = Vp8u(i + 1);
    std::vector<Vp8u> packed(30, 0);
    ASSERT_EQ(vpiCopy_8u_C1R(src.data(), 10, packed.data(), 10, {10, 3}), vpStsNoErr);
    EXPECT_EQ(packed, src);
    GuardedImage<Vp8u> padded(10, 3, 6);
    ASSERT_EQ(vpiCopy_8u_C1R(src.data(), 10, padded.data(), padded.step(), {10, 3}), vpStsNoErr);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 10; ++x) EXPECT_EQ(padded.get(x, y), src[y * 10 + x]);
    EXPECT_TRUE(padded.guardsIntact());
}

TEST(ImageCopy, ArgumentChecks) {
    Vp8u a[4] = {1, 2, 3, 4}, b[4] = {};
    EXPECT_EQ(vpiCopy_8u_C1R(nullptr, 0, b, 4, {0, 1}), vpStsNullPtrErr);
    EXPECT_EQ(vpiCopy_8u_C3R(a, 4, nullptr, 4, {1, 1}), vpStsNullPtrErr);
    EXPECT_EQ(vpiCopy_8u_C1R(a, 0, b, 0, {4, 0}), vpStsSizeErr);
    EXPECT_EQ(vpiCopy_32f_C1R(reinterpret_cast<float*>(a), 0, reinterpret_cast<float*>(b), 4, {1, 1}), vpStsStepErr);
    EXPECT_EQ(vpiCopy_8u_C1R(a, 4, b, -1, {4, 1}), vpStsStepErr);
    EXPECT_EQ(b[0], 0);
}

TEST(ImageCopy, LevelRoutineVectorCopy) {
    const float src[3] = {1.0f, -2.0f, 3.5f};
    float dst[4] = {0, 0, 0, 9};
    EXPECT_EQ(vpsCopy_32f_px(src, dst, 0), vpStsSizeErr);
    EXPECT_EQ(dst[0], 0.0f);
    EXPECT_EQ(vpsCopy_32f_px(nullptr, dst, 0), vpStsNullPtrErr);
    EXPECT_EQ(vpsCopy_32f_px(src, nullptr, 3), vpStsNullPtrErr);
    EXPECT_EQ(vpsCopy_32f_px(src, dst, 1), vpStsNoErr);
    EXPECT_EQ(dst[0], 1.0f);
    EXPECT_EQ(dst[1], 0.0f);
    EXPECT_EQ(vpsCopy_32f_px(src, dst, 3), vpStsNoErr);
    EXPECT_EQ(dst[2], 3.5f);
    EXPECT_EQ(dst[3], 9.0f);
}

using Words = GuardedImage<Vp32s>;

// The border copy against its definition: destination pixel (x, y) is the
// source pixel at the clamped position (x - L, y - T).
void expectReplicated(const Words& src, const Words& dst, int top, int left) {
    for (int y = 0; y < dst.height(); ++y)
        for (int x = 0; x < dst.width(); ++x) {
            const int sx = std::min(std::max(x - left, 0), src.width() - 1);
            const int sy = std::min(std::max(y - top, 0), src.height() - 1);
            ASSERT_EQ(dst.get(x, y), src.get(sx, sy)) << "at " << x << "," << y;
        }
    EXPECT_TRUE(dst.guardsIntact());
}

TEST(ReplicateBorder, FillsAroundTheSourceByRepeatingItsEdges) {
    struct Case {
        int w, h, wd, hd, top, left;
    };
    const Case cases[] = {{1, 1, 3, 3, 1, 1}, {4, 3, 4, 3, 0, 0}, {4, 3, 9, 7, 2, 3},
                          {5, 2, 8, 2, 0, 3}, {2, 5, 2, 9, 4, 0}, {3, 3, 6, 6, 0, 0}};
    for (const Case& c : cases) {
        Words src(c.w, c.h, 8), dst(c.wd, c.hd, 12);
        src.fill([](int x, int y) { return Vp32s(100 * y + x + 1); });
        ASSERT_EQ(vpiCopyReplicateBorder_32s_C1R(src.data(), src.step(), src.size(), dst.data(), dst.step(), dst.size(),
                                                 c.top, c.left),
                  vpStsNoErr);
        expectReplicated(src, dst, c.top, c.left);
    }
}

TEST(ReplicateBorder, ChecksStepsBeforeSizes) {
    Words src(3, 3), dst(5, 5);
    const auto d0 = dst.bytes();
    auto call = [&](int srcStep, int dstStep, VpiSize s, VpiSize d, int top, int left) {
        return vpiCopyReplicateBorder_32s_C1R(src.data(), srcStep, s, dst.data(), dstStep, d, top, left);
    };
    EXPECT_EQ(vpiCopyReplicateBorder_32s_C1R(nullptr, 0, {0, 0}, dst.data(), 0, {0, 0}, -1, -1), vpStsNullPtrErr);
    EXPECT_EQ(call(0, dst.step(), {0, 3}, {5, 5}, 1, 1), vpStsStepErr);
    EXPECT_EQ(call(src.step(), -4, {3, 3}, {5, 5}, 1, 1), vpStsStepErr);
    EXPECT_EQ(call(src.step(), dst.step(), {0, 3}, {5, 5}, 1, 1), vpStsSizeErr);
    EXPECT_EQ(call(src.step(), dst.step(), {3, 3}, {5, 0}, 1, 1), vpStsSizeErr);
    EXPECT_EQ(call(src.step(), dst.step(), {3, 3}, {5, 5}, -1, 1), vpStsSizeErr);
    EXPECT_EQ(call(src.step(), dst.step(), {3, 3}, {5, 5}, 1, -1), vpStsSizeErr);
    EXPECT_EQ(call(src.step(), dst.step(), {3, 3}, {4, 5}, 1, 2), vpStsSizeErr);  // one column short
    EXPECT_EQ(call(src.step(), dst.step(), {3, 3}, {5, 4}, 2, 1), vpStsSizeErr);  // one row short
    EXPECT_EQ(call(src.step(), dst.step(), {3, 3}, {5, 5}, 0x7FFFFFFF, 0x7FFFFFFF), vpStsSizeErr);  // no overflow
    EXPECT_EQ(dst.bytes(), d0);
}

TEST(SetFloat, WritesTheValueIntoEveryPixelOfTheRegion) {
    for (int offset : {0, 1, 2, 3}) {  // a destination that is not 4-byte aligned too
        GuardedImage<float> dst(7, 3, 5, offset);
        ASSERT_EQ(vpiSet_32f_C1R(-1.25f, dst.data(), dst.step(), dst.size()), vpStsNoErr);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 7; ++x) EXPECT_EQ(bitsOf(dst.get(x, y)), bitsOf(-1.25f));
        EXPECT_TRUE(dst.guardsIntact());
    }
    float one = 0.0f;
    EXPECT_EQ(vpiSet_32f_C1R(2.0f, nullptr, 0, {0, 0}), vpStsNullPtrErr);
    EXPECT_EQ(vpiSet_32f_C1R(2.0f, &one, 0, {1, 0}), vpStsSizeErr);
    EXPECT_EQ(vpiSet_32f_C1R(2.0f, &one, 0, {1, 1}), vpStsStepErr);
    EXPECT_EQ(one, 0.0f);
}

}  // namespace
