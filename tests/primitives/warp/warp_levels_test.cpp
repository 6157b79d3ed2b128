// The warp's processor levels against each other and against px: where the
// levels' rounding and precision differ, the SIMD levels' own arithmetic written out
// literally, bit-identity where the levels share their arithmetic, and points
// at and beyond the image's edges.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "primitives/core/memory.h"
#include "primitives/primitives.h"
#include "tests/primitives/level_harness.h"
#include "tests/primitives/warp/warp_test_support.h"

namespace {

using level_harness::kAllLevels;
using level_harness::kSimdLevels;
using level_harness::levelName;
using warp_test::coreAt;
using warp_test::Fence;
using warp_test::GuardedBuffer;
using warp_test::kernelTableAt;

constexpr int kFormat8uC1 = kWarpDepth8u * 8 + kWarpLayoutC1;
constexpr int kFormat16uC1 = kWarpDepth16u * 8 + kWarpLayoutC1;

WarpInverseCoeffs constantPoint(double sx, double sy) { return WarpInverseCoeffs{0, 0, sx, 0, 0, sy}; }

// One row kernel of a level over the spans of rows firstRow..lastRow, with the
// scratch row the SIMD cubic kernels need.
void runKernel(VpLevel level, int formatCode, int interpolation, const void* src, void* dst, int srcStep, int dstStep,
               int firstRow, int lastRow, const WarpRowSpan* spans, const WarpInverseCoeffs& c, int srcMaxX,
               int srcMaxY) {
    int longest = 1;
    for (int i = 0; i <= lastRow - firstRow; ++i) longest = std::max(longest, spans[i].xEnd - spans[i].xBegin + 1);
    std::vector<float> scratch(2 * static_cast<size_t>(longest));
    kernelTableAt(level)[WarpKernelIndex(formatCode, interpolation)](src, dst, srcStep, dstStep, firstRow, lastRow,
                                                                     spans, &c, srcMaxX, srcMaxY, scratch.data());
}

// One destination pixel of a one-channel kernel at the point (sx, sy).
template <typename T>
T samplePoint(VpLevel level, int formatCode, int interpolation, const std::vector<T>& src, int w, int h, double sx,
              double sy, T initial = T()) {
    T out = initial;
    const WarpRowSpan span{0, 0};
    runKernel(level, formatCode, interpolation, src.data(), &out, w * static_cast<int>(sizeof(T)), sizeof(T), 0, 0,
              &span, constantPoint(sx, sy), w - 1, h - 1);
    return out;
}

TEST(WarpLevels, QuadrangleAtEveryDispatchIndexMatchesPx) {
    EXPECT_EQ(&vpiGetAffineQuad_w7, vpiGetAffineQuadVariants[3]);
    EXPECT_EQ(&vpiGetAffineQuad_t7, vpiGetAffineQuadVariants[4]);
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> u(-50, 50);
    for (int trial = 0; trial < 200; ++trial) {
        const double coeffs[2][3] = {{u(rng), u(rng), u(rng)}, {u(rng), u(rng), u(rng)}};
        const VpiRect roi{static_cast<int>(rng() % 40), static_cast<int>(rng() % 40),
                          static_cast<int>(rng() % 500) + 1, static_cast<int>(rng() % 500) + 1};
        double expected[4][2];
        ASSERT_EQ(vpStsNoErr, vpiGetAffineQuad_px(roi, expected, coeffs));
        for (int index = 1; index <= 4; ++index) {
            StaticDispatchIndex = index;
            double quad[4][2];
            const VpStatus status = vpiGetAffineQuad(roi, quad, coeffs);
            StaticDispatchIndex = 1;
            ASSERT_EQ(vpStsNoErr, status);
            ASSERT_EQ(0, std::memcmp(expected, quad, sizeof quad)) << "index " << index;
        }
    }
    for (auto quadFunction : {&vpiGetAffineQuad_w7, &vpiGetAffineQuad_t7}) {
        double quad[4][2] = {{7, 7}, {7, 7}, {7, 7}, {7, 7}};
        const double id[2][3] = {{1, 0, 0}, {0, 1, 0}};
        EXPECT_EQ(vpStsSizeErr, quadFunction({0, -1, 4, 4}, quad, id));
        EXPECT_EQ(vpStsSizeErr, quadFunction({0, 0, 0, 4}, quad, id));
        EXPECT_EQ(7.0, quad[0][0]);
        const double scale[2][3] = {{2, 0, 3}, {0, 1, 1}};
        ASSERT_EQ(vpStsNoErr, quadFunction({0, 0, 10, 5}, quad, scale));
        const double expected[4][2] = {{3, 1}, {21, 1}, {21, 5}, {3, 5}};
        EXPECT_EQ(0, std::memcmp(expected, quad, sizeof quad));
    }
}

TEST(WarpLevels, CubicWeightTable) {
    struct Row {
        int index;
        int w[4];
    } rows[] = {{0, {16384, 0, 0, 0}},        {1, {16325, 96, -48, 11}},      {128, {9856, 9856, -4224, 896}},
                {256, {5120, 15360, -5120, 1024}}, {512, {0, 16384, 0, 0}}, {768, {-1024, 9216, 9216, -1024}},
                {1024, {0, 0, 16384, 0}},     {1536, {0, 0, 0, 16384}}};
    const auto& t = WarpCubicWeightTable_a6;
    for (const Row& r : rows) {
        const int got[4] = {t[r.index].a, t[r.index].b, t[1536 - r.index].b, t[1536 - r.index].a};
        for (int k = 0; k < 4; ++k) EXPECT_EQ(r.w[k], got[k]) << "index " << r.index << " weight " << k;
    }
    // Every entry is the Q14 weight rounded to nearest.
    for (int i = 0; i <= 1536; ++i) {
        const long double tt = i / 512.0L - 1;
        long double w[4];
        warp_test::lagrangeWeights(tt, w);
        ASSERT_LE(std::fabs(static_cast<long double>(t[i].a) - 16384 * w[0]), 0.5L) << i;
        ASSERT_LE(std::fabs(static_cast<long double>(t[i].b) - 16384 * w[1]), 0.5L) << i;
    }
}

// The SIMD levels' float weights, read through unit impulses: with the point at
// row offset 0 the result is row 1's sum, and with one sample of 1 in that row
// it is that column's weight.
TEST(WarpLevels, FloatWeightsAtTellingFractions) {
    struct Case {
        float f;
        float w[4];
    } cases[] = {
        {-1.0f, {1, 0, 0, 0}},
        {0.0f, {0, 1, 0, 0}},
        {0.5f, {-0.0625000074505806f, 0.5625f, 0.5625f, -0.0625f}},
        {1.0f, {-std::ldexp(1.0f, -25), 0, 1, 0}},
        {2.0f, {-std::ldexp(1.0f, -24), 0, 0, 1}},
    };
    for (VpLevel level : kSimdLevels)
        for (const Case& c : cases)
            for (int j = 0; j < 4; ++j) {
                std::vector<float> src(16, 0.0f);
                src[4 + j] = 1.0f;
                const float got = samplePoint<float>(level, kWarpFormat32fC1, VPI_INTER_CUBIC, src, 4, 4, c.f + 1.0,
                                                     1.0);
                EXPECT_EQ(c.w[j], got) << levelName(level) << " f " << c.f << " weight " << j;
            }
}

// Where the levels round differently (nearest halves, linear and cubic results), each
// case with the result at px and at the SIMD levels.
TEST(WarpLevels, RoundingDifferencesBetweenTheLevels) {
    // Nearest neighbour: an exact half goes up at px, to the even neighbour at the SIMD levels.
    std::vector<float> columns(10);
    for (int i = 0; i < 10; ++i) columns[i] = static_cast<float>(i);
    struct NearestCase {
        double sx;
        float px, simd;
    } nearest[] = {{2.5, 3, 2}, {3.5, 4, 4}, {2.4999, 2, 2}, {0.5, 1, 0}, {8.5, 9, 8}};
    // Linear: 8-bit samples 10, 20 and 2, 3 at fraction 0.5 agree; 16-bit 2, 3 at
    // 0.75 truncates at px and rounds at the SIMD levels.
    const std::vector<Vp8u> tens = {10, 20, 0, 0}, twos = {2, 3, 0, 0};
    const std::vector<Vp16u> twos16 = {2, 3, 0, 0};
    // Cubic: 16-bit rows 0, 0, 5, 5 at x fraction 0.5 give 2.5, rounded up at px and
    // to even at the SIMD levels; 8-bit rows 0, 0, 255, 255 give 128 everywhere.
    std::vector<Vp16u> steps16(16);
    std::vector<Vp8u> steps8(16);
    for (int i = 0; i < 16; ++i) {
        steps16[i] = (i % 4) >= 2 ? 5 : 0;
        steps8[i] = (i % 4) >= 2 ? 255 : 0;
    }
    std::mt19937 rng(9);
    std::vector<Vp8u> random8(16);
    for (Vp8u& v : random8) v = static_cast<Vp8u>(rng());
    for (VpLevel level : kAllLevels) {
        SCOPED_TRACE(levelName(level));
        const bool px = level == vpLevelPx;
        for (const NearestCase& c : nearest)
            EXPECT_EQ(px ? c.px : c.simd,
                      samplePoint<float>(level, kWarpFormat32fC1, VPI_INTER_NN, columns, 10, 1, c.sx, 0))
                << c.sx;
        EXPECT_EQ(15, samplePoint<Vp8u>(level, kFormat8uC1, VPI_INTER_LINEAR, tens, 2, 2, 0.5, 0));
        EXPECT_EQ(3, samplePoint<Vp8u>(level, kFormat8uC1, VPI_INTER_LINEAR, twos, 2, 2, 0.5, 0));
        EXPECT_EQ(px ? 2 : 3, samplePoint<Vp16u>(level, kFormat16uC1, VPI_INTER_LINEAR, twos16, 2, 2, 0.75, 0));
        EXPECT_EQ(px ? 3 : 2, samplePoint<Vp16u>(level, kFormat16uC1, VPI_INTER_CUBIC, steps16, 4, 4, 1.5, 1.0));
        EXPECT_EQ(128, samplePoint<Vp8u>(level, kFormat8uC1, VPI_INTER_CUBIC, steps8, 4, 4, 1.5, 1.0));
        // The identity placement reproduces every sample; the last column at offset 3.
        for (int r = 0; r < 4; ++r)
            for (int j = 0; j < 4; ++j)
                EXPECT_EQ(random8[r * 4 + j],
                          samplePoint<Vp8u>(level, kFormat8uC1, VPI_INTER_CUBIC, random8, 4, 4, j, r))
                    << j << "," << r;
    }
}

// A constant 1.0 under the identity: exact at px; at the SIMD levels the last
// column and row come out as 1 - 2^-24 and their corner as 1 - 2^-23.
TEST(WarpLevels, ConstantImageUnderTheIdentity) {
    const int w = 9, h = 7;
    const std::vector<float> src(w * h, 1.0f);
    const double id[2][3] = {{1, 0, 0}, {0, 1, 0}};
    for (VpLevel level : kAllLevels) {
        std::vector<float> dst(w * h, -5.0f);
        ASSERT_EQ(vpStsNoErr, coreAt(level)(src.data(), {w, h}, w * 4, {0, 0, w, h}, dst.data(), w * 4, {0, 0, w, h},
                                            kWarpFormat32fC1, id, VPI_INTER_CUBIC));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                float expected = 1.0f;
                if (level != vpLevelPx) {
                    const int edges = (x == w - 1) + (y == h - 1);
                    expected = edges == 2 ? 1.0f - std::ldexp(1.0f, -23) : edges ? 1.0f - std::ldexp(1.0f, -24) : 1.0f;
                }
                EXPECT_EQ(expected, dst[y * w + x]) << levelName(level) << " " << x << "," << y;
            }
    }
}

