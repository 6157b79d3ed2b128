// The warp entry and core: argument checks and their order, the small-source
// fallback, clipping, allocation failures, and the smooth-edge pass.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "primitives/core/memory.h"
#include "primitives/primitives.h"
#include "primitives/warp/warp_px.h"
#include "tests/primitives/level_harness.h"
#include "tests/primitives/warp/warp_test_support.h"

namespace {

using warp_test::GuardedBuffer;

constexpr float kUntouched = -777.0f;

struct FloatImage {
    int width, height;
    std::vector<float> px;
    FloatImage(int w, int h, float fill) : width(w), height(h), px(static_cast<size_t>(w) * h, fill) {}
    int step() const { return width * 4; }
    float& at(int x, int y) { return px[static_cast<size_t>(y) * width + x]; }
};

FloatImage ramp(int w, int h) {
    FloatImage img(w, h, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) img.at(x, y) = static_cast<float>(y * 100 + x);
    return img;
}

const double kIdentity[2][3] = {{1, 0, 0}, {0, 1, 0}};

// Arguments of one entry call, changed one at a time by the status table.
struct Call {
    const float* src;
    VpiSize srcSize;
    int srcStep;
    VpiRect srcRoi;
    float* dst;
    int dstStep;
    VpiRect dstRoi;
    const double (*coeffs)[3];
    int interpolation;
    VpStatus run() const {
        return vpiWarpAffine_32f_C1R_px(src, srcSize, srcStep, srcRoi, dst, dstStep, dstRoi, coeffs, interpolation);
    }
};

TEST(WarpCore, StatusesInTheirOrderAndNothingWrittenOnFailure) {
    FloatImage src = ramp(10, 8);
    FloatImage dst(12, 10, kUntouched);
    const double tiny[2][3] = {{1e-4, 0, 0}, {0, 1e-4, 0}};
    const double inf = std::numeric_limits<double>::infinity();
    const double infinite[2][3] = {{inf, 0, 0}, {0, 1, 0}};
    const double nanDet[2][3] = {{std::nan(""), 0, 0}, {0, 1, 0}};
    const double far[2][3] = {{1, 0, 100}, {0, 1, 100}};
    const Call good{src.px.data(), {10, 8}, src.step(), {0, 0, 10, 8}, dst.px.data(), dst.step(), {0, 0, 12, 10},
                    kIdentity, VPI_INTER_CUBIC};
    struct Case {
        const char* name;
        Call call;
        VpStatus expected;
    };
    auto with = [&](auto change) {
        Call c = good;
        change(c);
        return c;
    };
    const Case cases[] = {
        {"null source", with([](Call& c) { c.src = nullptr; }), vpStsNullPtrErr},
        {"null destination before zero size",
         with([](Call& c) {
             c.dst = nullptr;
             c.srcSize = {0, 0};
         }),
         vpStsNullPtrErr},
        {"null coefficients", with([](Call& c) { c.coeffs = nullptr; }), vpStsNullPtrErr},
        {"zero size before zero step",
         with([](Call& c) {
             c.srcSize = {0, 8};
             c.srcStep = 0;
         }),
         vpStsSizeErr},
        {"zero height", with([](Call& c) { c.srcSize = {10, 0}; }), vpStsSizeErr},
        {"negative source region x", with([](Call& c) { c.srcRoi.x = -1; }), vpStsSizeErr},
        {"empty source region", with([](Call& c) { c.srcRoi.height = 0; }), vpStsSizeErr},
        {"negative destination region y", with([](Call& c) { c.dstRoi.y = -1; }), vpStsSizeErr},
        {"empty destination region", with([](Call& c) { c.dstRoi.width = 0; }), vpStsSizeErr},
        {"destination corner beyond int", with([](Call& c) { c.dstRoi = {2000000000, 0, 2000000000, 4}; }),
         vpStsSizeErr},
        {"zero source step before interpolation",
         with([](Call& c) {
             c.srcStep = 0;
             c.interpolation = 3;
         }),
         vpStsStepErr},
        {"negative destination step", with([](Call& c) { c.dstStep = -4; }), vpStsStepErr},
        {"smooth edge alone", with([](Call& c) { c.interpolation = VPI_SMOOTH_EDGE; }), vpStsInterpolationErr},
        {"interpolation 3", with([](Call& c) { c.interpolation = 3; }), vpStsInterpolationErr},
        {"supersampling", with([](Call& c) { c.interpolation = VPI_INTER_SUPER; }), vpStsInterpolationErr},
        {"interpolation before coefficients",
         with([&](Call& c) {
             c.interpolation = 0;
             c.coeffs = tiny;
         }),
         vpStsInterpolationErr},
        {"determinant 1e-8", with([&](Call& c) { c.coeffs = tiny; }), vpStsCoeffErr},
        {"NaN determinant", with([&](Call& c) { c.coeffs = nanDet; }), vpStsCoeffErr},
        {"infinite coefficient", with([&](Call& c) { c.coeffs = infinite; }), vpStsCoeffErr},
        {"region origin at the image width", with([](Call& c) { c.srcRoi = {10, 0, 4, 4}; }), vpStsNoErr},
        {"region origin below the image", with([](Call& c) { c.srcRoi = {0, 8, 4, 4}; }), vpStsNoErr},
        {"one column left", with([](Call& c) { c.srcRoi = {9, 0, 4, 4}; }), vpStsWrongIntersectROI},
        {"one row left", with([](Call& c) { c.srcRoi = {0, 7, 4, 4}; }), vpStsWrongIntersectROI},
        {"quadrangle misses the destination", with([&](Call& c) { c.coeffs = far; }), vpStsNoOperation},
        {"misses, with smooth edges",
         with([&](Call& c) {
             c.coeffs = far;
             c.interpolation = VPI_INTER_LINEAR | VPI_SMOOTH_EDGE;
         }),
         vpStsNoOperation},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, c.call.run()) << c.name;
        for (float v : dst.px) ASSERT_EQ(kUntouched, v) << c.name;
    }
    // Cubic with smooth edges is accepted; a region larger than the image is clipped silently.
    EXPECT_EQ(vpStsNoErr, with([](Call& c) {
                              c.interpolation = VPI_INTER_CUBIC | VPI_SMOOTH_EDGE;
                              c.srcRoi = {0, 0, 500, 500};
                          }).run());
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 12; ++x)
            EXPECT_EQ(x < 10 && y < 8 ? src.at(x, y) : kUntouched, dst.at(x, y)) << x << "," << y;
}

