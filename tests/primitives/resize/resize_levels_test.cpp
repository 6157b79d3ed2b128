// The resize primitives at the SIMD levels (a6, w7, t7) against px: statuses in
// order at every level, nearest neighbour bit for bit, linear and cubic within
// each level's own rounding, the level-only rules (truncating 8-bit linear,
// the 16-bit split form, the body/scalar split of the cubic passes, t7's direct
// division), allocation failures, and area averaging against a brute-force mean.
// Sources end on a guard page; destinations have canaries between rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "primitives/primitives.h"
#include "primitives/resize/resize_internal.h"
#include "primitives/resize/resize_levels.h"
#include "primitives/resize/resize_px.h"
#include "tests/primitives/level_harness.h"
#include "tests/primitives/resize/resize_test_util.h"

namespace {

using level_harness::GuardedRows;
using level_harness::levelName;
using level_harness::OffsetRows;
using level_harness::ScopedLevel;
using resize_test::areaMean;
using resize_test::GuardedDst;
using resize_test::readElem;
using resize_test::ScopedFailingHeap;
using resize_test::StatusCase;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

typedef VpStatus (*GeneralFn)(const void*, int, int, int, int, int, int, int, void*, int, int, int, double, double,
                              double, double, int, int, int, int, int, int);
typedef VpStatus (*SuperFn)(const void*, VpiSize, int, VpiRect, void*, int, VpiSize, double, double, int, int, int,
                            int);

struct Level {
    VpLevel level;
    GeneralFn general;
    SuperFn super;
    const ResizeKernelEntry* table;
};

const Level kPx{vpLevelPx, ResizeGeneral_px, ResizeSuperSampling_px, ResizeKernelTable_px};
const Level kLevels[] = {
    {vpLevelA6, ResizeGeneral_a6, ResizeSuperSampling_a6, ResizeKernelTable_a6},
    {vpLevelW7, ResizeGeneral_w7, ResizeSuperSampling_w7, ResizeKernelTable_w7},
    {vpLevelT7, ResizeGeneral_t7, ResizeSuperSampling_t7, ResizeKernelTable_t7},
};

int elemSize(int depth) { return depth == 0 ? 1 : (depth == 1 ? 2 : 4); }


// A pixel form of the general driver.
struct Form {
    int nChannels;
    int layout;
    const char* name;
};
const Form kForms[] = {{1, 1, "C1"}, {3, 3, "C3"}, {4, 4, "C4"}, {4, 3, "AC4"}};

// A source image of `width` x `height` pixels of `form` whose last byte lies on a
// guard page, filled with random values (8u, 16u: the whole range; 32f: [-2, 2)).
struct Source {
    GuardedRows<Vp8u> rows;
    int depth;
    Source(int width, int height, int nChannels, int depth, std::uint32_t seed, int gap = 5)
        : rows(width * nChannels * elemSize(depth), height, gap * elemSize(depth)), depth(depth) {
        std::mt19937 rng(seed);
        const int count = width * nChannels;
        for (int y = 0; y < height; ++y) {
            unsigned char* row = reinterpret_cast<unsigned char*>(rows.row(y));
            for (int e = 0; e < count; ++e) {
                if (depth == 0) {
                    row[e] = static_cast<Vp8u>(rng());
                } else if (depth == 1) {
                    const Vp16u v = static_cast<Vp16u>(rng());
                    std::memcpy(row + 2 * e, &v, 2);
                } else {
                    const Vp32f v = std::uniform_real_distribution<float>(-2.0f, 2.0f)(rng);
                    std::memcpy(row + 4 * e, &v, 4);
                }
            }
        }
    }
    const void* data() { return rows.data(); }
    int step() const { return rows.step(); }
};

// A destination of `width` x `height` pixels with canaries between rows, prefilled
// so that elements the kernel must leave alone can be checked.
struct Dest {
    std::vector<unsigned char> block;
    int step;
    int rowBytes;
    int height;
    static constexpr unsigned char kCanary = 0x5A;
    int start;  // bytes from the block's 16-byte aligned start to the region
    Dest(int width, int height, int nChannels, int depth, int gap = 7, int offsetBytes = 0)
        : rowBytes(width * nChannels * elemSize(depth)), height(height),
          start(16 + offsetBytes / elemSize(depth) * elemSize(depth)) {
        step = rowBytes + gap * elemSize(depth);
        block.assign(static_cast<std::size_t>(step) * height + 48, kCanary);
    }
    unsigned char* data() { return block.data() + start; }
    bool canariesIntact(int writtenRows) const {
        for (std::size_t i = 0; i < block.size(); ++i) {
            const long long rel = static_cast<long long>(i) - start;
            const bool inside = rel >= 0 && rel / step < writtenRows && rel % step < rowBytes;
            if (!inside && block[i] != kCanary) return false;
        }
        return true;
    }
    double at(int x, int y, int c, int nChannels, int depth) const {
        return readElem(block.data() + start + static_cast<std::size_t>(y) * step +
                            (static_cast<std::size_t>(x) * nChannels + c) * elemSize(depth),
                        depth);
    }
};

// The value an element of canary bytes reads as.
double canaryValue(int depth) {
    const unsigned char bytes[4] = {Dest::kCanary, Dest::kCanary, Dest::kCanary, Dest::kCanary};
    return readElem(bytes, depth);
}

double ulpOf(float v) {
    const float a = std::fabs(v);
    return std::nextafter(a, std::numeric_limits<float>::infinity()) - a;
}

// ---- statuses -------------------------------------------------------------------------

TEST(ResizeLevelStatus, EveryLevelChecksInOrderAndWritesNothingOnFailure) {
    const StatusCase cases[] = {
        {.name = "null source", .nullSrc = true, .srcSize = {0, 0}, .expected = vpStsNullPtrErr},
        {.name = "null destination", .nullDst = true, .srcStep = 0, .expected = vpStsNullPtrErr},
        {.name = "source width 0 before step", .srcSize = {0, 6}, .srcStep = 0, .expected = vpStsSizeErr},
        {.name = "source step 0 before region", .srcStep = 0, .roi = {-1, 0, 8, 6}, .expected = vpStsStepErr},
        {.name = "destination step 0", .dstStep = 0, .expected = vpStsStepErr},
        {.name = "region x -1", .roi = {-1, 0, 8, 6}, .expected = vpStsSizeErr},
        {.name = "destination width 0 before origin test", .roi = {8, 0, 8, 6}, .dstSize = {0, 12},
         .expected = vpStsSizeErr},
        {.name = "region x at width", .roi = {8, 0, 8, 6}, .expected = vpStsNoOperation},
        {.name = "region y beyond height, factor 0", .roi = {0, 9, 8, 6}, .xFactor = 0.0,
         .expected = vpStsNoOperation},
        {.name = "factor 0 before interpolation", .xFactor = 0.0, .interpolation = 3,
         .expected = vpStsResizeFactorErr},
        {.name = "NaN factor", .xFactor = kNaN, .expected = vpStsResizeFactorErr},
        {.name = "NaN factor with code 8", .xFactor = kNaN, .interpolation = VPI_INTER_SUPER,
         .expected = vpStsResizeFactorErr},
        {.name = "NaN factor with code 8 reducing", .xFactor = 0.5, .yFactor = kNaN,
         .interpolation = VPI_INTER_SUPER, .expected = vpStsResizeFactorErr},
        {.name = "interpolation 3", .interpolation = 3, .expected = vpStsInterpolationErr},
        {.name = "code 8 enlarging", .interpolation = VPI_INTER_SUPER, .expected = vpStsInterpolationErr},
        {.name = "code 8 reducing", .xFactor = 0.5, .yFactor = 0.5, .interpolation = VPI_INTER_SUPER,
         .expected = vpStsNoErr},
        {.name = "valid cubic", .expected = vpStsNoErr},
        {.name = "valid linear", .interpolation = VPI_INTER_LINEAR, .expected = vpStsNoErr},
    };
    for (VpLevel level : level_harness::kAllLevels) {
        ScopedLevel scoped(level);
        for (const StatusCase& c : cases) {
            SCOPED_TRACE(std::string(levelName(level)) + ": " + c.name);
            std::vector<Vp32f> src(8 * 6, 1.0f);
            GuardedDst<Vp32f> dst(16, 12, 1);
            EXPECT_EQ(vpiResize_32f_C1R(c.nullSrc ? nullptr : src.data(), c.srcSize, c.srcStep, c.roi,
                                        c.nullDst ? nullptr : dst.data(), c.dstStep, c.dstSize, c.xFactor,
                                        c.yFactor, c.interpolation),
                      c.expected);
            if (c.expected != vpStsNoErr) {
                EXPECT_TRUE(dst.untouched());
            }
            std::vector<Vp8u> src8(32 * 6, 9);
            GuardedDst<Vp8u> dst8(16, 12, 3);
            EXPECT_EQ(vpiResize_8u_C3R(c.nullSrc ? nullptr : src8.data(), c.srcSize, c.srcStep, c.roi,
                                       c.nullDst ? nullptr : dst8.data(), c.dstStep, c.dstSize, c.xFactor,
                                       c.yFactor, c.interpolation),
                      c.expected);
            if (c.expected != vpStsNoErr) {
                EXPECT_TRUE(dst8.untouched());
            }
        }
    }
}

// A step that splits float or 16-bit elements is refused by both drivers of
// every level.
TEST(ResizeLevelStatus, StepsThatSplitElementsAreRefusedAtEveryLevel) {
    std::vector<std::uint32_t> src(200, 0x3F003F00u);
    for (const Level& lv : kLevels) {
        for (int depth : {1, 2}) {
            SCOPED_TRACE(std::string(levelName(lv.level)) + " depth " + std::to_string(depth));
            for (int interpolation : {VPI_INTER_NN, VPI_INTER_LINEAR, VPI_INTER_CUBIC}) {
                GuardedDst<Vp8u> dst(64, 4, 1, 32);
                EXPECT_EQ(lv.general(src.data(), 8, 6, 65, 0, 0, 8, 6, dst.data(), 64, 4, 3, 0.5, 0.5, 0.0, 0.0, 1, 1,
                                     depth, 0, interpolation, 1),
                          vpStsStepErr);
                EXPECT_EQ(lv.general(src.data(), 8, 6, 64, 0, 0, 8, 6, dst.data(), 64 + elemSize(depth) / 2, 4, 3, 0.5, 0.5, 0.0,
                                     0.0, 1, 1, depth, 0, interpolation, 1),
                          vpStsStepErr);
                EXPECT_TRUE(dst.untouched());
            }
            GuardedDst<Vp8u> dst(64, 4, 1, 32);
            EXPECT_EQ(lv.super(src.data(), {8, 6}, 64 + elemSize(depth) / 2, {-1, 0, 8, 6}, dst.data(), 64, {4, 3}, 0.5, 0.5, 1, 1,
                               depth, 0),
                      vpStsStepErr);
            EXPECT_TRUE(dst.untouched());
        }
    }
}

// Pixel forms outside the kernels' channel counts (the column sums serve one,
// three at strides 3 and 4, and four channels) are refused by both drivers of
// every level, after the factor check.
TEST(ResizeLevelStatus, UnsupportedPixelFormsAreRefusedAtEveryLevel) {
    struct Case {
        int nChannels, layout, depth;
        VpStatus expected;
    };
    const Case cases[] = {
        {2, 3, 0, vpStsNotSupportedModeErr}, {5, 3, 0, vpStsNotSupportedModeErr}, {3, 4, 1, vpStsNotSupportedModeErr},
        {2, 2, 2, vpStsNotSupportedModeErr}, {1, 1, 3, vpStsNotSupportedModeErr}, {4, 3, 0, vpStsNoErr},
        {3, 3, 1, vpStsNoErr},
    };
    std::vector<std::uint32_t> src(8 * 6 * 4, 0);
    for (const Level& lv : kLevels) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(levelName(lv.level)) + " channels " + std::to_string(c.nChannels) + " layout " +
                         std::to_string(c.layout) + " depth " + std::to_string(c.depth));
            std::vector<std::uint32_t> dst(8 * 6 * 4, 7);
            EXPECT_EQ(lv.super(src.data(), {8, 6}, 128, {0, 0, 8, 6}, dst.data(), 128, {4, 3}, 0.5, 0.5, c.nChannels,
                               c.layout, c.depth, 0),
                      c.expected);
            EXPECT_EQ(lv.general(src.data(), 8, 6, 128, 0, 0, 8, 6, dst.data(), 128, 4, 3, 0.5, 0.5, 0.0, 0.0,
                                 c.nChannels, c.layout, c.depth, 0, VPI_INTER_LINEAR, 1),
                      c.expected);
            if (c.expected != vpStsNoErr) {
                EXPECT_EQ(dst, std::vector<std::uint32_t>(8 * 6 * 4, 7));
            }
            EXPECT_EQ(lv.super(src.data(), {8, 6}, 128, {0, 0, 8, 6}, dst.data(), 128, {4, 3}, 0.0, 0.5, c.nChannels,
                               c.layout, c.depth, 0),
                      vpStsResizeFactorErr);
        }
    }
}