// ---- the SIMD cubic arithmetic written out literally ----

void literalFloatWeights(float f, float w[4]) {
    const float c3[4] = {static_cast<float>(-1.0 / 6.0), 0.5f, -0.5f, static_cast<float>(1.0 / 6.0)};
    const float c2[4] = {0.5f, -1.0f, 0.5f, 0.0f};
    const float c1[4] = {static_cast<float>(-1.0 / 3.0), -0.5f, 1.0f, static_cast<float>(-1.0 / 6.0)};
    const float c0[4] = {0.0f, 1.0f, 0.0f, 0.0f};
    const float f2 = f * f;
    const float f3 = f * f2;
    for (int k = 0; k < 4; ++k) w[k] = (f3 * c3[k] + f2 * c2[k]) + (f * c1[k] + c0[k]);
}

// Placement of a float point: skipped beyond one pixel outside; else the
// neighbourhood's first column trunc(v) - 1 within 0 .. maxIndex - 3 and the
// offset from it.
bool literalPlace(float v, int maxIndex, int& first, float& offset) {
    if (!(v >= -1.0f && v <= static_cast<float>(maxIndex + 1))) return false;
    first = std::min(static_cast<int>(v), maxIndex - 2);
    if (first > 0) --first;
    first = std::max(first, 0);
    offset = v - static_cast<float>(first);
    return true;
}