TEST(WarpCore, IdentityNearestNeighbourWritesExactlyTheIntersection) {
    FloatImage src = ramp(20, 16);
    FloatImage dst(30, 25, kUntouched);
    const VpiRect srcRoi{3, 2, 12, 9};  // columns 3..14, rows 2..10
    const VpiRect dstRoi{6, 5, 20, 15}; // columns 6..25, rows 5..19
    ASSERT_EQ(vpStsNoErr, vpiWarpAffine_32f_C1R_px(src.px.data(), {20, 16}, src.step(), srcRoi, dst.px.data(),
                                                   dst.step(), dstRoi, kIdentity, VPI_INTER_NN));
    for (int y = 0; y < 25; ++y)
        for (int x = 0; x < 30; ++x) {
            const bool inside = x >= 6 && x <= 14 && y >= 5 && y <= 10;
            EXPECT_EQ(inside ? src.at(x, y) : kUntouched, dst.at(x, y)) << x << "," << y;
        }
}

// A map with a rotation, so that every interpolation sees fractions.
const double kTurn[2][3] = {{0.96, -0.28, 1.5}, {0.28, 0.96, -0.25}};

TEST(WarpCore, CubicOnSourcesUnderFourPixelsRunsLinear) {
    struct Size {
        int w, h;
        bool linear;
    };
    for (const Size s : {Size{3, 3, true}, Size{4, 3, true}, Size{3, 4, true}, Size{4, 4, false}}) {
        FloatImage src(s.w, s.h, 0);
        for (int i = 0; i < s.w * s.h; ++i) src.px[i] = static_cast<float>((i * 37) % 11);
        FloatImage cubic(8, 8, kUntouched), linear(8, 8, kUntouched);
        const VpiRect roi{0, 0, s.w, s.h};
        ASSERT_EQ(vpStsNoErr, vpiWarpAffine_32f_C1R_px(src.px.data(), {s.w, s.h}, src.step(), roi, cubic.px.data(),
                                                       cubic.step(), {0, 0, 8, 8}, kTurn, VPI_INTER_CUBIC));
        ASSERT_EQ(vpStsNoErr, vpiWarpAffine_32f_C1R_px(src.px.data(), {s.w, s.h}, src.step(), roi, linear.px.data(),
                                                       linear.step(), {0, 0, 8, 8}, kTurn, VPI_INTER_LINEAR));
        EXPECT_EQ(s.linear, cubic.px == linear.px) << s.w << "x" << s.h;
    }
}

