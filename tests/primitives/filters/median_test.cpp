// The median filter against a brute-force median, on exact-size buffers so
// that the sanitizer build catches any read outside the mask's reach.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "primitives/filters/filters_internal.h"
#include "primitives/primitives.h"

namespace {

struct Plane {
    int width, height, step;
    std::vector<Vp8u> bytes;
    Plane(int w, int h, int extra, unsigned seed) : width(w), height(h), step(w + extra), bytes() {
        // The last row is only as long as the image, so nothing follows the
        // last pixel of the reach.
        bytes.resize(static_cast<size_t>(step) * (h - 1) + w);
        std::mt19937 rng(seed);
        for (auto& b : bytes) b = static_cast<Vp8u>(rng() % 7 == 0 ? 255 : rng() & 0xff);
    }
    Vp8u at(int x, int y) const { return bytes[static_cast<size_t>(y) * step + x]; }
};

std::vector<Vp8u> bruteForce(const Plane& src, int W, int H, int mw, int mh) {
    // The window of output (x, y) starts at (x, y) of the source plane.
    std::vector<Vp8u> out(static_cast<size_t>(W) * H);
    std::vector<Vp8u> window;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            window.clear();
            for (int j = 0; j < mh; ++j)
                for (int i = 0; i < mw; ++i) window.push_back(src.at(x + i, y + j));
            std::nth_element(window.begin(), window.begin() + window.size() / 2, window.end());
            out[static_cast<size_t>(y) * W + x] = window[window.size() / 2];
        }
    return out;
}

TEST(MedianFilter, MatchesBruteForceForEveryOddMaskAnchorAndWidth) {
    const int widths[] = {1, 2, 3, 4, 5, 7, 8, 13, 16, 17, 31, 40};
    unsigned seed = 1;
    for (int mw = 1; mw <= 7; mw += 2)
        for (int mh = 1; mh <= 7; mh += 2)
            for (int ay = 0; ay < mh; ++ay)
                for (int ax = 0; ax < mw; ++ax)
                    for (int W : widths) {
                        const int H = 3 + (seed % 3);
                        const int extra = static_cast<int>(seed % 5);  // several row offsets
                        Plane src(W + mw - 1, H + mh - 1, extra, ++seed);
                        const int dstStep = W + 3;
                        std::vector<Vp8u> dst(static_cast<size_t>(dstStep) * H, 0xAB);
                        // pSrc is the source pixel under the anchor for output (0, 0).
                        const Vp8u* pSrc = src.bytes.data() + static_cast<size_t>(ay) * src.step + ax;
                        ASSERT_EQ(vpiFilterMedian_8u_C1R_px(pSrc, src.step, dst.data(), dstStep, {W, H}, {mw, mh},
                                                            {ax, ay}),
                                  vpStsNoErr);
                        const auto expected = bruteForce(src, W, H, mw, mh);
                        for (int y = 0; y < H; ++y) {
                            for (int x = 0; x < W; ++x)
                                ASSERT_EQ(dst[static_cast<size_t>(y) * dstStep + x], expected[static_cast<size_t>(y) * W + x])
                                    << mw << "x" << mh << " anchor " << ax << "," << ay << " W " << W << " at " << x
                                    << "," << y;
                            for (int x = W; x < dstStep; ++x) ASSERT_EQ(dst[static_cast<size_t>(y) * dstStep + x], 0xAB);
                        }
                    }
}

// The square masks sort whole rows of window columns in passes of many
// outputs: long rows cross the pass boundaries, and few distinct values make
// ties everywhere.
TEST(MedianFilter, SquareMasksOnLongRowsAndManyTies) {
    struct Case {
        int mask, W, values;
    };
    const Case cases[] = {{3, 1023, 256}, {3, 1025, 3}, {3, 2100, 256}, {5, 1024, 256},
                          {5, 1029, 2},   {5, 3001, 5}, {3, 720, 1},    {5, 716, 256}};
    unsigned seed = 40;
    for (const auto& c : cases) {
        const int H = 3;
        Plane src(c.W + c.mask - 1, H + c.mask - 1, 3, ++seed);
        std::mt19937 rng(seed);
        for (auto& b : src.bytes) b = static_cast<Vp8u>((rng() % c.values) * (255 / std::max(1, c.values - 1)));
        const int dstStep = c.W + 1;
        std::vector<Vp8u> dst(static_cast<size_t>(dstStep) * H, 0xAB);
        const int r = c.mask / 2;
        ASSERT_EQ(vpiFilterMedian_8u_C1R_px(src.bytes.data() + static_cast<size_t>(r) * src.step + r, src.step,
                                            dst.data(), dstStep, {c.W, H}, {c.mask, c.mask}, {r, r}),
                  vpStsNoErr);
        const auto expected = bruteForce(src, c.W, H, c.mask, c.mask);
        for (int y = 0; y < H; ++y) {
            for (int x = 0; x < c.W; ++x)
                ASSERT_EQ(dst[static_cast<size_t>(y) * dstStep + x], expected[static_cast<size_t>(y) * c.W + x])
                    << c.mask << "x" << c.mask << " W " << c.W << " at " << x << "," << y;
            ASSERT_EQ(dst[static_cast<size_t>(y) * dstStep + c.W], 0xAB);
        }
    }
}