// The float design: pairwise sums of the rows, then of the row values.
float literalFloatCubic(const float s[4][4], float dx, float dy) {
    float wx[4], wy[4];
    literalFloatWeights(dx - 1.0f, wx);
    literalFloatWeights(dy - 1.0f, wy);
    float r[4];
    for (int i = 0; i < 4; ++i) r[i] = (s[i][0] * wx[0] + s[i][1] * wx[1]) + (s[i][2] * wx[2] + s[i][3] * wx[3]);
    return (r[0] * wy[0] + r[2] * wy[2]) + (r[1] * wy[1] + r[3] * wy[3]);
}

// The fixed-point design with the Q14 table.
int literalFixedCubic(const int s[4][4], float dx, float dy) {
    auto weights = [](float d, int w[4]) {
        // Offsets between the image's edge and one pixel beyond it keep the table's ends.
        const int i = std::clamp(static_cast<int>(std::nearbyint(d * 512.0f)), 0, 1536);
        const auto& t = WarpCubicWeightTable_a6;
        w[0] = t[i].a;
        w[1] = t[i].b;
        w[2] = t[1536 - i].b;
        w[3] = t[1536 - i].a;
    };
    int wx[4], wy[4];
    weights(dx, wx);
    weights(dy, wy);
    int sum = 524288;
    for (int r = 0; r < 4; ++r) {
        const int q = (s[r][0] * wx[0] + s[r][1] * wx[1] + s[r][2] * wx[2] + s[r][3] * wx[3]) >> 8;
        sum += q * wy[r];
    }
    return std::clamp(sum >> 20, 0, 255);
}