TEST(WarpCore, ThreeByThreeLinearReachesTheLastPixel) {
    FloatImage src(3, 3, 0);
    for (int i = 0; i < 9; ++i) src.px[i] = static_cast<float>(i + 1);
    FloatImage dst(3, 3, kUntouched);
    ASSERT_EQ(vpStsNoErr, vpiWarpAffine_32f_C1R_px(src.px.data(), {3, 3}, src.step(), {0, 0, 3, 3}, dst.px.data(),
                                                   dst.step(), {0, 0, 3, 3}, kIdentity, VPI_INTER_CUBIC));
    EXPECT_EQ(src.px, dst.px);
}

using warp_test::CountingHeap;

TEST(WarpCore, FailedSpanAllocationIsAnErrorAndLeavesNothing) {
    FloatImage src = ramp(16, 16);
    for (VpLevel level : level_harness::kAllLevels) {
        SCOPED_TRACE(level_harness::levelName(level));
        FloatImage dst(20, 20, kUntouched);
        const auto warp = [&](int interpolation) {
            return warp_test::coreAt(level)(src.px.data(), {16, 16}, src.step(), {0, 0, 16, 16}, dst.px.data(),
                                            dst.step(), {0, 0, 20, 20}, kWarpFormat32fC1, kTurn, interpolation);
        };
        vpSetHeapHooks(CountingHeap::alloc, CountingHeap::release);
        CountingHeap::allocationsLeft = 0;
        const VpStatus failed = warp(VPI_INTER_CUBIC | VPI_SMOOTH_EDGE);
        const int leftAfterFailure = CountingHeap::liveBlocks;
        const bool untouched = dst.px == std::vector<float>(dst.px.size(), kUntouched);
        CountingHeap::allocationsLeft = 1 << 30;
        const VpStatus ok = warp(VPI_INTER_CUBIC);
        vpSetHeapHooks(nullptr, nullptr);
        EXPECT_EQ(vpStsMemAllocErr, failed);
        EXPECT_EQ(0, leftAfterFailure);
        EXPECT_TRUE(untouched);
        EXPECT_EQ(vpStsNoErr, ok);
        EXPECT_EQ(0, CountingHeap::liveBlocks);
    }
}

