// The SIMD levels' copies, fill, border replication and float vector copy
// give exactly px's bytes, over every width 1 to 40 and start offset, with
// the rows' reach ending on a guard page and the bytes between rows intact.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "primitives/core/level_routines.h"
#include "tests/primitives/level_harness.h"

namespace {

using namespace level_harness;

typedef VpStatus (*ByteCopyFn)(const Vp8u*, int, Vp8u*, int, VpiSize);

// Copies of 1, 3 and 4 bytes per pixel over one shape; the 4-byte copy is
// the float entry with its bytes taken as they are.
VpStatus copyAt(VpLevel level, int pixelBytes, const Vp8u* src, int srcStep, Vp8u* dst, int dstStep, VpiSize size) {
    switch (pixelBytes) {
        case 1: return LEVEL_VARIANTS(vpiCopy_8u_C1R)[level](src, srcStep, dst, dstStep, size);
        case 3: return LEVEL_VARIANTS(vpiCopy_8u_C3R)[level](src, srcStep, dst, dstStep, size);
        default:
            return LEVEL_VARIANTS(vpiCopy_32f_C1R)[level](reinterpret_cast<const Vp32f*>(src), srcStep,
                                                          reinterpret_cast<Vp32f*>(dst), dstStep, size);
    }
}

TEST(CopyLevels, ImageCopiesEveryWidthAndOffset) {
    std::uint32_t rng = 11;
    for (VpLevel level : kSimdLevels)
        for (int pixelBytes : {1, 3, 4})
            for (const Shape& s : tableShapes())
                for (int height : {2, 4}) {
                    // Four-byte pixels are floats: their rows keep the float grid.
                    const int align = pixelBytes == 4 ? 4 : 1;
                    OffsetRows<Vp8u> src(s.width * pixelBytes, height, s.srcOffset, 8, true, align);
                    OffsetRows<Vp8u> dst(s.width * pixelBytes, height, s.dstOffset, 8, true, align);
                    src.fill([&](int, int) { return static_cast<Vp8u>(nextRandom(rng)); });
                    ASSERT_EQ(copyAt(level, pixelBytes, src.data(), src.step(), dst.data(), dst.step(),
                                     {s.width, height}),
                              vpStsNoErr);
                    for (int y = 0; y < height; ++y)
                        ASSERT_EQ(std::memcmp(src.row(y), dst.row(y), static_cast<std::size_t>(s.width) * pixelBytes), 0)
                            << describe(level, s) << " pixel bytes " << pixelBytes << " row " << y;
                    ASSERT_TRUE(dst.canariesIntact()) << describe(level, s) << " pixel bytes " << pixelBytes;
                }
}

// Rows without gaps are copied as one run; above 128 KiB it streams. Both
// with the end on a guard page, and the run a few bytes off a 16-byte boundary.
TEST(CopyLevels, ContiguousImagesSmallAndStreamed) {
    std::uint32_t rng = 3;
    for (VpLevel level : kSimdLevels)
        for (int pixelBytes : {1, 3, 4})
            for (VpiSize size : {VpiSize{5, 3}, VpiSize{97, 13}, VpiSize{720, 64}, VpiSize{721, 63}}) {
                GuardedRows<Vp8u> src(size.width * pixelBytes, size.height);
                GuardedRows<Vp8u> dst(size.width * pixelBytes, size.height);
                src.fill([&](int, int) { return static_cast<Vp8u>(nextRandom(rng)); });
                ASSERT_EQ(copyAt(level, pixelBytes, src.data(), src.step(), dst.data(), dst.step(), size), vpStsNoErr);
                ASSERT_EQ(std::memcmp(src.data(), dst.data(), src.byteCount()), 0)
                    << levelName(level) << " " << size.width << "x" << size.height << " pixel bytes " << pixelBytes;
            }
}

TEST(CopyLevels, ArgumentChecks) {
    Vp8u a[16] = {}, b[16] = {};
    for (VpLevel level : kSimdLevels)
        for (int pixelBytes : {1, 3, 4}) {
            EXPECT_EQ(copyAt(level, pixelBytes, nullptr, 4, b, 4, {1, 1}), vpStsNullPtrErr);
            EXPECT_EQ(copyAt(level, pixelBytes, a, 4, nullptr, 4, {0, 1}), vpStsNullPtrErr);
            EXPECT_EQ(copyAt(level, pixelBytes, a, 4, b, 4, {0, 1}), vpStsSizeErr);
            EXPECT_EQ(copyAt(level, pixelBytes, a, 4, b, 4, {1, -1}), vpStsSizeErr);
            EXPECT_EQ(copyAt(level, pixelBytes, a, 0, b, 4, {1, 1}), vpStsStepErr);
            EXPECT_EQ(copyAt(level, pixelBytes, a, 4, b, -4, {1, 1}), vpStsStepErr);
        }
}

TEST(CopyLevels, FillEveryWidthAndOffset) {
    const float values[] = {-1.25f, 0.0f, -0.0f, floatOf(0x7FC01234u), floatOf(0x01020304u)};
    for (VpLevel level : kSimdLevels)
        for (const Shape& s : tableShapes())
            for (float value : values) {
                OffsetRows<float> dst(s.width, 2, s.dstOffset, 8, true);
                ASSERT_EQ(LEVEL_VARIANTS(vpiSet_32f_C1R)[level](value, dst.data(), dst.step(), {s.width, 2}), vpStsNoErr);
                for (int y = 0; y < 2; ++y)
                    for (int x = 0; x < s.width; ++x)
                        ASSERT_EQ(bitsOf(dst.get(x, y)), bitsOf(value)) << describe(level, s) << " at " << x;
                ASSERT_TRUE(dst.canariesIntact()) << describe(level, s);
            }
    // Large enough to stream.
    for (VpLevel level : kSimdLevels) {
        GuardedRows<float> dst(300, 300, 4);
        ASSERT_EQ(LEVEL_VARIANTS(vpiSet_32f_C1R)[level](2.5f, dst.data(), dst.step(), dst.size()), vpStsNoErr);
        for (int y = 0; y < 300; ++y)
            for (int x = 0; x < 300; ++x) ASSERT_EQ(dst.get(x, y), 2.5f) << levelName(level);
        EXPECT_TRUE(dst.canariesIntact());
        EXPECT_EQ(LEVEL_VARIANTS(vpiSet_32f_C1R)[level](1.0f, nullptr, 4, {1, 1}), vpStsNullPtrErr);
        EXPECT_EQ(LEVEL_VARIANTS(vpiSet_32f_C1R)[level](1.0f, dst.data(), 4, {1, 0}), vpStsSizeErr);
        EXPECT_EQ(LEVEL_VARIANTS(vpiSet_32f_C1R)[level](1.0f, dst.data(), 0, {1, 1}), vpStsStepErr);
    }
}

TEST(CopyLevels, BorderReplicationAsPx) {
    std::uint32_t rng = 5;
    struct Case {
        VpiSize src;
        int top, left, extraWidth, extraHeight;
    };
    std::vector<Case> cases;
    for (int w : {1, 2, 3, 7, 17, 40})
        for (int t : {0, 1, 3})
            for (int l : {0, 1, 5, 9})
                for (int extra : {0, 1, 6}) cases.push_back({{w, 3}, t, l, extra, extra + 1});
    for (VpLevel level : kSimdLevels)
        for (const Case& c : cases)
            for (int offset : {0, 4, 7, 12}) {
                VpiSize dstSize{c.src.width + c.left + c.extraWidth, c.src.height + c.top + c.extraHeight};
                dstSize.height += (dstSize.height - 1) % 2 == 0;  // an even height reaches the guard page at any offset
                OffsetRows<Vp32s> src(c.src.width, c.src.height, (offset + 4) % 16);
                src.fill([&](int, int) { return static_cast<Vp32s>(nextRandom(rng)); });
                OffsetRows<Vp32s> want(dstSize.width, dstSize.height, offset, 8, true);
                OffsetRows<Vp32s> got(dstSize.width, dstSize.height, offset, 8, true);
                ASSERT_EQ(vpiCopyReplicateBorder_32s_C1R_px(src.data(), src.step(), c.src, want.data(), want.step(),
                                                            dstSize, c.top, c.left),
                          vpStsNoErr);
                ASSERT_EQ(LEVEL_VARIANTS(vpiCopyReplicateBorder_32s_C1R)[level](
                              src.data(), src.step(), c.src, got.data(), got.step(), dstSize, c.top, c.left),
                          vpStsNoErr);
                for (int y = 0; y < dstSize.height; ++y)
                    for (int x = 0; x < dstSize.width; ++x)
                        ASSERT_EQ(got.get(x, y), want.get(x, y)) << levelName(level) << " width " << c.src.width
                                                                 << " top " << c.top << " left " << c.left
                                                                 << " offset " << offset << " at " << x << "," << y;
                ASSERT_TRUE(got.canariesIntact());
            }
    Vp32s a[4] = {}, b[16] = {};
    for (VpLevel level : kSimdLevels) {
        auto f = LEVEL_VARIANTS(vpiCopyReplicateBorder_32s_C1R)[level];
        EXPECT_EQ(f(nullptr, 4, {1, 1}, b, 12, {3, 3}, 1, 1), vpStsNullPtrErr);
        EXPECT_EQ(f(a, 0, {0, 1}, b, 12, {3, 3}, 1, 1), vpStsStepErr);  // steps before sizes
        EXPECT_EQ(f(a, 4, {1, 1}, b, 12, {1, 3}, 1, 1), vpStsSizeErr);
        EXPECT_EQ(f(a, 4, {1, 1}, b, 12, {3, 3}, -1, 1), vpStsSizeErr);
    }
}

TEST(CopyLevels, FloatVectorCopyEveryLengthAndOffset) {
    std::uint32_t rng = 9;
    auto check = [&](VpLevel level, int len, int srcOffset, int dstOffset) {
        OffsetRows<float> src(len, 1, srcOffset);
        OffsetRows<float> dst(len, 1, dstOffset);
        src.fill([&](int, int) { return floatOf(nextRandom(rng)); });
        ASSERT_EQ(LEVEL_VARIANTS(vpsCopy_32f)[level](src.data(), dst.data(), len), vpStsNoErr);
        ASSERT_EQ(std::memcmp(src.data(), dst.data(), static_cast<std::size_t>(len) * 4), 0)
            << levelName(level) << " length " << len << " offsets " << srcOffset << "/" << dstOffset;
        ASSERT_TRUE(dst.canariesIntact()) << levelName(level) << " length " << len;
    };
    for (VpLevel level : kSimdLevels) {
        for (const Shape& s : tableShapes()) check(level, s.width, s.srcOffset, s.dstOffset);
        // Past each level's streaming limits (2048 and 4096 elements, 256 and 512 KiB).
        for (int len : {2047, 2048, 4096, 5121, 65537, 131073, 140000}) check(level, len, len % 16, (len * 3) % 16);
        GuardedRows<float> gsrc(77, 1), gdst(77, 1);
        ASSERT_EQ(LEVEL_VARIANTS(vpsCopy_32f)[level](gsrc.data(), gdst.data(), 77), vpStsNoErr);
        Vp32f x = 1.0f;
        EXPECT_EQ(LEVEL_VARIANTS(vpsCopy_32f)[level](nullptr, &x, 1), vpStsNullPtrErr);
        EXPECT_EQ(LEVEL_VARIANTS(vpsCopy_32f)[level](&x, &x, 0), vpStsSizeErr);
    }
}

}  // namespace