// The one-channel cubic row kernels of the SIMD levels over points that sweep
// the image and a little beyond every edge, against the literal arithmetic.
template <typename T>
void checkSimdCubicRows(VpLevel level, int formatCode) {
    const int w = 21, h = 17, rows = 30, cols = 48;
    std::vector<T> src(static_cast<size_t>(w) * h);
    std::mt19937 rng(5);
    for (T& v : src) {
        if constexpr (sizeof(T) == 4)
            v = std::uniform_real_distribution<float>(-50.0f, 50.0f)(rng);
        else
            v = static_cast<T>(rng());
    }
    const WarpInverseCoeffs c{0.5187, 0.0213, -2.3, -0.0171, 0.6531, -1.9};
    std::vector<WarpRowSpan> spans(rows, WarpRowSpan{0, cols - 1});
    spans[3] = WarpRowSpan{7, 5};
    spans[4] = WarpRowSpan{9, 11};
    const T untouched = static_cast<T>(77);
    std::vector<T> out(static_cast<size_t>(rows) * cols, untouched);
    runKernel(level, formatCode, VPI_INTER_CUBIC, src.data(), out.data(), w * sizeof(T), cols * sizeof(T), 0, rows - 1,
              spans.data(), c, w - 1, h - 1);
    double bx = c.c2, by = c.c5;
    int skipped = 0;
    for (int y = 0; y < rows; ++y, bx += c.c1, by += c.c4) {
        double sx = spans[y].xBegin * c.c0 + bx, sy = spans[y].xBegin * c.c3 + by;
        for (int x = 0; x < cols; ++x) {
            const T got = out[y * cols + x];
            const bool inSpan = x >= spans[y].xBegin && x <= spans[y].xEnd;
            int x0, y0;
            float dx, dy;
            if (!inSpan || !literalPlace(static_cast<float>(sx), w - 1, x0, dx) ||
                !literalPlace(static_cast<float>(sy), h - 1, y0, dy)) {
                skipped += inSpan;
                ASSERT_EQ(untouched, got) << x << "," << y;
            } else {
                T expected;
                if constexpr (sizeof(T) == 1) {
                    int s[4][4];
                    for (int r = 0; r < 4; ++r)
                        for (int j = 0; j < 4; ++j) s[r][j] = src[(y0 + r) * w + x0 + j];
                    expected = static_cast<T>(literalFixedCubic(s, dx, dy));
                } else {
                    float s[4][4];
                    for (int r = 0; r < 4; ++r)
                        for (int j = 0; j < 4; ++j) s[r][j] = static_cast<float>(src[(y0 + r) * w + x0 + j]);
                    const float v = literalFloatCubic(s, dx, dy);
                    if constexpr (sizeof(T) == 4)
                        expected = v;
                    else
                        expected = static_cast<T>(std::clamp(static_cast<int>(std::nearbyint(v)), 0, 65535));
                }
                ASSERT_EQ(0, std::memcmp(&expected, &got, sizeof(T)))
                    << x << "," << y << " at " << sx << "," << sy << ": " << +expected << " vs " << +got;
            }
            if (inSpan) {
                sx += c.c0;
                sy += c.c3;
            }
        }
    }
    EXPECT_GT(skipped, 20);
}