TEST(WarpCore, PlanarPlaneChecks) {
    std::vector<Vp8u> plane(64, 7), out(64, 0);
    const double id[2][3] = {{1, 0, 0}, {0, 1, 0}};
    // P3 reads exactly three plane pointers of each array (fenced after the third).
    GuardedBuffer srcPlanes(3 * sizeof(void*)), dstPlanes(3 * sizeof(void*));
    const void** s = srcPlanes.as<const void*>();
    void** d = dstPlanes.as<void*>();
    for (int k = 0; k < 3; ++k) {
        s[k] = plane.data();
        d[k] = out.data();
    }
    const int p3 = kWarpDepth8u * 8 + kWarpLayoutP3;
    EXPECT_EQ(vpStsNoErr, WarpAffineCore_px(s, {8, 8}, 8, {0, 0, 8, 8}, d, 8, {0, 0, 8, 8}, p3, id, VPI_INTER_NN));
    EXPECT_EQ(std::vector<Vp8u>(64, 7), out);
    // The caller's plane array is left as it was.
    for (int k = 0; k < 3; ++k) EXPECT_EQ(out.data(), d[k]);
    d[1] = nullptr;
    EXPECT_EQ(vpStsNullPtrErr, WarpAffineCore_px(s, {8, 8}, 8, {0, 0, 8, 8}, d, 8, {0, 0, 8, 8}, p3, id, VPI_INTER_NN));

    const int p4 = kWarpDepth8u * 8 + kWarpLayoutP4;
    const void* s4[4] = {plane.data(), plane.data(), plane.data(), plane.data()};
    void* d4[4] = {out.data(), out.data(), out.data(), nullptr};
    EXPECT_EQ(vpStsNullPtrErr, WarpAffineCore_px(s4, {8, 8}, 8, {0, 0, 8, 8}, d4, 8, {0, 0, 8, 8}, p4, id, VPI_INTER_NN));
    s4[3] = nullptr;
    d4[3] = out.data();
    EXPECT_EQ(vpStsNullPtrErr, WarpAffineCore_px(s4, {8, 8}, 8, {0, 0, 8, 8}, d4, 8, {0, 0, 8, 8}, p4, id, VPI_INTER_NN));
    // Format codes outside the table are refused.
    EXPECT_EQ(vpStsNotSupportedModeErr,
              WarpAffineCore_px(plane.data(), {8, 8}, 8, {0, 0, 8, 8}, out.data(), 8, {0, 0, 8, 8}, 6, id, VPI_INTER_NN));
    EXPECT_EQ(vpStsNotSupportedModeErr,
              WarpAffineCore_px(plane.data(), {8, 8}, 8, {0, 0, 8, 8}, out.data(), 8, {0, 0, 8, 8}, 24, id, VPI_INTER_NN));
}

TEST(WarpCore, ConstantImageIsReproducedExactlyByCubic) {
    for (float value : {1.0f, 0.3f, -1234.5f}) {
        FloatImage src(72, 58, value);
        FloatImage dst(144, 116, kUntouched);
        const double zoomTurn[2][3] = {{1.98, -0.07, 1.3}, {0.07, 1.98, -0.6}};
        ASSERT_EQ(vpStsNoErr, vpiWarpAffine_32f_C1R_px(src.px.data(), {72, 58}, src.step(), {0, 0, 72, 58},
                                                       dst.px.data(), dst.step(), {0, 0, 144, 116}, zoomTurn,
                                                       VPI_INTER_CUBIC));
        int written = 0;
        for (float v : dst.px) {
            if (v == kUntouched) continue;
            ++written;
            ASSERT_EQ(value, v);
        }
        EXPECT_GT(written, 12000);
    }
}

