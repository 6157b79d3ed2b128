// Destination clipping and the row spans that decide which pixels a warp writes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "primitives/core/memory.h"
#include "primitives/warp/warp_px.h"
#include "tests/primitives/warp/warp_test_support.h"

namespace {

struct Spans {
    int result = 0;
    int firstRow = 0, lastRow = -1;
    std::vector<WarpRowSpan> rows;
};

Spans build(const double quad[4][2], int x0, int y0, int x1, int y1, int orientation) {
    Spans s;
    WarpRowSpan* p = nullptr;
    s.result = BuildWarpSpans_px(quad, x0, y0, x1, y1, orientation, &p, &s.firstRow, &s.lastRow);
    if (s.result == kWarpSpansBuilt) {
        s.rows.assign(p, p + (s.lastRow - s.firstRow + 1));
        vpsFree(p);
    } else {
        EXPECT_EQ(nullptr, p);
    }
    return s;
}

void expectSpans(const Spans& s, int firstRow, const std::vector<std::pair<int, int>>& expected) {
    ASSERT_EQ(kWarpSpansBuilt, s.result);
    EXPECT_EQ(firstRow, s.firstRow);
    ASSERT_EQ(expected.size(), s.rows.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(expected[i].first, s.rows[i].xBegin) << "row " << firstRow + static_cast<int>(i);
        EXPECT_EQ(expected[i].second, s.rows[i].xEnd) << "row " << firstRow + static_cast<int>(i);
    }
}

TEST(WarpSpans, IdentityRegionInsideALargerDestination) {
    const double quad[4][2] = {{0, 0}, {9, 0}, {9, 4}, {0, 4}};
    expectSpans(build(quad, 0, 0, 30, 20, 1), 0, {{0, 9}, {0, 9}, {0, 9}, {0, 9}, {0, 9}});
}

TEST(WarpSpans, DiamondInBothOrientations) {
    // x' = x - y + 2, y' = x + y over the source region {0, 0, 3, 3}.
    const double quad[4][2] = {{2, 0}, {4, 2}, {2, 4}, {0, 2}};
    const std::vector<std::pair<int, int>> diamond = {{2, 2}, {1, 3}, {0, 4}, {1, 3}, {2, 2}};
    expectSpans(build(quad, 0, 0, 10, 10, 1), 0, diamond);
    // The same outline walked the other way round.
    const double mirrored[4][2] = {{2, 0}, {0, 2}, {2, 4}, {4, 2}};
    expectSpans(build(mirrored, 0, 0, 10, 10, 0), 0, diamond);
}

TEST(WarpSpans, DiamondClippedByTheDestinationRectangle) {
    const double quad[4][2] = {{2, 0}, {4, 2}, {2, 4}, {0, 2}};
    expectSpans(build(quad, 1, 1, 3, 3, 1), 1, {{1, 3}, {1, 3}, {1, 3}});
}

TEST(WarpSpans, QuadrangleBetweenTwoRowsCoversNothing) {
    const double quad[4][2] = {{1, 2.3}, {8, 2.4}, {8.5, 2.8}, {1.5, 2.7}};
    EXPECT_EQ(kWarpSpansEmpty, build(quad, 0, 0, 20, 20, 1).result);
}

TEST(WarpSpans, TouchingTheBottomLineKeepsOneRow) {
    // The square 2..6 x 5..9 touches the rectangle 0..10 x 0..5 along y = 5.
    const double quad[4][2] = {{2, 5}, {6, 5}, {6, 9}, {2, 9}};
    expectSpans(build(quad, 0, 0, 10, 5, 1), 5, {{2, 6}});
}

TEST(WarpSpans, TouchingOneCornerGivesOnePixel) {
    const double quad[4][2] = {{10, 5}, {14, 5}, {14, 9}, {10, 9}};
    expectSpans(build(quad, 0, 0, 10, 5, 1), 5, {{10, 10}});
}

TEST(WarpSpans, EdgeToleranceOfOneHundredthOfAPicometre) {
    const double near = 3 + 1e-15, far = 3 + 1e-12;
    const double quadNear[4][2] = {{near, 0}, {9, 0}, {9, 2}, {near, 2}};
    const double quadFar[4][2] = {{far, 0}, {9, 0}, {9, 2}, {far, 2}};
    expectSpans(build(quadNear, 0, 0, 20, 20, 1), 0, {{3, 9}, {3, 9}, {3, 9}});
    expectSpans(build(quadFar, 0, 0, 20, 20, 1), 0, {{4, 9}, {4, 9}, {4, 9}});
    // And on the right side.
    const double quadRight[4][2] = {{1, 0}, {9 - 1e-15, 0}, {9 - 1e-15, 1}, {1, 1}};
    expectSpans(build(quadRight, 0, 0, 20, 20, 1), 0, {{1, 9}, {1, 9}});
}

TEST(WarpSpans, ClippingDiscardsAndKeepsWholePolygons) {
    WarpPoint poly[kWarpPolygonCapacity] = {{-9, 0}, {-5, 0}, {-5, 4}, {-9, 4}};
    WarpPoint second[kWarpPolygonCapacity];
    int count = 4;
    ClipQuadToRect_px(poly, second, &count, 0, 0, 10, 10);
    EXPECT_EQ(0, count);

    WarpPoint inside[kWarpPolygonCapacity] = {{1, 1}, {5, 1}, {5, 4}, {1, 4}};
    count = 4;
    ClipQuadToRect_px(inside, second, &count, 0, 0, 10, 10);
    ASSERT_EQ(4, count);
    EXPECT_EQ(5.0, inside[2].x);
}

TEST(WarpSpans, DiamondCrossingAllFourSidesBecomesAnOctagon) {
    WarpPoint poly[kWarpPolygonCapacity] = {{5, -2}, {12, 5}, {5, 12}, {-2, 5}};
    WarpPoint second[kWarpPolygonCapacity];
    int count = 4;
    ClipQuadToRect_px(poly, second, &count, 0, 0, 10, 10);
    ASSERT_EQ(8, count);
    for (int i = 0; i < count; ++i) {
        EXPECT_GE(poly[i].x, 0.0);
        EXPECT_LE(poly[i].x, 10.0);
        EXPECT_GE(poly[i].y, 0.0);
        EXPECT_LE(poly[i].y, 10.0);
    }
    const double quad[4][2] = {{5, -2}, {12, 5}, {5, 12}, {-2, 5}};
    const Spans s = build(quad, 0, 0, 10, 10, 1);
    ASSERT_EQ(kWarpSpansBuilt, s.result);
    EXPECT_EQ(0, s.firstRow);
    EXPECT_EQ(10, s.lastRow);
    // |x - 5| + |y - 5| <= 7 inside the rectangle.
    for (int y = 0; y <= 10; ++y) {
        const int half = 7 - std::abs(y - 5);
        EXPECT_EQ(std::max(0, 5 - half), s.rows[y].xBegin) << y;
        EXPECT_EQ(std::min(10, 5 + half), s.rows[y].xEnd) << y;
    }
}

using warp_test::CountingHeap;

TEST(WarpSpans, FailedAllocationIsReportedApart) {
    const double quad[4][2] = {{0, 0}, {9, 0}, {9, 4}, {0, 4}};
    vpSetHeapHooks(CountingHeap::alloc, CountingHeap::release);
    CountingHeap::allocationsLeft = 0;
    const Spans failed = build(quad, 0, 0, 30, 20, 1);
    CountingHeap::allocationsLeft = 1 << 30;
    const Spans ok = build(quad, 0, 0, 30, 20, 1);
    vpSetHeapHooks(nullptr, nullptr);
    EXPECT_EQ(kWarpSpansAllocFailed, failed.result);
    EXPECT_EQ(kWarpSpansBuilt, ok.result);
    EXPECT_EQ(0, CountingHeap::liveBlocks);
}

}  // namespace