TEST(WarpLevels, SimdCubicRowsFollowTheirArithmeticBitForBit) {
    for (VpLevel level : kSimdLevels) {
        SCOPED_TRACE(levelName(level));
        checkSimdCubicRows<Vp32f>(level, kWarpFormat32fC1);
        checkSimdCubicRows<Vp16u>(level, kFormat16uC1);
        checkSimdCubicRows<Vp8u>(level, kFormat8uC1);
    }
}

// The SIMD pixel kernels called directly: nothing written for a non-positive
// count, channel or plane number; all channels of a pixel share its weights
// and the stride skips the fourth sample.
TEST(WarpLevels, SimdPixelKernelsTakeTheirCountsAndStrides) {
    std::vector<float> src(6 * 5 * 4);
    for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<float>(i % 4 == 3 ? 1000 : (i * 7) % 13);
    const float xs[2] = {1.25f, 2.5f}, ys[2] = {1.75f, 2.0f};
    const WarpIntPair low{-1, -1}, high{6, 5}, maxIndex{5, 4};
    std::vector<float> out(8, -9.0f);
    for (int count : {0, -1})
        WarpCubicPixelKernel_32f_a6(src.data(), 96, out.data(), xs, ys, count, low, high, maxIndex, 4, 3);
    WarpCubicPixelKernel_32f_a6(src.data(), 96, out.data(), xs, ys, 2, low, high, maxIndex, 4, 0);
    const void* planes[3] = {src.data(), src.data(), src.data()};
    void* outPlanes[3] = {out.data(), out.data(), out.data()};
    WarpCubicPlanarKernel_32f_a6(planes, 96, outPlanes, xs, ys, 2, low, high, maxIndex, 0);
    Vp8u bytes[8] = {0};
    const Vp8u srcBytes[30] = {};
    WarpCubicPixelKernel_8u_C1_a6(srcBytes, 6, bytes, xs, ys, 0, low, high, maxIndex);
    EXPECT_EQ(std::vector<float>(8, -9.0f), out);
    EXPECT_EQ(0, bytes[0]);
    // Three channels of a four-sample pixel: the fourth is left alone, and each
    // channel equals the one-channel kernel on that channel's samples.
    WarpCubicPixelKernel_32f_a6(src.data(), 96, out.data(), xs, ys, 2, low, high, maxIndex, 4, 3);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(-9.0f, out[i * 4 + 3]);
        for (int k = 0; k < 3; ++k) {
            std::vector<float> plane(6 * 5);
            for (int j = 0; j < 30; ++j) plane[j] = src[j * 4 + k];
            float one = 0;
            WarpCubicPixelKernel_32f_a6(plane.data(), 24, &one, xs + i, ys + i, 1, low, high, maxIndex, 1, 1);
            EXPECT_EQ(one, out[i * 4 + k]) << i << "," << k;
        }
    }
}

// ---- bit-identity where the levels share their arithmetic ----

// Random maps over every depth, layout and interpolation, through fenced
// buffers with odd steps: w7 and t7 give the same bytes for every kernel, and
// a6 the same as them for cubic.
TEST(WarpLevels, RandomMapsGiveTheSameBytesWhereTheLevelsShareTheirArithmetic) {
    std::mt19937 rng(41);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    auto pick = [&](int lo, int hi) { return lo + static_cast<int>(rng() % static_cast<unsigned>(hi - lo + 1)); };
    int compared = 0;
    for (int trial = 0; trial < 40; ++trial) {
        const int sw = pick(4, 24), sh = pick(4, 24), dw = pick(6, 36), dh = pick(6, 36);
        const double scale = std::pow(10.0, unit(rng) * 0.5), angle = unit(rng) * 3.2;
        double coeffs[2][3] = {{scale * std::cos(angle), -scale * std::sin(angle) + 0.2 * unit(rng), 0},
                               {scale * std::sin(angle), scale * std::cos(angle), 0}};
        coeffs[0][2] = dw / 2.0 - coeffs[0][0] * sw / 2.0 - coeffs[0][1] * sh / 2.0 + 2 * unit(rng);
        coeffs[1][2] = dh / 2.0 - coeffs[1][0] * sw / 2.0 - coeffs[1][1] * sh / 2.0 + 2 * unit(rng);
        const VpiRect srcRoi{pick(0, 2), pick(0, 2), sw, sh};
        const VpiRect dstRoi{pick(0, 3), pick(0, 3), dw - 3, dh - 3};
        const int interp = trial % 3 == 0 ? VPI_INTER_NN : trial % 3 == 1 ? VPI_INTER_LINEAR : VPI_INTER_CUBIC;
        const int smooth = trial % 4 == 0 ? VPI_SMOOTH_EDGE : 0;
        for (int depth : {kWarpDepth8u, kWarpDepth32f, kWarpDepth16u})
            for (int layout = 0; layout < 6; ++layout) {
                SCOPED_TRACE(testing::Message() << "trial " << trial << " depth " << depth << " layout " << layout
                                                << " interpolation " << interp);
                const int e = WarpDepthBytes(depth);
                const int planes = WarpLayoutPlanes(layout);
                const int count = planes ? planes : WarpLayoutStride(layout);
                warp_test::Planes src(sw, sh, e, count), initial(dw, dh, e, count);
                for (auto& p : src.data) warp_test::randomSamples(depth, p.data(), p.size() / e, rng);
                for (auto& p : initial.data) warp_test::randomSamples(depth, p.data(), p.size() / e, rng);
                warp_test::Planes results[3] = {initial, initial, initial};
                for (int l = 0; l < 3; ++l) {
                    const Fence fence = l == 1 ? Fence::Front : Fence::End;
                    warp_test::warpLayout(kSimdLevels[l], {depth, layout}, src, results[l], srcRoi, dstRoi, coeffs,
                                          interp | smooth, fence);
                    if (HasFatalFailure()) return;
                }
                ASSERT_EQ(results[1].data, results[2].data) << "w7 and t7";
                if (interp == VPI_INTER_CUBIC) {
                    ASSERT_EQ(results[0].data, results[1].data) << "a6 and w7";
                }
                compared += results[1].data != initial.data;
            }
    }
    EXPECT_GT(compared, 500);
}