// ---- the general driver against px ----------------------------------------------------------

struct Shape {
    int srcW, srcH;
    VpiRect roi;
    int dstW, dstH;
    double xf, yf;
};

// Random shapes: widths 1..40 (sources narrow enough to take the fallbacks
// included), regions inside and reaching past the image, enlarging and reducing.
std::vector<Shape> randomRuns(std::uint32_t seed, int count) {
    std::mt19937 rng(seed);
    auto uni = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const double factors[] = {0.3, 0.5, 0.77, 1.0, 1.3, 2.0, 2.5, 3.0, 1.0 / 3.0};
    std::vector<Shape> runs;
    for (int i = 0; i < count; ++i) {
        Shape r;
        r.srcW = uni(1, 40);
        r.srcH = uni(1, 12);
        r.roi = {uni(0, r.srcW - 1), uni(0, r.srcH - 1), uni(1, 40), uni(1, 12)};
        r.xf = factors[uni(0, 8)];
        r.yf = factors[uni(0, 8)];
        r.dstW = uni(1, 110);
        r.dstH = uni(1, 30);
        runs.push_back(r);
    }
    return runs;
}

// Runs the general driver of `lv` and of px on the same source and compares
// every destination element with `check(level, px, sampleScale)`; canaries and
// the untouched fourth element of AC4 pixels are checked as well.
template <class Check>
void compareWithPx(int interpolation, int depth, Check check, std::uint32_t seed) {
    for (const Level& lv : kLevels) {
        for (const Form& form : kForms) {
            int index = 0;
            for (const Shape& r : randomRuns(seed + depth * 7 + form.nChannels * 3 + form.layout, 60)) {
                SCOPED_TRACE(std::string(levelName(lv.level)) + " " + form.name + " run " + std::to_string(index++));
                Source src(r.srcW, r.srcH, form.nChannels, depth, seed + index);
                // Destinations at every misalignment 0..15 (whole elements).
                Dest a(r.dstW, r.dstH, form.nChannels, depth, 7, index % 16), b(r.dstW, r.dstH, form.nChannels, depth);
                const VpStatus sa = lv.general(src.data(), r.srcW, r.srcH, src.step(), r.roi.x, r.roi.y, r.roi.width,
                                               r.roi.height, a.data(), a.step, r.dstW, r.dstH, r.xf, r.yf, 0.0, 0.0,
                                               form.nChannels, form.layout, depth, 0, interpolation, 1);
                const VpStatus sb = kPx.general(src.data(), r.srcW, r.srcH, src.step(), r.roi.x, r.roi.y,
                                                r.roi.width, r.roi.height, b.data(), b.step, r.dstW, r.dstH, r.xf,
                                                r.yf, 0.0, 0.0, form.nChannels, form.layout, depth, 0,
                                                interpolation, 1);
                ASSERT_EQ(sa, vpStsNoErr);
                ASSERT_EQ(sb, vpStsNoErr);
                EXPECT_TRUE(a.canariesIntact(r.dstH));
                for (int y = 0; y < r.dstH; ++y) {
                    for (int x = 0; x < r.dstW; ++x) {
                        for (int c = 0; c < form.nChannels; ++c) {
                            const double va = a.at(x, y, c, form.nChannels, depth);
                            const double vb = b.at(x, y, c, form.nChannels, depth);
                            if (c >= form.layout) {
                                ASSERT_EQ(va, canaryValue(depth)) << "fourth element written";
                                continue;
                            }
                            if (!check(va, vb)) {
                                FAIL() << "at (" << x << ", " << y << ", " << c << "): level " << va << ", px "
                                       << vb;
                            }
                        }
                    }
                }
            }
        }
    }
}