// The engine's road at every level: a smooth plane enlarged by a small
// rotation, against the cubic evaluated directly in long double at the exact
// inverse point.
TEST(WarpCore, CubicZoomMatchesADirectReference) {
    const int w = 90, h = 72, dw = 180, dh = 144;
    FloatImage src(w, h, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            src.at(x, y) = static_cast<float>(100 + 60 * std::sin(x * 0.11 + 0.3) * std::cos(y * 0.07) + 0.2 * x);
    const double a = 0.03, s = 2.0;
    const double coeffs[2][3] = {{s * std::cos(a), -s * std::sin(a), 3.25}, {s * std::sin(a), s * std::cos(a), -2.5}};
    const double det = coeffs[0][0] * coeffs[1][1] - coeffs[0][1] * coeffs[1][0];
    for (VpLevel level : level_harness::kAllLevels) {
        SCOPED_TRACE(level_harness::levelName(level));
        GuardedBuffer dstBuf(static_cast<size_t>(dw) * dh * 4);
        float* dst = dstBuf.as<float>();
        for (int i = 0; i < dw * dh; ++i) dst[i] = kUntouched;
        ASSERT_EQ(vpStsNoErr, warp_test::coreAt(level)(src.px.data(), {w, h}, src.step(), {0, 0, w, h}, dst, dw * 4,
                                                       {0, 0, dw, dh}, kWarpFormat32fC1, coeffs, VPI_INTER_CUBIC));
        int written = 0;
        for (int y = 0; y < dh; ++y)
            for (int x = 0; x < dw; ++x) {
                const double u = x - coeffs[0][2], v = y - coeffs[1][2];
                const double sx = (coeffs[1][1] * u - coeffs[0][1] * v) / det;
                const double sy = (-coeffs[1][0] * u + coeffs[0][0] * v) / det;
                const float got = dst[y * dw + x];
                const double margin = 1e-6;
                if (sx < -margin || sy < -margin || sx > w - 1 + margin || sy > h - 1 + margin) {
                    EXPECT_EQ(kUntouched, got) << x << "," << y;
                    continue;
                }
                if (sx < margin || sy < margin || sx > w - 1 - margin || sy > h - 1 - margin) continue;
                ++written;
                ASSERT_NE(kUntouched, got) << x << "," << y;
                const double ref = warp_test::cubicReference(src.px.data(), w, h, w, sx, sy);
                ASSERT_NEAR(ref, got, 2e-4) << x << "," << y;
            }
        EXPECT_GT(written, dw * dh / 2);
    }
}

// Smooth edges on an 8-bit plane: a top edge of slope 1/4 crossing column 2 at
// row 4.25 above a constant 200 warped into a destination of 100.
TEST(WarpCore, SmoothEdgeBlendsTheFringeOutsideSlantedEdges) {
    std::vector<Vp8u> src(64, 200);
    const double slope[2][3] = {{1, 0, 2}, {0.25, 1, 4.25}};
    const int c1 = kWarpDepth8u * 8 + kWarpLayoutC1;
    std::vector<Vp8u> plain(20 * 20, 100), smooth(20 * 20, 100);
    ASSERT_EQ(vpStsNoErr, WarpAffineCore_px(src.data(), {8, 8}, 8, {0, 0, 8, 8}, plain.data(), 20, {0, 0, 20, 20},
                                            c1, slope, VPI_INTER_NN));
    ASSERT_EQ(vpStsNoErr, WarpAffineCore_px(src.data(), {8, 8}, 8, {0, 0, 8, 8}, smooth.data(), 20, {0, 0, 20, 20},
                                            c1, slope, VPI_INTER_NN | VPI_SMOOTH_EDGE));
    auto at = [](const std::vector<Vp8u>& img, int x, int y) { return static_cast<int>(img[y * 20 + x]); };
    EXPECT_EQ(100, at(plain, 2, 4));
    EXPECT_EQ(200, at(plain, 2, 5));
    EXPECT_EQ(175, at(smooth, 2, 4));  // 0.25 * 100 + 0.75 * 200
    EXPECT_EQ(150, at(smooth, 3, 4));  // edge at 4.5
    EXPECT_EQ(125, at(smooth, 4, 4));  // edge at 4.75
    EXPECT_EQ(100, at(smooth, 5, 4));  // edge exactly on row 5: nothing blended
    EXPECT_EQ(200, at(smooth, 5, 5));  // on the edge: inside
    EXPECT_EQ(100, at(smooth, 2, 3));
    // The vertical left edge and the interior are left alone.
    EXPECT_EQ(100, at(smooth, 1, 8));
    EXPECT_EQ(200, at(smooth, 4, 8));

    // With an identity map every edge is axis-parallel: nothing changes.
    std::vector<Vp8u> a(20 * 20, 100), b(20 * 20, 100);
    ASSERT_EQ(vpStsNoErr, WarpAffineCore_px(src.data(), {8, 8}, 8, {0, 0, 8, 8}, a.data(), 20, {0, 0, 20, 20}, c1,
                                            kIdentity, VPI_INTER_LINEAR));
    ASSERT_EQ(vpStsNoErr, WarpAffineCore_px(src.data(), {8, 8}, 8, {0, 0, 8, 8}, b.data(), 20, {0, 0, 20, 20}, c1,
                                            kIdentity, VPI_INTER_LINEAR | VPI_SMOOTH_EDGE));
    EXPECT_EQ(a, b);
}

// Steep edges: a left edge through column 4.25 at row 2 and a right edge through
// column 11.25, over a constant 200 in a destination of 100.
TEST(WarpCore, SmoothEdgeBlendsAlongSteepEdges) {
    std::vector<Vp8u> src(64, 200);
    const double shear[2][3] = {{1, 0.25, 4.25}, {0, 1, 2}};
    const int c1 = kWarpDepth8u * 8 + kWarpLayoutC1;
    std::vector<Vp8u> dst(20 * 20, 100);
    ASSERT_EQ(vpStsNoErr, WarpAffineCore_px(src.data(), {8, 8}, 8, {0, 0, 8, 8}, dst.data(), 20, {0, 0, 20, 20}, c1,
                                            shear, VPI_INTER_NN | VPI_SMOOTH_EDGE));
    auto at = [&](int x, int y) { return static_cast<int>(dst[y * 20 + x]); };
    EXPECT_EQ(175, at(4, 2));   // 0.25 * 100 + 0.75 * 200
    EXPECT_EQ(150, at(4, 3));   // edge at 4.5
    EXPECT_EQ(125, at(4, 4));   // edge at 4.75
    EXPECT_EQ(100, at(4, 5));   // edge exactly on column 5: nothing blended
    EXPECT_EQ(125, at(12, 2));  // right edge at 11.25: 0.75 * 100 + 0.25 * 200
    EXPECT_EQ(200, at(11, 2));
    EXPECT_EQ(100, at(3, 2));
}

TEST(WarpCore, SmoothEdgeBlendsTheAlphaChannelOfAC4) {
    std::vector<Vp8u> src(8 * 8 * 4, 200);
    const double slope[2][3] = {{1, 0, 2}, {0.25, 1, 4.25}};
    const int ac4 = kWarpDepth8u * 8 + kWarpLayoutAC4;
    std::vector<Vp8u> dst(20 * 20 * 4, 100);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) dst[(y * 20 + x) * 4 + 3] = static_cast<Vp8u>(y * 10);
    ASSERT_EQ(vpStsNoErr, WarpAffineCore_px(src.data(), {8, 8}, 32, {0, 0, 8, 8}, dst.data(), 80, {0, 0, 20, 20},
                                            ac4, slope, VPI_INTER_NN | VPI_SMOOTH_EDGE));
    const Vp8u* p = &dst[(4 * 20 + 2) * 4];
    EXPECT_EQ(175, p[0]);
    EXPECT_EQ(175, p[2]);
    EXPECT_EQ(48, p[3]);  // trunc(0.25 * 40 + 0.75 * 50 + 0.5)
    EXPECT_EQ(50, dst[(5 * 20 + 2) * 4 + 3]);  // the kernel never writes alpha
}