// ---- px and w7 take the same linear source points ----

// A comb of columns 0, 1, 0, 1, ... with every row alike: in a cell starting at
// an even column both levels return the point's fraction rounded to float
// (px: 0 + f*(1 - 0) in double; w7: 0*(1 - f) + 1*f in float), so the two agree
// exactly when their source points do; a6, whose points are floats, does not.
TEST(WarpLevels, LinearSourcePointsOfPxAndW7AreEqual) {
    const int w = 64, h = 4, cols = 200, rows = 3;
    std::vector<float> comb(w * h);
    for (int i = 0; i < w * h; ++i) comb[i] = static_cast<float>((i % w) % 2);
    const WarpInverseCoeffs c{0.3137, 0.0, 0.7191, 0.0, 1.0, 0.0};
    const std::vector<WarpRowSpan> spans(rows, WarpRowSpan{0, cols - 1});
    std::vector<float> out[4];
    for (VpLevel level : kAllLevels) {
        out[level].assign(rows * cols, -1.0f);
        runKernel(level, kWarpFormat32fC1, VPI_INTER_LINEAR, comb.data(), out[level].data(), w * 4, cols * 4, 0,
                  rows - 1, spans.data(), c, w - 1, h - 1);
    }
    int compared = 0, a6Differs = 0;
    for (int y = 0; y < rows; ++y) {
        double sx = c.c2;
        for (int x = 0; x < cols; ++x, sx += c.c0) {
            const double cell = std::floor(sx);
            if (static_cast<int>(cell) % 2 || sx - cell < 1e-6 || cell + 1 - sx < 1e-6) continue;
            ++compared;
            ASSERT_EQ(out[vpLevelPx][y * cols + x], out[vpLevelW7][y * cols + x]) << x << "," << y << " at " << sx;
            ASSERT_EQ(out[vpLevelW7][y * cols + x], out[vpLevelT7][y * cols + x]) << x << "," << y;
            a6Differs += out[vpLevelA6][y * cols + x] != out[vpLevelW7][y * cols + x];
        }
    }
    EXPECT_GT(compared, 250);
    EXPECT_GT(a6Differs, 0);
}

// ---- points at and beyond the image's edges ----