TEST(ResizeLevelGeneral, NearestNeighbourIsIdenticalAtEveryLevel) {
    for (int depth : {0, 1, 2}) {
        SCOPED_TRACE(depth);
        compareWithPx(VPI_INTER_NN, depth, [](double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }, 11);
    }
}

// 8-bit linear: the levels truncate where px rounds, in both passes; the ring
// keeps 1/64 grey levels, so the results are at most one below px's. 16-bit
// linear: each pass's split form may lie up to two below px's rounded value,
// so the two passes together at most four. Cubic: single precision against
// double, and rounding to nearest in the bodies against truncation: within one
// (sources under four rows or columns fall back to linear, hence the cubic
// 16-bit bound below px).
TEST(ResizeLevelGeneral, IntegerLinearAndCubicWithinTheirBoundsOfPx) {
    struct Case {
        int interpolation;
        int depth;
        double below;
        double above;
    };
    const Case cases[] = {
        {VPI_INTER_LINEAR, 0, 1.0, 0.0},
        {VPI_INTER_LINEAR, 1, 4.0, 0.0},
        {VPI_INTER_CUBIC, 0, 1.0, 1.0},
        {VPI_INTER_CUBIC, 1, 4.0, 1.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.interpolation) + " depth " + std::to_string(c.depth));
        compareWithPx(
            c.interpolation, c.depth, [&c](double level, double px) { return level >= px - c.below && level <= px + c.above; },
            23);
    }
}

