// Row kernels and pixel kernels of the px warp: worked examples, every depth
// and layout against the one-channel kernels, one-channel results against
// direct references, and reads and writes fenced by inaccessible pages.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "primitives/warp/warp_px.h"
#include "tests/primitives/level_harness.h"
#include "tests/primitives/warp/warp_test_support.h"

namespace {

using warp_test::Fence;
using warp_test::GuardedBuffer;
using warp_test::Planes;
using warp_test::randomSamples;
using warp_test::warpLayout;

WarpInverseCoeffs constantPoint(double sx, double sy) { return WarpInverseCoeffs{0, 0, sx, 0, 0, sy}; }

TEST(WarpNearest, RoundsHalvesUpAndCopiesBits) {
    std::vector<Vp8u> src(10);
    for (int i = 0; i < 10; ++i) src[i] = static_cast<Vp8u>(i * 10);
    const WarpRowSpan span{0, 0};
    struct Case {
        double sx;
        int expected;
    } cases[] = {{2.5, 30}, {3.5, 40}, {2.4999, 20}, {-0.4, 0}, {9.2, 90}};
    for (const Case& c : cases) {
        Vp8u out = 255;
        const WarpInverseCoeffs coeffs = constantPoint(c.sx, 0);
        WarpNN_8u_C1_px(src.data(), &out, 10, 1, 0, 0, &span, &coeffs, 9, 0, nullptr);
        EXPECT_EQ(c.expected, out) << c.sx;
    }
    // A signalling NaN arrives bit for bit.
    const std::uint32_t snan = 0x7F800001u;
    float fsrc[4];
    std::memcpy(&fsrc[1], &snan, 4);
    fsrc[0] = fsrc[2] = fsrc[3] = 1.0f;
    float fout = 0;
    const WarpInverseCoeffs at1 = constantPoint(1.2, 0);
    WarpNN_32f_C1_px(fsrc, &fout, 16, 4, 0, 0, &span, &at1, 3, 0, nullptr);
    std::uint32_t bits;
    std::memcpy(&bits, &fout, 4);
    EXPECT_EQ(snan, bits);
}

TEST(WarpLinear, WorkedExamples) {
    const WarpRowSpan span{0, 0};
    {
        const Vp8u src[4] = {10, 20, 0, 0};
        Vp8u out = 0;
        const WarpInverseCoeffs c = constantPoint(0.5, 0);
        WarpLinear_8u_C1_px(src, &out, 2, 1, 0, 0, &span, &c, 1, 1, nullptr);
        EXPECT_EQ(15, out);
    }
    {
        const Vp8u src[4] = {2, 3, 0, 0};
        Vp8u out = 0;
        const WarpInverseCoeffs c = constantPoint(0.5, 0);
        WarpLinear_8u_C1_px(src, &out, 2, 1, 0, 0, &span, &c, 1, 1, nullptr);
        EXPECT_EQ(3, out);  // 2.5 rounded half up
    }
    {
        const Vp16u src[4] = {2, 3, 0, 0};
        Vp16u out = 0;
        const WarpInverseCoeffs c = constantPoint(0.75, 0);
        WarpLinear_16u_C1_px(src, &out, 4, 2, 0, 0, &span, &c, 1, 1, nullptr);
        EXPECT_EQ(2, out);  // 2.75 truncated
    }
    {
        // The last column and row: cell srcMaxX - 1 with fraction 1.
        const float src[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
        float out = 0;
        const WarpInverseCoeffs c = constantPoint(2, 2);
        WarpLinear_32f_C1_px(src, &out, 12, 4, 0, 0, &span, &c, 2, 2, nullptr);
        EXPECT_EQ(9.0f, out);
    }
}

TEST(WarpCubic, PixelKernelWorkedExamples) {
    {
        const Vp16u rows[16] = {0, 0, 5, 5, 0, 0, 5, 5, 0, 0, 5, 5, 0, 0, 5, 5};
        Vp16u out = 0;
        WarpCubicPixelKernel_16u_px(rows, 8, 1, &out, 1, 0.5f, 0.0f);
        EXPECT_EQ(3, out);  // 2.5 rounded half up
    }
    struct Case8 {
        Vp8u row[4];
        float fx;
        int expected;
    } cases[] = {
        {{0, 0, 255, 255}, 0.5f, 128},  // 127.5
        {{0, 255, 255, 0}, 0.5f, 255},  // overshoot 286.9
        {{255, 0, 0, 255}, 0.5f, 0},    // undershoot -31.9
        {{17, 99, 3, 250}, 1.0f, 3},
        {{17, 99, 3, 250}, 2.0f, 250},
        {{17, 99, 3, 250}, -1.0f, 17},
    };
    for (const Case8& c : cases) {
        Vp8u nb[16];
        for (int r = 0; r < 4; ++r) std::memcpy(nb + 4 * r, c.row, 4);
        Vp8u out = 0;
        WarpCubicPixelKernel_8u_px(nb, 4, 1, &out, 1, c.fx, 0.0f);
        EXPECT_EQ(c.expected, out) << c.fx;
    }
    // Interleaved: all channels with the same weights; the stride skips the fourth.
    const float nb4[16 * 4] = {};
    float out4[4] = {9, 9, 9, 9};
    WarpCubicPixelKernel_32f_px(nb4, 64, 4, out4, 3, 0.3f, 0.7f);
    EXPECT_EQ(0.0f, out4[0]);
    EXPECT_EQ(0.0f, out4[2]);
    EXPECT_EQ(9.0f, out4[3]);
}

TEST(WarpCubic, ConstantsAndNodesAreReproducedExactly) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> frac(-1.0f, 2.0f);
    std::vector<float> fractions = {-1.0f, -0.5f, 0.0f, 1e-7f, 0.5f, 1.0f, 1.5f, 2.0f};
    for (int i = 0; i < 40; ++i) fractions.push_back(frac(rng));
    for (float value : {1.0f, 0.3f, -1234.5f, 65000.25f}) {
        float nb[16];
        for (float& v : nb) v = value;
        for (float fx : fractions)
            for (float fy : fractions) {
                float out = 0;
                WarpCubicPixelKernel_32f_px(nb, 16, 1, &out, 1, fx, fy);
                ASSERT_EQ(value, out) << fx << "," << fy;
            }
    }
    // At the nodes -1, 0, 1, 2 the kernel returns the node's sample.
    float nb[16];
    std::uniform_real_distribution<float> sample(1.0f, 2.0f);
    for (float& v : nb) v = sample(rng);
    for (int r = 0; r < 4; ++r)
        for (int j = 0; j < 4; ++j) {
            float out = 0;
            WarpCubicPixelKernel_32f_px(nb, 16, 1, &out, 1, static_cast<float>(j - 1), static_cast<float>(r - 1));
            EXPECT_EQ(nb[r * 4 + j], out) << j << "," << r;
        }
}

TEST(WarpRowKernels, EmptySpanRowsAreSkippedAndTheWalkGoesOn) {
    std::vector<float> src(16 * 16);
    for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<float>((i * 7919) % 113);
    const WarpInverseCoeffs c{0.9, -0.2, 3.1, 0.15, 1.1, 2.3};
    const WarpRowSpan full[3] = {{1, 6}, {1, 6}, {1, 6}};
    const WarpRowSpan gap[3] = {{1, 6}, {5, 4}, {1, 6}};
    for (WarpRowKernel kernel : {WarpNN_32f_C1_px, WarpLinear_32f_C1_px, WarpCubic_32f_C1_px}) {
        std::vector<float> a(3 * 8, -1.0f), b(3 * 8, -1.0f);
        kernel(src.data(), a.data(), 64, 32, 4, 6, full, &c, 15, 15, nullptr);
        kernel(src.data(), b.data(), 64, 32, 4, 6, gap, &c, 15, 15, nullptr);
        for (int x = 0; x < 8; ++x) {
            EXPECT_EQ(a[x], b[x]);
            EXPECT_EQ(-1.0f, b[8 + x]);
            EXPECT_EQ(a[16 + x], b[16 + x]);
        }
        EXPECT_EQ(-1.0f, a[0]);
        EXPECT_EQ(-1.0f, a[7]);
    }
}

// Points that no span produces (far outside, huge, NaN) are clamped into the
// image, or skipped: at every level the fenced source is never read outside.
TEST(WarpRowKernels, PointsOutsideTheImageNeverReadOutside) {
    const int w = 6, h = 5;
    for (VpLevel level : level_harness::kAllLevels)
        for (Fence fence : {Fence::End, Fence::Front}) {
            GuardedBuffer src(w * h * 4, fence);
            for (int i = 0; i < w * h; ++i) src.as<float>()[i] = static_cast<float>(i);
            const double points[][2] = {{-50, 2},   {2, -50},   {-1.0, -1.0}, {1e10, 1e10}, {-1e10, 3},
                                        {5.9, 4.9}, {6.5, 5.5}, {7.5, -3},    {std::nan(""), 1}};
            const WarpRowKernel* table = warp_test::kernelTableAt(level);
            float scratch[4];
            for (const auto& p : points) {
                const WarpInverseCoeffs c = constantPoint(p[0], p[1]);
                const WarpRowSpan span{0, 1};
                for (int interp : {VPI_INTER_NN, VPI_INTER_LINEAR, VPI_INTER_CUBIC}) {
                    float out[2] = {0, 0};
                    table[WarpKernelIndex(kWarpFormat32fC1, interp)](src.data(), out, w * 4, 8, 0, 0, &span, &c,
                                                                     w - 1, h - 1, scratch);
                    Vp8u out8[2] = {0, 0};
                    table[WarpKernelIndex(kWarpDepth8u * 8 + kWarpLayoutC1, interp)](src.data(), out8, w, 2, 0, 0,
                                                                                     &span, &c, w - 1, h - 1, scratch);
                }
            }
        }
}

// The cubic arithmetic written out literally, operation by operation, as the
// oracle for the kernels' bit patterns.
void literalWeights(float fraction, double w[4]) {
    const double f = fraction;
    w[0] = ((-1.0 / 6.0 * f) * f) * f + (0.5 * f) * f;
    w[0] = w[0] + (-1.0 / 3.0) * f;
    w[1] = ((0.5 * f) * f) * f + 1.0;
    w[1] = w[1] - f * f;
    w[1] = w[1] + (-0.5) * f;
    w[2] = (0.5 * f) * f + ((-0.5 * f) * f) * f;
    w[2] = w[2] + f;
    w[3] = ((1.0 / 6.0 * f) * f) * f + (-1.0 / 6.0) * f;
}

double literalCubic(const double s[4][4], float fx, float fy) {
    double wx[4], wy[4];
    literalWeights(fx, wx);
    literalWeights(fy, wy);
    double r[4];
    for (int i = 0; i < 4; ++i) r[i] = ((s[i][0] * wx[0] + s[i][1] * wx[1]) + s[i][2] * wx[2]) + s[i][3] * wx[3];
    return ((r[0] * wy[0] + r[1] * wy[1]) + r[2] * wy[2]) + r[3] * wy[3];
}

int literalStore(double v, double maxValue) {
    if (v > maxValue) return static_cast<int>(maxValue);
    if (!(v >= 0)) return 0;
    return static_cast<int>(v + 0.5);
}

TEST(WarpCubic, OracleWeightsAtTellingFractions) {
    double w[4];
    literalWeights(0.5f, w);
    EXPECT_EQ(-0.062499999999999986, w[0]);
    EXPECT_EQ(0.5625, w[1]);
    EXPECT_EQ(0.5625, w[2]);
    EXPECT_EQ(-0.0625, w[3]);
    literalWeights(1.0f, w);
    EXPECT_EQ(std::ldexp(1.0, -54), w[0]);
    EXPECT_EQ(0.0, w[1]);
    EXPECT_EQ(1.0, w[2]);
    literalWeights(2.0f, w);
    EXPECT_EQ(std::ldexp(1.0, -53), w[0]);
    EXPECT_EQ(1.0, w[3]);
}

TEST(WarpCubic, PixelKernelsFollowTheDoubleArithmeticBitForBit) {
    std::mt19937 rng(31);
    std::uniform_real_distribution<float> frac(-1.0f, 2.0f);
    std::uniform_real_distribution<float> value(-300.0f, 300.0f);
    for (int trial = 0; trial < 3000; ++trial) {
        const float fx = trial % 7 == 0 ? static_cast<float>(trial % 4) - 1.0f : frac(rng);
        const float fy = frac(rng);
        float nb32[16];
        Vp8u nb8[16];
        Vp16u nb16[16];
        double s32[4][4], s8[4][4], s16[4][4];
        for (int i = 0; i < 16; ++i) {
            nb32[i] = value(rng);
            nb8[i] = static_cast<Vp8u>(rng() & 0xFF);
            nb16[i] = static_cast<Vp16u>(rng() & 0xFFFF);
            s32[i / 4][i % 4] = nb32[i];
            s8[i / 4][i % 4] = nb8[i];
            s16[i / 4][i % 4] = nb16[i];
        }
        float out32 = 0;
        WarpCubicPixelKernel_32f_px(nb32, 16, 1, &out32, 1, fx, fy);
        const float expected32 = static_cast<float>(literalCubic(s32, fx, fy));
        ASSERT_EQ(0, std::memcmp(&expected32, &out32, 4)) << fx << "," << fy;
        Vp8u out8 = 0;
        WarpCubicPixelKernel_8u_px(nb8, 4, 1, &out8, 1, fx, fy);
        ASSERT_EQ(literalStore(literalCubic(s8, fx, fy), 255), out8) << fx << "," << fy;
        Vp16u out16 = 0;
        WarpCubicPixelKernel_16u_px(nb16, 8, 1, &out16, 1, fx, fy);
        ASSERT_EQ(literalStore(literalCubic(s16, fx, fy), 65535), out16) << fx << "," << fy;
    }
}

void checkFloatRowKernel(const WarpInverseCoeffs& c, int w, int h) {
    const int rows = 30, cols = 44;
    std::vector<float> src(static_cast<size_t>(w) * h);
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> value(-50.0f, 50.0f);
    for (float& v : src) v = value(rng);
    std::vector<WarpRowSpan> spans(rows, WarpRowSpan{0, cols - 1});
    spans[3] = WarpRowSpan{7, 5};
    std::vector<float> out(static_cast<size_t>(rows) * cols, -1.0f);
    WarpCubic_32f_C1_px(src.data(), out.data(), w * 4, cols * 4, 0, rows - 1, spans.data(), &c, w - 1, h - 1,
                        nullptr);
    auto place = [](double v, int maxIndex, float& f) {
        const double t = v + 1e-7;
        const int n = std::fabs(t) < 2e9 ? static_cast<int>(t) : (t > 0 ? INT_MAX : INT_MIN);
        const int first = n >= maxIndex - 1 ? maxIndex - 3 : (n <= 0 ? 0 : n - 1);
        f = static_cast<float>((v + (-1.0)) - first);
        return first;
    };
    double bx = 0 * c.c1 + c.c2, by = 0 * c.c4 + c.c5;
    for (int y = 0; y < rows; ++y) {
        if (spans[y].xEnd >= spans[y].xBegin) {
            double sx = spans[y].xBegin * c.c0 + bx, sy = spans[y].xBegin * c.c3 + by;
            for (int x = spans[y].xBegin; x <= spans[y].xEnd; ++x) {
                float fx, fy;
                const int x0 = place(sx, w - 1, fx), y0 = place(sy, h - 1, fy);
                double s[4][4];
                for (int r = 0; r < 4; ++r)
                    for (int j = 0; j < 4; ++j) s[r][j] = src[(y0 + r) * w + x0 + j];
                const float expected = static_cast<float>(literalCubic(s, fx, fy));
                ASSERT_EQ(0, std::memcmp(&expected, &out[y * cols + x], 4)) << x << "," << y;
                sx += c.c0;
                sy += c.c3;
            }
        } else {
            for (int x = 0; x < cols; ++x) ASSERT_EQ(-1.0f, out[y * cols + x]);
        }
        bx += c.c1;
        by += c.c4;
    }
}

// The whole one-channel float row kernel (the engine's road) against the
// placement and arithmetic written out literally: a rotated map whose points
// sweep the whole image and a little beyond it on every side, and maps
// without rotation (the source row fixed along each destination row, c3 of
// either sign of zero) over the first, interior and last rows, and a strong
// reduction whose rows reach across hundreds of source columns.
TEST(WarpCubic, FloatRowKernelFollowsTheDoubleArithmeticBitForBit) {
    const struct {
        WarpInverseCoeffs c;
        int w, h;
    } cases[] = {{{0.4987, 0.0213, -1.3, -0.0171, 0.5531, -1.1}, 21, 17},
                 {{0.4987, 0.0, -1.3, 0.0, 0.5531, -1.1}, 21, 17},
                 {{0.5, -0.0, -0.25, -0.0, 0.5, -0.25}, 21, 17},
                 {{9.7, 0.31, -0.6, 0.013, 0.52, -0.4}, 480, 17}};
    for (const auto& t : cases) {
        SCOPED_TRACE(t.c.c0);
        SCOPED_TRACE(t.c.c3);
        checkFloatRowKernel(t.c, t.w, t.h);
    }
}

// One-channel rows of every length from 1 to 70 (the one-channel kernels work
// in chunks), at every depth and at misaligned addresses, against the pixel
// kernels called pixel by pixel with the literal placement.
template <typename T>
void checkRowsAgainstPixelKernel(WarpRowKernel rowKernel,
                                 void (*pixelKernel)(const T*, int, int, T*, int, float, float)) {
    const int w = 29, h = 11;
    const int srcStep = w * static_cast<int>(sizeof(T)) + 1;  // odd step
    std::vector<unsigned char> srcBytes(static_cast<size_t>(srcStep) * h + 1);
    std::mt19937 rng(11);
    for (auto& b : srcBytes) b = static_cast<unsigned char>(rng() & 0x3F);  // finite floats, small integers
    const unsigned char* src = srcBytes.data() + 1;                          // misaligned
    const WarpInverseCoeffs c{0.3713, 0.011, -0.7, 0.0291, 0.13, 0.4};
    auto place = [](double v, int maxIndex, float& f) {
        const int n = static_cast<int>(v + 1e-7);
        const int first = n >= maxIndex - 1 ? maxIndex - 3 : (n <= 0 ? 0 : n - 1);
        f = static_cast<float>((v + (-1.0)) - first);
        return first;
    };
    for (int len = 1; len <= 70; ++len) {
        std::vector<unsigned char> out(len * sizeof(T) + 1, 0xEE), ref(len * sizeof(T), 0xEE);
        const WarpRowSpan span{0, len - 1};
        rowKernel(src, out.data() + 1, srcStep, 0, 3, 3, &span, &c, w - 1, h - 1, nullptr);
        double sx = 0 * c.c0 + (3 * c.c1 + c.c2), sy = 0 * c.c3 + (3 * c.c4 + c.c5);
        for (int x = 0; x < len; ++x) {
            float fx, fy;
            const int x0 = place(sx, w - 1, fx), y0 = place(sy, h - 1, fy);
            T v;
            pixelKernel(reinterpret_cast<const T*>(src + y0 * srcStep + x0 * sizeof(T)), srcStep, 1, &v, 1, fx, fy);
            std::memcpy(&ref[x * sizeof(T)], &v, sizeof(T));
            sx += c.c0;
            sy += c.c3;
        }
        ASSERT_EQ(0, std::memcmp(ref.data(), out.data() + 1, ref.size())) << "length " << len;
    }
}

TEST(WarpCubic, OneChannelRowsOfEveryLengthMatchThePixelKernel) {
    checkRowsAgainstPixelKernel<Vp8u>(WarpCubic_8u_C1_px, WarpCubicPixelKernel_8u_px);
    checkRowsAgainstPixelKernel<Vp16u>(WarpCubic_16u_C1_px, WarpCubicPixelKernel_16u_px);
    checkRowsAgainstPixelKernel<Vp32f>(WarpCubic_32f_C1_px, WarpCubicPixelKernel_32f_px);
}

// ---- every depth and layout against the one-channel kernels ----

// Samples of two planes equal, or within the rounding of float where a
// level's linear one-channel kernel sums in another form than its
// multi-channel ones (the SIMD levels' 32f and 16u).
void expectSamplesClose(int depth, const std::vector<unsigned char>& want, const std::vector<unsigned char>& got) {
    ASSERT_EQ(want.size(), got.size());
    const int e = WarpDepthBytes(depth);
    for (size_t i = 0; i < want.size(); i += e) {
        double a, b;
        if (depth == kWarpDepth32f) {
            float fa, fb;
            std::memcpy(&fa, &want[i], 4);
            std::memcpy(&fb, &got[i], 4);
            a = fa;
            b = fb;
        } else {
            Vp16u ua, ub;
            std::memcpy(&ua, &want[i], 2);
            std::memcpy(&ub, &got[i], 2);
            a = ua;
            b = ub;
        }
        ASSERT_NEAR(a, b, depth == kWarpDepth32f ? 1e-5 * (1 + std::fabs(a)) : 1.0) << "sample " << i / e;
    }
}

TEST(WarpLayouts, EveryDepthAndLayoutMatchesItsOneChannelWarps) {
    const int sw = 23, sh = 17, dw = 29, dh = 21;
    const VpiRect srcRoi{1, 2, 21, 14};
    const VpiRect dstRoi{2, 1, 25, 19};
    const double coeffs[2][3] = {{1.1, -0.3, 4.2}, {0.25, 1.05, -2.7}};
    std::mt19937 rng(2024);
    const char* layoutNames[] = {"C1", "C3", "AC4", "P3", "C4", "P4"};
    for (VpLevel level : level_harness::kAllLevels)
        for (int depth : {kWarpDepth8u, kWarpDepth32f, kWarpDepth16u})
            for (int layout = 0; layout < 6; ++layout)
                for (int interp : {VPI_INTER_NN, VPI_INTER_LINEAR, VPI_INTER_CUBIC})
                    for (int smooth : {0, VPI_SMOOTH_EDGE})
                        for (Fence fence : {Fence::End, Fence::Front}) {
                            SCOPED_TRACE(testing::Message()
                                         << level_harness::levelName(level) << " depth " << depth << " layout "
                                         << layoutNames[layout] << " interpolation " << interp << " smooth "
                                         << (smooth != 0) << " fence " << (fence == Fence::End ? "end" : "front"));
                            const int e = WarpDepthBytes(depth);
                            const int planes = WarpLayoutPlanes(layout);
                            const int count = planes ? planes : WarpLayoutStride(layout);
                            const int written = layout == kWarpLayoutAC4 ? 3 : count;
                            const bool sameForm = level == vpLevelPx || interp != VPI_INTER_LINEAR ||
                                                  depth == kWarpDepth8u || layout == kWarpLayoutC1;
                            Planes src(sw, sh, e, count), dst(dw, dh, e, count);
                            for (auto& p : src.data) randomSamples(depth, p.data(), p.size() / e, rng);
                            for (auto& p : dst.data) randomSamples(depth, p.data(), p.size() / e, rng);
                            Planes initial = dst;
                            warpLayout(level, {depth, layout}, src, dst, srcRoi, dstRoi, coeffs, interp | smooth,
                                       fence);
                            if (HasFatalFailure()) return;
                            for (int k = 0; k < written; ++k) {
                                Planes oneSrc(sw, sh, e, 1), oneDst(dw, dh, e, 1);
                                oneSrc.data[0] = src.data[k];
                                oneDst.data[0] = initial.data[k];
                                warpLayout(level, {depth, kWarpLayoutC1}, oneSrc, oneDst, srcRoi, dstRoi, coeffs,
                                           interp | smooth, fence);
                                if (HasFatalFailure()) return;
                                if (sameForm) {
                                    ASSERT_EQ(oneDst.data[0], dst.data[k]) << "channel " << k;
                                } else {
                                    expectSamplesClose(depth, oneDst.data[0], dst.data[k]);
                                    if (HasFatalFailure()) return;
                                }
                            }
                            if (layout == kWarpLayoutAC4 && !smooth) {
                                EXPECT_EQ(initial.data[3], dst.data[3]);
                            }
                            EXPECT_NE(initial.data[0], dst.data[0]);
                        }
}

// ---- one-channel results against direct references ----

double referenceSample(int depth, const Planes& img, double sx, double sy, int interp) {
    const int w = img.w, h = img.h;
    auto s = [&](int x, int y) -> double {
        const unsigned char* p = &img.data[0][(static_cast<size_t>(y) * w + x) * img.e];
        if (depth == kWarpDepth8u) return *p;
        if (depth == kWarpDepth16u) {
            Vp16u v;
            std::memcpy(&v, p, 2);
            return v;
        }
        float v;
        std::memcpy(&v, p, 4);
        return v;
    };
    if (interp == VPI_INTER_NN) return s(static_cast<int>(std::floor(sx + 0.5)), static_cast<int>(std::floor(sy + 0.5)));
    if (interp == VPI_INTER_LINEAR) {
        const int x0 = std::min(static_cast<int>(std::floor(sx)), w - 2);
        const int y0 = std::min(static_cast<int>(std::floor(sy)), h - 2);
        const double fx = sx - x0, fy = sy - y0;
        return (s(x0, y0) * (1 - fx) + s(x0 + 1, y0) * fx) * (1 - fy) +
               (s(x0, y0 + 1) * (1 - fx) + s(x0 + 1, y0 + 1) * fx) * fy;
    }
    std::vector<float> plane(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) plane[y * w + x] = static_cast<float>(s(x, y));
    return warp_test::cubicReference(plane.data(), w, h, w, sx, sy);
}

TEST(WarpOneChannel, ResultsMatchDirectReferences) {
    const int sw = 19, sh = 15, dw = 40, dh = 34;
    const double coeffs[2][3] = {{1.7, 0.45, 3.3}, {-0.4, 1.8, 9.1}};
    const double det = coeffs[0][0] * coeffs[1][1] - coeffs[0][1] * coeffs[1][0];
    std::mt19937 rng(99);
    for (int depth : {kWarpDepth8u, kWarpDepth32f, kWarpDepth16u}) {
        for (int interp : {VPI_INTER_NN, VPI_INTER_LINEAR, VPI_INTER_CUBIC}) {
            SCOPED_TRACE(testing::Message() << "depth " << depth << " interpolation " << interp);
            const int e = WarpDepthBytes(depth);
            Planes src(sw, sh, e, 1), dst(dw, dh, e, 1);
            randomSamples(depth, src.data[0].data(), static_cast<size_t>(sw) * sh, rng);
            std::fill(dst.data[0].begin(), dst.data[0].end(), 0x5A);
            Planes initial = dst;
            warpLayout(vpLevelPx, {depth, kWarpLayoutC1}, src, dst, {0, 0, sw, sh}, {0, 0, dw, dh}, coeffs, interp,
                       Fence::End);
            if (HasFatalFailure()) return;
            const double maxValue = depth == kWarpDepth8u ? 255 : 65535;
            for (int y = 0; y < dh; ++y)
                for (int x = 0; x < dw; ++x) {
                    const double u = x - coeffs[0][2], v = y - coeffs[1][2];
                    const double sx = (coeffs[1][1] * u - coeffs[0][1] * v) / det;
                    const double sy = (-coeffs[1][0] * u + coeffs[0][0] * v) / det;
                    const bool changed = std::memcmp(dst.sample(0, x, y), initial.sample(0, x, y), e) != 0;
                    const double m = 1e-6;
                    if (sx < -m || sy < -m || sx > sw - 1 + m || sy > sh - 1 + m) {
                        ASSERT_FALSE(changed) << x << "," << y;
                        continue;
                    }
                    if (sx < m || sy < m || sx > sw - 1 - m || sy > sh - 1 - m) continue;
                    if (interp == VPI_INTER_NN &&
                        (std::fabs(sx - std::floor(sx) - 0.5) < 1e-6 || std::fabs(sy - std::floor(sy) - 0.5) < 1e-6))
                        continue;
                    double ref = referenceSample(depth, src, sx, sy, interp);
                    double got;
                    if (depth == kWarpDepth8u) {
                        got = *dst.sample(0, x, y);
                    } else if (depth == kWarpDepth16u) {
                        Vp16u g;
                        std::memcpy(&g, dst.sample(0, x, y), 2);
                        got = g;
                    } else {
                        float g;
                        std::memcpy(&g, dst.sample(0, x, y), 4);
                        got = g;
                    }
                    double tolerance = 1e-3 * (1 + std::fabs(ref));
                    if (depth != kWarpDepth32f) {
                        ref = std::min(std::max(ref, 0.0), maxValue);
                        // Rounding, or truncation (16-bit linear) of a sum a hair below an integer.
                        tolerance = interp == VPI_INTER_NN ? 0 : 1.001;
                    }
                    ASSERT_NEAR(ref, got, tolerance) << x << "," << y << " at " << sx << "," << sy;
                }
        }
    }
}

}  // namespace