// Points that the spans never produce: at exactly -1, between the edge and one
// pixel beyond it, far outside, huge and NaN. Sources fenced before and after:
// no read leaves the image. The cubic 8-bit offsets outside 0..3 keep the ends
// of the weight table, and NaN points leave their pixels untouched.
TEST(WarpLevels, PointsAtAndBeyondTheEdgesStayInsideTheImage) {
    const int w = 6, h = 5;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (VpLevel level : kSimdLevels)
        for (Fence fence : {Fence::End, Fence::Front}) {
            SCOPED_TRACE(testing::Message() << levelName(level) << (fence == Fence::End ? " end" : " front"));
            GuardedBuffer src32(w * h * 4, fence), src8(w * h, fence);
            for (int i = 0; i < w * h; ++i) {
                src32.as<float>()[i] = static_cast<float>(i);
                src8.data()[i] = static_cast<Vp8u>(10 + i * 7);
            }
            const double points[][2] = {{-1.0, -1.0}, {-1.0, 2},  {2, -1.0},   {-0.5, 1}, {5.5, 1},  {-50, 2},
                                        {2, -50},     {1e10, 3},  {-1e10, 3},  {6.0, 5.0}, {nan, 1}, {1, nan}};
            for (const auto& p : points) {
                const WarpRowSpan span{0, 1};
                const WarpInverseCoeffs c = constantPoint(p[0], p[1]);
                for (int interp : {VPI_INTER_NN, VPI_INTER_LINEAR, VPI_INTER_CUBIC}) {
                    float out32[2] = {-3.0f, -3.0f};
                    Vp8u out8[2] = {3, 3};
                    runKernel(level, kWarpFormat32fC1, interp, src32.data(), out32, w * 4, 8, 0, 0, &span, c, w - 1,
                              h - 1);
                    runKernel(level, kFormat8uC1, interp, src8.data(), out8, w, 2, 0, 0, &span, c, w - 1, h - 1);
                    const bool isNan = std::isnan(p[0]) || std::isnan(p[1]);
                    if (interp == VPI_INTER_CUBIC && isNan) {
                        EXPECT_EQ(-3.0f, out32[0]);
                        EXPECT_EQ(3, out8[1]);
                    }
                }
            }
            // Between the edge and one pixel beyond it the 8-bit cubic gives the
            // edge column's sample (row 1 at offset 1 is row 1 exactly).
            const std::vector<Vp8u> img(src8.data(), src8.data() + w * h);
            EXPECT_EQ(img[1 * w + 0], samplePoint<Vp8u>(level, kFormat8uC1, VPI_INTER_CUBIC, img, w, h, -0.5, 1));
            EXPECT_EQ(img[1 * w + 0], samplePoint<Vp8u>(level, kFormat8uC1, VPI_INTER_CUBIC, img, w, h, -1.0, 1));
            EXPECT_EQ(img[1 * w + w - 1],
                      samplePoint<Vp8u>(level, kFormat8uC1, VPI_INTER_CUBIC, img, w, h, w - 0.5, 1));
            // Beyond one pixel outside the pixel is left as it was.
            EXPECT_EQ(99, samplePoint<Vp8u>(level, kFormat8uC1, VPI_INTER_CUBIC, img, w, h, w + 0.5, 1, 99));
            EXPECT_EQ(99, samplePoint<Vp8u>(level, kFormat8uC1, VPI_INTER_CUBIC, img, w, h, -1.01, 1, 99));
        }
}

// ---- the cubic scratch row ----

using warp_test::CountingHeap;

// The span array is allocated, the scratch row is not: the call fails with
// vpStsMemAllocErr, writes nothing, leaves no block and no plane pointer moved.
TEST(WarpLevels, FailedScratchAllocationIsAnErrorAndLeavesNothing) {
    std::vector<float> src(16 * 16, 3.0f);
    const double turn[2][3] = {{0.96, -0.28, 1.5}, {0.28, 0.96, -0.25}};
    for (VpLevel level : kSimdLevels) {
        SCOPED_TRACE(levelName(level));
        std::vector<float> dst(20 * 20, -7.0f);
        const void* srcPlanes[3] = {src.data(), src.data(), src.data()};
        std::vector<float> planeDst[3] = {dst, dst, dst};
        void* dstPlanes[3] = {planeDst[0].data(), planeDst[1].data(), planeDst[2].data()};
        void* const dstPlanesBefore[3] = {dstPlanes[0], dstPlanes[1], dstPlanes[2]};
        const int p3 = kWarpDepth32f * 8 + kWarpLayoutP3;
        vpSetHeapHooks(CountingHeap::alloc, CountingHeap::release);
        CountingHeap::allocationsLeft = 1;
        const VpStatus one = coreAt(level)(src.data(), {16, 16}, 64, {0, 0, 16, 16}, dst.data(), 80, {0, 0, 20, 20},
                                           kWarpFormat32fC1, turn, VPI_INTER_CUBIC | VPI_SMOOTH_EDGE);
        const int liveAfterOne = CountingHeap::liveBlocks;
        CountingHeap::allocationsLeft = 1;
        const VpStatus planar = coreAt(level)(srcPlanes, {16, 16}, 64, {0, 0, 16, 16}, dstPlanes, 80, {0, 0, 20, 20},
                                              p3, turn, VPI_INTER_CUBIC);
        const int liveAfterPlanar = CountingHeap::liveBlocks;
        CountingHeap::allocationsLeft = 1;
        const VpStatus linear = coreAt(level)(src.data(), {16, 16}, 64, {0, 0, 16, 16}, dst.data(), 80,
                                              {0, 0, 20, 20}, kWarpFormat32fC1, turn, VPI_INTER_LINEAR);
        CountingHeap::allocationsLeft = 1 << 30;
        vpSetHeapHooks(nullptr, nullptr);
        EXPECT_EQ(vpStsMemAllocErr, one);
        EXPECT_EQ(0, liveAfterOne);
        EXPECT_EQ(vpStsMemAllocErr, planar);
        EXPECT_EQ(0, liveAfterPlanar);
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(dstPlanesBefore[k], dstPlanes[k]);
            EXPECT_EQ(std::vector<float>(400, -7.0f), planeDst[k]);
        }
        // Linear needs no scratch row: the one allocation is enough.
        EXPECT_EQ(vpStsNoErr, linear);
        EXPECT_EQ(0, CountingHeap::liveBlocks);
        int written = 0;
        for (float v : dst) written += v != -7.0f;
        EXPECT_GT(written, 100);
    }
}