// Float results: px rounds once from double, the levels after every single-
// precision operation. Samples lie in [-2, 2), so the cubic's differences stay
// below 16 in magnitude, and a few units in the last place of 16 bound the
// difference.
TEST(ResizeLevelGeneral, FloatLinearAndCubicWithinAFewUlpsOfPx) {
    const double bound = 4 * ulpOf(16.0f);
    for (int interpolation : {VPI_INTER_LINEAR, VPI_INTER_CUBIC}) {
        SCOPED_TRACE(interpolation);
        compareWithPx(interpolation, 2, [bound](double a, double b) { return std::fabs(a - b) <= bound; }, 37);
    }
}

// a6 and w7 evaluate every body and every scalar value alike; they part only in
// the 8u/16u four-channel cubic horizontal pass, which has no body at w7.
TEST(ResizeLevelGeneral, A6EqualsW7WhereBothRunTheSameCode) {
    for (int interpolation : {VPI_INTER_LINEAR, VPI_INTER_CUBIC}) {
        for (int depth : {0, 1, 2}) {
            for (const Form& form : kForms) {
                if (interpolation == VPI_INTER_CUBIC && depth != 2 && form.layout == 4) continue;
                SCOPED_TRACE(std::string(form.name) + " depth " + std::to_string(depth));
                int index = 0;
                for (const Shape& r : randomRuns(97 + depth, 40)) {
                    Source src(r.srcW, r.srcH, form.nChannels, depth, 300 + index++);
                    Dest a(r.dstW, r.dstH, form.nChannels, depth), w(r.dstW, r.dstH, form.nChannels, depth);
                    ASSERT_EQ(ResizeGeneral_a6(src.data(), r.srcW, r.srcH, src.step(), r.roi.x, r.roi.y, r.roi.width,
                                               r.roi.height, a.data(), a.step, r.dstW, r.dstH, r.xf, r.yf, 0.0, 0.0,
                                               form.nChannels, form.layout, depth, 0, interpolation, 1),
                              vpStsNoErr);
                    ASSERT_EQ(ResizeGeneral_w7(src.data(), r.srcW, r.srcH, src.step(), r.roi.x, r.roi.y, r.roi.width,
                                               r.roi.height, w.data(), w.step, r.dstW, r.dstH, r.xf, r.yf, 0.0, 0.0,
                                               form.nChannels, form.layout, depth, 0, interpolation, 1),
                              vpStsNoErr);
                    ASSERT_EQ(a.block, w.block) << "run " << index;
                }
            }
        }
    }
}

// Planar calls resize every plane like a one-channel image.
TEST(ResizeLevelGeneral, PlanarCallsMatchOneChannelCalls) {
    for (const Level& lv : kLevels) {
        for (int depth : {0, 1, 2}) {
            SCOPED_TRACE(std::string(levelName(lv.level)) + " depth " + std::to_string(depth));
            Source p0(13, 9, 1, depth, 1), p1(13, 9, 1, depth, 2), p2(13, 9, 1, depth, 3);
            const void* planes[3] = {p0.data(), p1.data(), p2.data()};
            Dest d0(30, 20, 1, depth), d1(30, 20, 1, depth), d2(30, 20, 1, depth);
            void* outs[3] = {d0.data(), d1.data(), d2.data()};
            ASSERT_EQ(lv.general(planes, 13, 9, p0.step(), 1, 2, 12, 7, outs, d0.step, 30, 20, 2.2, 2.5, 0.0, 0.0, 3,
                                 3, depth, 1, VPI_INTER_CUBIC, 1),
                      vpStsNoErr);
            Source* sources[3] = {&p0, &p1, &p2};
            Dest* dests[3] = {&d0, &d1, &d2};
            for (int p = 0; p < 3; ++p) {
                Dest one(30, 20, 1, depth);
                ASSERT_EQ(lv.general(sources[p]->data(), 13, 9, p0.step(), 1, 2, 12, 7, one.data(), one.step, 30, 20,
                                     2.2, 2.5, 0.0, 0.0, 1, 1, depth, 0, VPI_INTER_CUBIC, 1),
                          vpStsNoErr);
                EXPECT_EQ(one.block, dests[p]->block) << "plane " << p;
            }
        }
    }
}