TEST(MedianFilter, ThresholdOfAWindowDecidesBetweenZeroAnd255) {
    // A 5x5 window with exactly 12 zeros gives 255; with 13 zeros it gives 0.
    for (int zeros : {12, 13}) {
        std::vector<Vp8u> src(25, 255);
        for (int i = 0; i < zeros; ++i) src[(i * 7) % 25] = 0;
        Vp8u out = 77;
        ASSERT_EQ(vpiFilterMedian_8u_C1R_px(src.data() + 2 * 5 + 2, 5, &out, 1, {1, 1}, {5, 5}, {2, 2}), vpStsNoErr);
        EXPECT_EQ(out, zeros == 12 ? 255 : 0);
    }
}

TEST(MedianFilter, OneColumnPathReportsAllocationFailureBeforeWriting) {
    std::vector<Vp8u> src(9 * 4, 10);
    std::vector<Vp8u> dst(4, 0xAB);
    vpSetHeapHooks([](std::size_t) -> void* { return nullptr; }, nullptr);
    const VpStatus status = vpiFilterMedian_8u_C1R_px(src.data() + 3 * 4, 4, dst.data(), 4, {4, 1}, {1, 7}, {0, 3});
    vpSetHeapHooks(nullptr, nullptr);
    EXPECT_EQ(status, vpStsMemAllocErr);
    EXPECT_EQ(dst, std::vector<Vp8u>(4, 0xAB));
}

TEST(MedianFilter, ArgumentChecksInOrder) {
    Vp8u buf[64] = {};
    struct Case {
        const Vp8u* src;
        Vp8u* dst;
        VpiSize roi;
        int srcStep, dstStep;
        VpiSize mask;
        VpiPoint anchor;
        VpStatus expected;
    } cases[] = {
        {nullptr, buf, {0, 1}, 8, 8, {3, 3}, {1, 1}, vpStsNullPtrErr},   // null before size
        {buf + 9, nullptr, {1, 1}, 8, 8, {3, 3}, {1, 1}, vpStsNullPtrErr},
        {buf + 9, buf, {0, 1}, 0, 8, {3, 3}, {1, 1}, vpStsSizeErr},      // size before step
        {buf + 9, buf, {1, -1}, 8, 8, {3, 3}, {1, 1}, vpStsSizeErr},
        {buf + 9, buf, {1, 1}, 0, 8, {2, 3}, {1, 1}, vpStsStepErr},      // step before mask
        {buf + 9, buf, {1, 1}, 8, 0, {3, 3}, {1, 1}, vpStsStepErr},
        {buf + 9, buf, {1, 1}, 8, 8, {2, 3}, {9, 9}, vpStsMaskSizeErr},  // mask before anchor
        {buf + 9, buf, {1, 1}, 8, 8, {3, 4}, {1, 1}, vpStsMaskSizeErr},
        {buf + 9, buf, {1, 1}, 8, 8, {0, 3}, {0, 1}, vpStsMaskSizeErr},
        {buf + 9, buf, {1, 1}, 8, 8, {3, 3}, {3, 1}, vpStsAnchorErr},
        {buf + 9, buf, {1, 1}, 8, 8, {3, 3}, {1, -1}, vpStsAnchorErr},
        {buf + 9, buf, {1, 1}, 8, 8, {1, 1}, {0, 1}, vpStsAnchorErr},
    };
    for (const auto& c : cases)
        EXPECT_EQ(vpiFilterMedian_8u_C1R_px(c.src, c.srcStep, c.dst, c.dstStep, c.roi, c.mask, c.anchor), c.expected);
}

TEST(MedianFilter, FixedMaskRoutinesCheckTheirOwnArguments) {
    Vp8u buf[32] = {};
    EXPECT_EQ(FilterMedianVertical_px(buf + 8, 8, buf, 8, 1, 1, vpiMskSize3x3), vpStsMaskSizeErr);
    EXPECT_EQ(FilterMedianHorizontal_px(buf + 8, 8, buf, 8, 1, 1, vpiMskSize1x3), vpStsMaskSizeErr);
    EXPECT_EQ(FilterMedianHorizontal_px(nullptr, 8, buf, 8, 0, 1, vpiMskSize3x1), vpStsNullPtrErr);
    EXPECT_EQ(FilterMedianVertical_px(buf + 8, 8, buf, 8, 0, 1, vpiMskSize1x3), vpStsSizeErr);
    EXPECT_EQ(FilterMedianVertical_px(buf + 8, 0, buf, 8, 1, 1, vpiMskSize1x3), vpStsStepErr);
}

}  // namespace