TEST(WarpCore, DispatchedEntryReachesTheWarp) {
    FloatImage src = ramp(8, 8);
    for (VpLevel level : level_harness::kAllLevels) {
        level_harness::ScopedLevel scope(level);
        EXPECT_EQ(level, scope.levelOf(level_harness::Subsystem::Warp)) << level_harness::levelName(level);
        FloatImage dst(8, 8, kUntouched);
        ASSERT_EQ(vpStsNoErr, vpiWarpAffine_32f_C1R(src.px.data(), {8, 8}, src.step(), {0, 0, 8, 8}, dst.px.data(),
                                                    dst.step(), {0, 0, 8, 8}, kIdentity, VPI_INTER_NN));
        EXPECT_EQ(src.px, dst.px) << level_harness::levelName(level);
    }
}

}  // namespace

namespace {

// Random maps, regions and sizes, fenced buffers: whatever the status, nothing
// outside the source is read and nothing outside the destination region is
// written.
TEST(WarpCore, RandomMapsStayInsideTheirImages) {
    for (VpLevel level : level_harness::kAllLevels) {
        SCOPED_TRACE(level_harness::levelName(level));
        std::mt19937 rng(77);
        std::uniform_real_distribution<double> unit(-1.0, 1.0);
        int warped = 0;
        auto pick = [&](int lo, int hi) { return lo + static_cast<int>(rng() % static_cast<unsigned>(hi - lo + 1)); };
        for (int trial = 0; trial < 1000; ++trial) {
            const bool odd = trial % 7 == 0;  // sizes and regions anywhere, mostly refused
            const int sw = pick(odd ? 1 : 3, 24), sh = pick(odd ? 1 : 3, 24), dw = pick(4, 40), dh = pick(4, 40);
            // Mostly rotations, scales and shears that land on the destination; every
            // tenth map is arbitrary.
            const double scale = std::pow(10.0, unit(rng) * 0.7), angle = unit(rng) * 3.2;
            double coeffs[2][3] = {{scale * std::cos(angle), -scale * std::sin(angle) + 0.2 * unit(rng), 0},
                                   {scale * std::sin(angle), scale * std::cos(angle), 0}};
            coeffs[0][2] = dw / 2.0 - coeffs[0][0] * sw / 2.0 - coeffs[0][1] * sh / 2.0 + 3 * unit(rng);
            coeffs[1][2] = dh / 2.0 - coeffs[1][0] * sw / 2.0 - coeffs[1][1] * sh / 2.0 + 3 * unit(rng);
            if (trial % 10 == 0)
                for (auto& row : coeffs)
                    for (double& v : row) v = unit(rng) * std::pow(10.0, unit(rng) * 3);
            if (trial % 50 == 0) coeffs[0][2] = 1e300;
            const VpiRect srcRoi = odd ? VpiRect{pick(0, sw), pick(0, sh), pick(1, 30), pick(1, 30)}
                                       : VpiRect{pick(0, std::max(0, sw - 3)), pick(0, std::max(0, sh - 3)),
                                                 pick(2, 30), pick(2, 30)};
            const int dx = pick(0, odd ? dw - 1 : dw / 4), dy = pick(0, odd ? dh - 1 : dh / 4);
            const VpiRect dst{dx, dy, pick(odd ? 1 : (dw - dx) / 2, dw - dx), pick(odd ? 1 : (dh - dy) / 2, dh - dy)};
            const int interp = (trial % 3 == 0 ? VPI_INTER_NN : trial % 3 == 1 ? VPI_INTER_LINEAR : VPI_INTER_CUBIC) |
                               (trial % 4 == 0 ? VPI_SMOOTH_EDGE : 0);
            GuardedBuffer srcBuf(static_cast<size_t>(sw) * sh * 4, trial % 2 ? warp_test::Fence::End
                                                                             : warp_test::Fence::Front);
            for (int i = 0; i < sw * sh; ++i) srcBuf.as<float>()[i] = static_cast<float>(i % 13);
            std::vector<float> out(static_cast<size_t>(dw) * dh, kUntouched);
            const VpStatus status = warp_test::coreAt(level)(srcBuf.as<float>(), {sw, sh}, sw * 4, srcRoi, out.data(),
                                                             dw * 4, dst, kWarpFormat32fC1, coeffs, interp);
            ASSERT_TRUE(status == vpStsNoErr || status == vpStsNoOperation || status == vpStsCoeffErr ||
                        status == vpStsWrongIntersectROI)
                << status;
            for (int y = 0; y < dh; ++y)
                for (int x = 0; x < dw; ++x) {
                    const bool inRegion = x >= dst.x && x < dst.x + dst.width && y >= dst.y && y < dst.y + dst.height;
                    if (!inRegion || status != vpStsNoErr) {
                        ASSERT_EQ(kUntouched, out[y * dw + x]) << trial;
                    }
                }
            if (status == vpStsNoErr && out != std::vector<float>(out.size(), kUntouched)) ++warped;
        }
        EXPECT_GT(warped, 400);
    }
}

}  // namespace