// ---- rules of the SIMD levels ------------------------------------------------------------

// Calls a cubic table entry on a source of four rows with columns sampled at
// their own positions (t = 0) and one row weight.
template <class T>
std::vector<T> cubicVertical(const ResizeKernelEntry* table, int entry, const std::vector<T>& rowValues, int width,
                             float t) {
    const int cols = width + 3;
    std::vector<T> src(4 * cols);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < cols; ++c) src[r * cols + c] = rowValues[r];
    std::vector<int> rowOffsets(1, cols), colOffsets(width);
    for (int j = 0; j < width; ++j) colOffsets[j] = j + 1;
    alignas(32) float rowWeights[1] = {t};
    std::vector<float> colWeights(width + 4, 0.0f);
    std::vector<float> ring[4];
    for (auto& r : ring) r.assign(width + 4, 0.0f);
    std::vector<T> dst(width, T{});
    table[entry].cubic(src.data(), dst.data(), cols, width, width, 1, rowOffsets.data(), colOffsets.data(),
                       rowWeights, colWeights.data(), ring[0].data(), ring[1].data(), ring[2].data(), ring[3].data(),
                       1, 1);
    return dst;
}

// Rows 0, 0, 255, 255 at t = 0.5: the cubic is 127.5. Scalar code truncates
// (127), a body rounds 127.5 + 1e-5 to nearest (128); the body takes the first
// 4 * floor(count / 4) values of the row.
TEST(ResizeLevelRules, CubicBodyAndScalarCodeMeetInOneRow) {
    const std::vector<Vp8u> rows = {0, 0, 255, 255};
    for (int width : {1, 3, 4, 6, 9}) {
        SCOPED_TRACE(width);
        const std::vector<Vp8u> px = cubicVertical(ResizeKernelTable_px, 18, rows, width, 0.5f);
        EXPECT_EQ(px, std::vector<Vp8u>(width, 127));
        for (const Level& lv : kLevels) {
            const std::vector<Vp8u> out = cubicVertical(lv.table, 18, rows, width, 0.5f);
            const int body = width - width % 4;
            for (int j = 0; j < width; ++j) {
                EXPECT_EQ(out[j], j < body ? 128 : 127) << levelName(lv.level) << " column " << j;
            }
        }
    }
    // Overshoot saturates on both paths, and 16-bit values above 32767 stay.
    for (const Level& lv : kLevels) {
        EXPECT_EQ(cubicVertical(lv.table, 18, std::vector<Vp8u>{0, 255, 255, 0}, 6, 0.5f),
                  std::vector<Vp8u>(6, 255));
        EXPECT_EQ(cubicVertical(lv.table, 18, std::vector<Vp8u>{0, 0, 255, 255}, 6, -0.5f),
                  std::vector<Vp8u>(6, 0));
        EXPECT_EQ(cubicVertical(lv.table, 19, std::vector<Vp16u>{40000, 40000, 40000, 40000}, 6, 0.3f),
                  std::vector<Vp16u>(6, 40000));
    }
}

// Endpoints of the cubic on both paths of every level: t = 0 gives b and
// t = -1 gives a exactly, four equal samples give that sample. At t = 2 the
// scalar code's n rounds to exactly 1 (d exactly), the bodies' n is 1 - 2^-24.
TEST(ResizeLevelRules, CubicEndpointsOnBodiesAndScalarCode) {
    struct Case {
        std::vector<float> rows;
        float t;
        float expected;
    };
    const Case cases[] = {
        {{3.25f, -7.5f, 11.0f, 0.125f}, 0.0f, -7.5f},
        {{3.25f, -7.5f, 11.0f, 0.125f}, -1.0f, 3.25f},
        {{1.75f, 1.75f, 1.75f, 1.75f}, 0.37f, 1.75f},
        {{1.75f, 1.75f, 1.75f, 1.75f}, 1.5f, 1.75f},
    };
    for (const Level& lv : kLevels) {
        for (const Case& c : cases) {
            EXPECT_EQ(cubicVertical(lv.table, 20, c.rows, 6, c.t), std::vector<float>(6, c.expected))
                << levelName(lv.level) << " t " << c.t;
        }
        const std::vector<float> last = cubicVertical(lv.table, 20, std::vector<float>{100, 0, 100, 50}, 6, 2.0f);
        for (int j = 0; j < 6; ++j) {
            if (j < 4) {
                EXPECT_NEAR(last[j], 50.0f, 1e-4f) << levelName(lv.level);
            } else {
                EXPECT_EQ(last[j], 50.0f) << levelName(lv.level);
            }
        }
    }
}

// Calls a linear table entry on two rows with one column weight pair and one
// row weight.
template <class T>
std::vector<T> linearPair(const ResizeKernelEntry* table, int entry, T left, T right, int w1, T upper, T lower,
                          int a, bool horizontal) {
    const int width = 6;
    std::vector<T> src(2 * 8);
    for (int c = 0; c < 8; ++c) {
        src[c] = horizontal ? (c % 2 == 0 ? left : right) : upper;
        src[8 + c] = horizontal ? (c % 2 == 0 ? left : right) : lower;
    }
    std::vector<int> rowOffsets(1, 0), colOffsets(width);
    std::vector<Vp16u> colWeights(2 * width + 8);
    for (int j = 0; j < width; ++j) {
        colOffsets[j] = horizontal ? 0 : j;
        colWeights[2 * j] = static_cast<Vp16u>(horizontal ? 16384 - w1 : 16384);
        colWeights[2 * j + 1] = static_cast<Vp16u>(horizontal ? w1 : 0);
    }
    Vp16u rowWeights[1] = {static_cast<Vp16u>(horizontal ? 0 : a)};
    std::vector<Vp16u> ring0(width + 8), ring1(width + 8);
    std::vector<T> dst(width);
    table[entry].linear(src.data(), dst.data(), 8, width, width, 1, rowOffsets.data(), colOffsets.data(),
                        rowWeights, colWeights.data(), ring0.data(), ring1.data(), 1, 1);
    return dst;
}