// ---- every level against px on misaligned rows of every width ----

// The one-channel float entry at every width 1..40 and destination offset
// 0..15, the source ending on a guard page and canaries around and between
// the destination's rows. Relations to px: nearest equal at w7 and t7 (a6's
// float points may pick the other neighbour only at a half); linear and
// cubic within float rounding of px.
TEST(WarpLevels, EveryLevelAgainstPxOnMisalignedRows) {
    const int sw = 50, sh = 9, dh = 3;
    level_harness::GuardedRows<float> src(sw, sh, 12);
    src.fill([](int x, int y) { return static_cast<float>(20 + 10 * std::sin(x * 0.3) + 7 * std::cos(y * 0.9)); });
    const double coeffs[2][3] = {{1.13, 0.07, -0.6}, {-0.05, 1.09, -0.3}};
    const double det = coeffs[0][0] * coeffs[1][1] - coeffs[0][1] * coeffs[1][0];
    for (int interp : {VPI_INTER_NN, VPI_INTER_LINEAR, VPI_INTER_CUBIC})
        for (int width = 1; width <= 40; ++width)
            for (int offset = 0; offset < 16; ++offset) {
                level_harness::OffsetRows<float> ref(width, dh, offset);
                for (int y = 0; y < dh; ++y)
                    for (int x = 0; x < width; ++x) ref.set(x, y, -1.0f);
                ASSERT_EQ(vpStsNoErr, vpiWarpAffine_32f_C1R_px(src.data(), src.size(), src.step(), {0, 0, sw, sh},
                                                               ref.data(), ref.step(), {0, 0, width, dh}, coeffs,
                                                               interp));
                for (VpLevel level : kSimdLevels) {
                    SCOPED_TRACE(testing::Message() << levelName(level) << " interpolation " << interp << " width "
                                                    << width << " offset " << offset);
                    level_harness::OffsetRows<float> out(width, dh, offset);
                    for (int y = 0; y < dh; ++y)
                        for (int x = 0; x < width; ++x) out.set(x, y, -1.0f);
                    ASSERT_EQ(vpStsNoErr, coreAt(level)(src.data(), src.size(), src.step(), {0, 0, sw, sh},
                                                        out.data(), out.step(), {0, 0, width, dh}, kWarpFormat32fC1,
                                                        coeffs, interp));
                    ASSERT_TRUE(out.canariesIntact());
                    for (int y = 0; y < dh; ++y)
                        for (int x = 0; x < width; ++x) {
                            const float want = ref.get(x, y), got = out.get(x, y);
                            ASSERT_EQ(want == -1.0f, got == -1.0f) << x << "," << y;
                            if (interp != VPI_INTER_NN) {
                                ASSERT_NEAR(want, got, 2e-5 * 40) << x << "," << y;
                            } else if (want != got) {
                                // Only a6, and only at a half.
                                const double u = x - coeffs[0][2], v = y - coeffs[1][2];
                                const double sx = (coeffs[1][1] * u - coeffs[0][1] * v) / det;
                                const double sy = (-coeffs[1][0] * u + coeffs[0][0] * v) / det;
                                const auto nearHalf = [](double s) {
                                    return std::fabs(s - std::floor(s) - 0.5) < 1e-4;
                                };
                                ASSERT_TRUE(level == vpLevelA6 && (nearHalf(sx) || nearHalf(sy))) << x << "," << y;
                            }
                        }
                }
            }
}

}  // namespace
