// The median filter at every SIMD level against px, byte for byte: every mask
// up to 7x7 with every anchor, widths 1 to 40, every source and destination
// alignment, the source reach ending on an inaccessible page and canaries
// around and between destination rows.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "primitives/filters/filters_internal.h"
#include "primitives/primitives.h"
#include "tests/primitives/level_harness.h"

namespace {

using level_harness::GuardPageBlock;
using level_harness::kSimdLevels;
using level_harness::levelName;
using level_harness::OffsetRows;
using level_harness::ScopedLevel;
using level_harness::Subsystem;

// A source plane holding exactly the reach of a W x H median with the given
// mask: rows of W + mw - 1 bytes `extra` bytes apart; its last byte is the
// last byte before an inaccessible page.
struct ReachPlane {
    int rowBytes, step, rows;
    GuardPageBlock block;
    ReachPlane(int W, int H, int mw, int mh, int extra)
        : rowBytes(W + mw - 1), step(rowBytes + extra), rows(H + mh - 1),
          block(static_cast<std::size_t>(step) * (rows - 1) + rowBytes) {}
    Vp8u* at(int x, int y) { return block.data() + static_cast<std::size_t>(y) * step + x; }
};

void fillPlane(ReachPlane& plane, std::mt19937& rng) {
    // Few distinct values half of the time, so ties between window values are common.
    const bool fewValues = rng() & 1;
    for (int y = 0; y < plane.rows; ++y)
        for (int x = 0; x < plane.rowBytes; ++x)
            *plane.at(x, y) = static_cast<Vp8u>(fewValues ? (rng() % 4) * 85 : rng());
}

std::vector<Vp8u> regionOf(OffsetRows<Vp8u>& rows) {
    std::vector<Vp8u> v;
    for (int y = 0; y < rows.size().height; ++y)
        for (int x = 0; x < rows.size().width; ++x) v.push_back(rows.get(x, y));
    return v;
}

// Runs every SIMD level and px on one source and compares.
void checkLevels(int W, int H, int mw, int mh, int ax, int ay, int extra, int dstOffset, std::mt19937& rng) {
    ReachPlane plane(W, H, mw, mh, extra);
    fillPlane(plane, rng);
    const Vp8u* pSrc = plane.at(ax, ay);
    OffsetRows<Vp8u> expected(W, H, dstOffset, 5);
    ASSERT_EQ(vpiFilterMedian_8u_C1R_px(pSrc, plane.step, expected.data(), expected.step(), {W, H}, {mw, mh},
                                        {ax, ay}),
              vpStsNoErr);
    const auto want = regionOf(expected);
    for (VpLevel level : kSimdLevels) {
        ScopedLevel scoped(level, Subsystem::Filters);
        OffsetRows<Vp8u> got(W, H, dstOffset, 5);
        ASSERT_EQ(vpiFilterMedian_8u_C1R(pSrc, plane.step, got.data(), got.step(), {W, H}, {mw, mh}, {ax, ay}),
                  vpStsNoErr);
        ASSERT_EQ(regionOf(got), want) << levelName(level) << " mask " << mw << "x" << mh << " anchor " << ax << ","
                                       << ay << " W " << W << " H " << H << " step " << plane.step << " dst offset "
                                       << dstOffset;
        ASSERT_TRUE(got.canariesIntact()) << levelName(level) << " mask " << mw << "x" << mh << " W " << W;
    }
}

bool isFixedMask(int mw, int mh) {
    return (mw == 3 || mw == 5) ? (mh == 1 || mh == mw) : (mw == 1 && (mh == 3 || mh == 5));
}

TEST(MedianLevels, FixedMasksEqualPxForEveryWidthAnchorAndAlignment) {
    std::mt19937 rng(17);
    const int masks[][2] = {{1, 3}, {1, 5}, {3, 1}, {5, 1}, {3, 3}, {5, 5}};
    for (const auto& m : masks)
        for (int W = 1; W <= 40; ++W)
            for (int extra = 0; extra < 16; ++extra) {
                // Two rows above the reach's last make the source start take
                // all 16 alignments as the step grows by one byte at a time;
                // extra = 0 is the tightest step, W + mw - 1.
                const int H = (m[1] % 2) ? 2 : 3;
                const int ax = (W + extra) % m[0];
                const int ay = (W * 3 + extra) % m[1];
                checkLevels(W, H, m[0], m[1], ax, ay, extra, (extra * 7 + W) % 16, rng);
            }
}

TEST(MedianLevels, EveryMaskAndAnchorUpTo7x7) {
    std::mt19937 rng(23);
    const int widths[] = {1, 2, 7, 8, 9, 15, 16, 17, 31, 32, 33, 40};
    for (int mw = 1; mw <= 7; mw += 2)
        for (int mh = 1; mh <= 7; mh += 2)
            for (int ay = 0; ay < mh; ++ay)
                for (int ax = 0; ax < mw; ++ax)
                    for (int W : widths) {
                        const int extra = (ax * 5 + ay * 3 + W) % 16;
                        checkLevels(W, 4, mw, mh, ax, ay, extra, (W + ax + ay) % 16, rng);
                        if (!isFixedMask(mw, mh)) break;  // the histogram walk is the same routine at every level
                    }
}

TEST(MedianLevels, BlockBoundariesOnTallImages) {
    // W = 7/8, 15/16 and 31/32 around the 8- and 16-output blocks, on enough
    // rows that every row start takes a different alignment.
    std::mt19937 rng(5);
    for (int W : {7, 8, 15, 16, 31, 32})
        for (int m : {3, 5})
            for (int dstOffset : {0, 1, 8, 15}) {
                checkLevels(W, 19, m, m, m / 2, m / 2, 3, dstOffset, rng);
                checkLevels(W, 19, m, 1, m / 2, 0, 5, dstOffset, rng);
                checkLevels(W, 19, 1, m, 0, m / 2, 1, dstOffset, rng);
            }
}

TEST(MedianLevels, EngineSizedPlane) {
    // A 720x576 plane's interior as the engine filters it, with a 16-byte-multiple step.
    std::mt19937 rng(9);
    for (int m : {3, 5, 7}) checkLevels(720 - m + 1, 24, m, m, m / 2, m / 2, 0, 0, rng);
}

TEST(MedianLevels, ArgumentChecksAndOneByOneCopyAtEveryLevel) {
    Vp8u src[16 * 3];
    for (int i = 0; i < 48; ++i) src[i] = static_cast<Vp8u>(i * 37);
    for (VpLevel level : kSimdLevels) {
        ScopedLevel scoped(level, Subsystem::Filters);
        Vp8u dst[16] = {};
        EXPECT_EQ(vpiFilterMedian_8u_C1R(nullptr, 16, dst, 16, {0, 1}, {3, 3}, {1, 1}), vpStsNullPtrErr);
        EXPECT_EQ(vpiFilterMedian_8u_C1R(src, 16, dst, 16, {1, 1}, {3, 4}, {1, 1}), vpStsMaskSizeErr);
        EXPECT_EQ(vpiFilterMedian_8u_C1R(src, 16, dst, 16, {1, 1}, {3, 3}, {3, 1}), vpStsAnchorErr);
        EXPECT_EQ(vpiFilterMedian_8u_C1R(src, 16, dst, 16, {1, 1}, {1, 1}, {0, 1}), vpStsAnchorErr);
        EXPECT_EQ(vpiFilterMedian_8u_C1R(src + 16, 16, dst, 16, {5, 1}, {1, 1}, {0, 0}), vpStsNoErr);
        for (int x = 0; x < 5; ++x) EXPECT_EQ(dst[x], src[16 + x]) << levelName(level);
        EXPECT_EQ(dst[5], 0);
        EXPECT_EQ(FilterMedianVertical_px(src + 16, 16, dst, 16, 1, 1, vpiMskSize3x3), vpStsMaskSizeErr);
    }
    EXPECT_EQ(FilterMedianVertical_a6(src + 16, 16, src, 16, 1, 1, vpiMskSize3x1), vpStsMaskSizeErr);
    EXPECT_EQ(FilterMedianHorizontal_w7(src + 16, 16, src, 16, 1, 1, vpiMskSize1x3), vpStsMaskSizeErr);
    EXPECT_EQ(FilterMedianHorizontal_t7(src + 16, 0, src, 16, 1, 1, vpiMskSize3x1), vpStsStepErr);
}

}  // namespace