// 8-bit: halfway between 0 and 255 px rounds to 128, the other levels truncate
// to 127. 16-bit: the split form weighs the odd bit separately, so
// 3 * 0.75 + 0 * 0.25 = 2.25 gives 1 + 0 = 1 where px gives 2.
TEST(ResizeLevelRules, LinearTruncationAndSplitForm) {
    struct Case {
        const char* name;
        int entry;
        bool horizontal;
        int left, right, w1, upper, lower, a;
        int px, simd;
    };
    const Case cases[] = {
        {"8u vertical midpoint", 12, false, 0, 0, 0, 0, 255, 8192, 128, 127},
        {"8u horizontal midpoint", 12, true, 0, 255, 8192, 0, 0, 0, 128, 127},
        {"8u on the grid", 12, false, 0, 0, 0, 200, 17, 16384, 17, 17},
        {"16u horizontal split", 13, true, 3, 0, 4096, 0, 0, 0, 2, 1},
        {"16u vertical split", 13, false, 0, 0, 0, 3, 0, 4096, 2, 1},
        {"16u largest values", 13, false, 0, 0, 0, 65535, 65535, 5000, 65535, 65535},
        {"16u on the grid", 13, false, 0, 0, 0, 65535, 40001, 16384, 40001, 40001},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const Level& lv : {kPx, kLevels[0], kLevels[1], kLevels[2]}) {
            const int expected = lv.level == vpLevelPx ? c.px : c.simd;
            std::vector<int> got;
            if (c.entry == 12) {
                for (Vp8u v : linearPair<Vp8u>(lv.table, 12, static_cast<Vp8u>(c.left), static_cast<Vp8u>(c.right),
                                               c.w1, static_cast<Vp8u>(c.upper), static_cast<Vp8u>(c.lower), c.a,
                                               c.horizontal))
                    got.push_back(v);
            } else {
                for (Vp16u v : linearPair<Vp16u>(lv.table, 13, static_cast<Vp16u>(c.left),
                                                 static_cast<Vp16u>(c.right), c.w1, static_cast<Vp16u>(c.upper),
                                                 static_cast<Vp16u>(c.lower), c.a, c.horizontal))
                    got.push_back(v);
            }
            EXPECT_EQ(got, std::vector<int>(6, expected)) << levelName(lv.level);
        }
    }
}

// A region of 50 columns at factor 1.0: px, a6 and w7 step by 49 * (1/49) =
// 1 - 2^-53, t7 by exactly 1.0. With columns alternating between 0 and 1e30 the
// tiny negative weights of the former show in a float linear resize; t7 copies.
TEST(ResizeLevelRules, T7StepsByExactlyOneOverFiftyColumns) {
    std::vector<Vp32f> src(50 * 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 50; ++x) src[y * 50 + x] = x % 2 ? 1e30f : 0.0f;
    for (const Level& lv : {kPx, kLevels[0], kLevels[1], kLevels[2]}) {
        SCOPED_TRACE(levelName(lv.level));
        std::vector<Vp32f> dst(50 * 2, -1.0f);
        ASSERT_EQ(lv.general(src.data(), 50, 2, 200, 0, 0, 50, 2, dst.data(), 200, 50, 2, 1.0, 1.0, 0.0, 0.0, 1, 1, 2,
                             0, VPI_INTER_LINEAR, 1),
                  vpStsNoErr);
        int differing = 0;
        for (std::size_t i = 0; i < dst.size(); ++i) differing += dst[i] != src[i];
        if (lv.level == vpLevelT7) {
            EXPECT_EQ(differing, 0);
        } else {
            EXPECT_GT(differing, 0);
        }
    }
}

// ---- allocations ----------------------------------------------------------------------------

// Every allocation of a call may fail: the call answers -9, writes nothing and
// leaves nothing allocated. The number of allocations of a good call bounds the
// failure points tried.
TEST(ResizeLevelMemory, EveryFailedAllocationReleasesAllAndWritesNothing) {
    Source src(20, 15, 3, 0, 5);
    Source srcF(20, 15, 1, 2, 6);
    for (const Level& lv : kLevels) {
        for (int interpolation : {VPI_INTER_NN, VPI_INTER_LINEAR, VPI_INTER_CUBIC}) {
            for (int depth : {0, 2}) {
                const int channels = depth == 0 ? 3 : 1;
                Source& s = depth == 0 ? src : srcF;
                auto call = [&](Dest& d) {
                    return lv.general(s.data(), 20, 15, s.step(), 0, 0, 20, 15, d.data(), d.step, 50, 37, 2.5, 2.5,
                                      0.0, 0.0, channels, channels, depth, 0, interpolation, 1);
                };
                int requests = 0;
                {
                    ScopedFailingHeap heap(0);
                    Dest d(50, 37, channels, depth);
                    ASSERT_EQ(call(d), vpStsNoErr);
                    requests = resize_test::FailingHeap::requests;
                    EXPECT_EQ(resize_test::FailingHeap::live, 0);
                }
                EXPECT_GE(requests, interpolation == VPI_INTER_NN ? 2 : 6);
                for (int k = 1; k <= requests; ++k) {
                    SCOPED_TRACE(std::string(levelName(lv.level)) + " interpolation " +
                                 std::to_string(interpolation) + " failing request " + std::to_string(k));
                    ScopedFailingHeap heap(k);
                    Dest d(50, 37, channels, depth);
                    const std::vector<unsigned char> before = d.block;
                    EXPECT_EQ(call(d), vpStsMemAllocErr);
                    EXPECT_EQ(d.block, before);
                    EXPECT_EQ(resize_test::FailingHeap::live, 0);
                }
            }
        }
        // The supersampling driver's one allocation.
        for (double xf : {0.5, 0.3}) {
            ScopedFailingHeap heap(1);
            Dest d(10, 7, 1, 2);
            const std::vector<unsigned char> before = d.block;
            EXPECT_EQ(lv.super(srcF.data(), {20, 15}, srcF.step(), {0, 0, 20, 15}, d.data(), d.step, {10, 7}, xf, 0.5,
                               1, 1, 2, 0),
                      vpStsMemAllocErr);
            EXPECT_EQ(d.block, before);
            EXPECT_EQ(resize_test::FailingHeap::live, 0);
        }
    }
}

// ---- area averaging ----------------------------------------------------------------------------

// Every level against the brute-force mean, every depth and layout, integral
// and fractional ratios: 8u and 16u within one level of it (the rounding of
// the mean and of the float sums), 32f within a relative 1e-5; the mode with
// integral ratios gives px's 8u and 16u result exactly.
TEST(ResizeLevelSuper, EveryLevelMatchesTheAreaAverage) {
    const Form forms[] = {{1, 1, "C1"}, {3, 3, "C3"}, {4, 4, "C4"}, {4, 3, "AC4"}};
    const double factors[][2] = {{0.5, 0.5}, {1.0 / 3.0, 0.25}, {0.3, 0.5}, {0.5, 0.75}, {0.4, 0.7}, {1.0, 1.0}};
    for (const Level& lv : kLevels) {
        for (int depth : {0, 1, 2}) {
            for (const Form& form : forms) {
                for (const auto& f : factors) {
                    SCOPED_TRACE(std::string(levelName(lv.level)) + " " + form.name + " depth " +
                                 std::to_string(depth) + " factors " + std::to_string(f[0]) + ", " +
                                 std::to_string(f[1]));
                    const int srcW = 37, srcH = 23;
                    const VpiRect roi{2, 1, 33, 21};
                    Source src(srcW, srcH, form.nChannels, depth, 77 + depth);
                    const int dw = std::max(1, static_cast<int>(f[0] * roi.width + 1e-7));
                    const int dh = std::max(1, static_cast<int>(f[1] * roi.height + 1e-7));
                    Dest d(dw, dh, form.nChannels, depth), p(dw, dh, form.nChannels, depth);
                    ASSERT_EQ(lv.super(src.data(), {srcW, srcH}, src.step(), roi, d.data(), d.step, {dw, dh}, f[0],
                                       f[1], form.nChannels, form.layout, depth, 0),
                              vpStsNoErr);
                    ASSERT_EQ(kPx.super(src.data(), {srcW, srcH}, src.step(), roi, p.data(), p.step, {dw, dh}, f[0],
                                        f[1], form.nChannels, form.layout, depth, 0),
                              vpStsNoErr);
                    EXPECT_TRUE(d.canariesIntact(dh));
                    const int pixelBytes = form.nChannels * elemSize(depth);
                    const unsigned char* origin = reinterpret_cast<const unsigned char*>(src.data()) +
                                                  roi.y * src.step() + roi.x * pixelBytes;
                    const bool integral = f[0] == 0.5 || f[0] == 1.0 / 3.0 || f[0] == 1.0;
                    const bool exact = integral && (f[1] == 0.5 || f[1] == 0.25 || f[1] == 1.0) && depth != 2;
                    for (int i = 0; i < dh; ++i) {
                        for (int j = 0; j < dw; ++j) {
                            for (int c = 0; c < form.nChannels; ++c) {
                                const double got = d.at(j, i, c, form.nChannels, depth);
                                if (c >= form.layout) {
                                    ASSERT_EQ(got, p.at(j, i, c, form.nChannels, depth));
                                    continue;
                                }
                                const double mean = areaMean(origin, src.step(), pixelBytes, depth, roi.width,
                                                             roi.height, 1.0 / f[0], 1.0 / f[1], i, j, c);
                                if (exact) {
                                    ASSERT_EQ(got, p.at(j, i, c, form.nChannels, depth)) << i << ", " << j;
                                }
                                if (depth == 2) {
                                    ASSERT_NEAR(got, mean, 1e-5 * 2.0) << i << ", " << j;
                                } else {
                                    ASSERT_LE(std::fabs(got - mean), 1.0) << i << ", " << j;
                                }
                            }
                        }
                    }
                }
            }
        }
    }
}

// Where the levels' float sums part: 2^24 + 1 is 2^24 in float, so the order
// and grouping of the additions shows in the window sum. Sums per level
// {px, a6, w7, t7}; the destination value is float(sum * areaScale).
TEST(ResizeLevelSuper, FloatSumsFollowEachLevelsLanes) {
    const float big = 16777216.0f;
    struct Case {
        const char* name;
        int width, height, channels;
        std::vector<float> firstChannel;  // row-major, one value per pixel
        double xf, yf;
        int column;  // destination column checked (row 0)
        double sums[4];
    };
    const Case cases[] = {
        // Eight entries: the lanes of a6 and w7 keep both ones ((0 + 2) + (1 + 3));
        // t7 needs 11 entries for its lanes and adds singly.
        {"one row of 8", 8, 1, 1, {big, 1, 0, 1, 0, 0, 0, 0}, 1.0 / 8, 1.0, 0,
         {big + 2, big + 2, big + 2, big}},
        // Twelve entries: every level's lanes; t7 combines (0 + 1) + (2 + 3).
        {"one row of 12", 12, 1, 1, {big, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0}, 1.0 / 12, 1.0, 0,
         {big + 2, big + 2, big + 2, big}},
        {"one row of 9", 9, 1, 1, {big, 1, 0, 1, 0, 0, 0, 0, 0}, 1.0 / 9, 1.0, 0, {big + 2, big + 2, big + 2, big}},
        // Four channels add singly in float at every SIMD level.
        {"four channels", 3, 1, 4, {big, 1, 1}, 1.0 / 3, 1.0, 0, {big + 2, big, big, big}},
        // Column sums of a one-channel float row: w7 and t7 sum the last
        // width % 16 columns down the rows in double.
        {"column 16 of 17", 17, 3, 1, std::vector<float>(17, big), 1.0, 1.0 / 3, 16, {big, big, big + 2, big + 2}},
        {"column 15 of 17", 17, 3, 1, std::vector<float>(17, big), 1.0, 1.0 / 3, 15, {big, big, big, big}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<float> src(static_cast<std::size_t>(c.width) * c.height * c.channels, 0.0f);
        for (int x = 0; x < c.width; ++x) {
            for (int y = 0; y < c.height; ++y) {
                // Column sums: the first row holds the value, the others 1.
                const float v = c.height == 1 ? c.firstChannel[x] : (y == 0 ? c.firstChannel[x] : 1.0f);
                src[(static_cast<std::size_t>(y) * c.width + x) * c.channels] = v;
            }
        }
        const int layout = c.channels == 4 ? 4 : 1;
        const int dw = std::max(1, static_cast<int>(c.xf * c.width + 1e-7));
        const Level all[] = {kPx, kLevels[0], kLevels[1], kLevels[2]};
        for (int l = 0; l < 4; ++l) {
            std::vector<float> dst(static_cast<std::size_t>(dw) * c.channels, -1.0f);
            ASSERT_EQ(all[l].super(src.data(), {c.width, c.height}, c.width * c.channels * 4,
                                   {0, 0, c.width, c.height}, dst.data(), dw * c.channels * 4, {dw, 1}, c.xf, c.yf,
                                   c.channels, layout, 2, 0),
                      vpStsNoErr);
            const float expected = static_cast<float>(c.sums[l] * (c.xf * c.yf));
            EXPECT_EQ(dst[static_cast<std::size_t>(c.column) * c.channels], expected) << levelName(all[l].level);
        }
    }
}

// Planar area averaging: every plane from the same region origin.
TEST(ResizeLevelSuper, PlanarMatchesOneChannelCalls) {
    for (const Level& lv : kLevels) {
        for (int depth : {0, 1, 2}) {
            SCOPED_TRACE(std::string(levelName(lv.level)) + " depth " + std::to_string(depth));
            Source a(21, 12, 1, depth, 4), b(21, 12, 1, depth, 5), c(21, 12, 1, depth, 6);
            const void* planes[3] = {a.data(), b.data(), c.data()};
            Dest da(7, 4, 1, depth), db(7, 4, 1, depth), dc(7, 4, 1, depth);
            void* outs[3] = {da.data(), db.data(), dc.data()};
            ASSERT_EQ(lv.super(planes, {21, 12}, a.step(), {1, 2, 20, 10}, outs, da.step, {7, 4}, 0.3, 0.4, 3, 3,
                               depth, 1),
                      vpStsNoErr);
            Source* sources[3] = {&a, &b, &c};
            Dest* dests[3] = {&da, &db, &dc};
            for (int k = 0; k < 3; ++k) {
                Dest one(7, 4, 1, depth);
                ASSERT_EQ(lv.super(sources[k]->data(), {21, 12}, a.step(), {1, 2, 20, 10}, one.data(), one.step,
                                   {7, 4}, 0.3, 0.4, 1, 1, depth, 0),
                          vpStsNoErr);
                EXPECT_EQ(one.block, dests[k]->block) << "plane " << k;
            }
        }
    }
}

// ---- the dispatched entries ---------------------------------------------------------------------

// With a level installed the entries reach that level's drivers.
TEST(ResizeLevelEntries, DispatchedEntriesReachTheInstalledLevel) {
    OffsetRows<Vp32f> src(9, 7, 4);
    std::mt19937 rng(8);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 9; ++x) src.set(x, y, std::uniform_real_distribution<float>(0.0f, 1.0f)(rng));
    for (const Level& lv : kLevels) {
        SCOPED_TRACE(levelName(lv.level));
        for (int interpolation : {VPI_INTER_NN, VPI_INTER_LINEAR, VPI_INTER_CUBIC}) {
            OffsetRows<Vp32f> viaEntry(20, 15, 8), direct(20, 15, 8);
            {
                ScopedLevel scoped(lv.level);
                ASSERT_EQ(vpiResize_32f_C1R(src.data(), {9, 7}, src.step(), {0, 0, 9, 7}, viaEntry.data(),
                                            viaEntry.step(), {20, 15}, 2.2, 2.1, interpolation),
                          vpStsNoErr);
            }
            ASSERT_EQ(lv.general(src.data(), 9, 7, src.step(), 0, 0, 9, 7, direct.data(), direct.step(), 20, 15, 2.2,
                                 2.1, 0.0, 0.0, 1, 1, 2, 0, interpolation, 1),
                      vpStsNoErr);
            EXPECT_TRUE(viaEntry.canariesIntact());
            for (int y = 0; y < 15; ++y)
                for (int x = 0; x < 20; ++x) ASSERT_EQ(viaEntry.get(x, y), direct.get(x, y));
        }
    }
}

}  // namespace
