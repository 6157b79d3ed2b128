// Erosion and dilation at every SIMD level: equal to px on finite values,
// and on signed zeros, NaN and infinities equal to a scalar model of the
// operand orders the SIMD levels use (the processor's minimum and maximum
// return their second operand on ties and NaN).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "primitives/core/memory.h"
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

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kLargest = 3.4028235e38f;

float simdMin(float a, float b) { return a < b ? a : b; }
float simdMax(float a, float b) { return a > b ? a : b; }

bool sameFloat(float a, float b) { return (std::isnan(a) && std::isnan(b)) || std::memcmp(&a, &b, 4) == 0; }

// A plane of w x h floats whose last byte lies before an inaccessible page.
struct GuardedPlane {
    int w, h, step;
    GuardPageBlock block;
    GuardedPlane(int w_, int h_, int extraFloats)
        : w(w_), h(h_), step(4 * (w_ + extraFloats)), block(static_cast<std::size_t>(step) * (h_ - 1) + 4 * w_) {}
    float* at(int x, int y) { return reinterpret_cast<float*>(block.data() + static_cast<std::size_t>(y) * step) + x; }
    float get(int x, int y) {
        float v;
        std::memcpy(&v, at(x, y), 4);
        return v;
    }
};

enum class Values { Finite, Special };

float drawValue(std::mt19937& rng, Values kind) {
    if (kind == Values::Special) {
        switch (rng() % 8) {
            case 0: return 0.0f;
            case 1: return -0.0f;
            case 2: return std::numeric_limits<float>::quiet_NaN();
            case 3: return kInf;
            case 4: return -kInf;
            default: break;
        }
    }
    return static_cast<float>(static_cast<int>(rng() % 2001) - 1000) / 8.0f;  // ties are common
}

// ---- 3x3 ------------------------------------------------------------------

// The SIMD levels' output x of a row: column values op(op(middle, top),
// bottom); scalar outputs op(op(c_x, c_x+1), c_x+2), vector outputs
// op(op(c_x+2, c_x), c_x+1). Rows below 13 outputs are scalar; otherwise a
// scalar head up to the destination's 16-byte boundary, vector steps of eight
// while ten outputs remain, and a scalar tail.
bool vectorOutput(int W, std::uintptr_t dstRow, int x) {
    if (W < 13) return false;
    const int head = (dstRow & 3) ? 0 : static_cast<int>(((16 - (dstRow & 15)) & 15) / 4);
    if (x < head) return false;
    const int steps = W - head >= 10 ? (W - head - 10) / 8 + 1 : 0;
    return x < head + 8 * steps;
}

float model3x3(GuardedPlane& src, int x, int y, bool erode, bool vector) {
    const auto op = erode ? simdMin : simdMax;
    auto column = [&](int j) { return op(op(src.get(j, y + 1), src.get(j, y)), src.get(j, y + 2)); };
    const float c0 = column(x), c1 = column(x + 1), c2 = column(x + 2);
    return vector ? op(op(c2, c0), c1) : op(op(c0, c1), c2);
}

void check3x3(int W, int H, int extra, int dstOffset, Values kind, std::mt19937& rng) {
    GuardedPlane src(W + 2, H + 2, extra);
    for (int y = 0; y < H + 2; ++y)
        for (int x = 0; x < W + 2; ++x) *src.at(x, y) = drawValue(rng, kind);
    const Vp32f* origin = src.at(1, 1);
    for (bool erode : {true, false}) {
        OffsetRows<float> pxOut(W, H, dstOffset);
        ASSERT_EQ((erode ? vpiErode3x3_32f_C1R_px : vpiDilate3x3_32f_C1R_px)(origin, src.step, pxOut.data(),
                                                                             pxOut.step(), {W, H}),
                  vpStsNoErr);
        for (VpLevel level : kSimdLevels) {
            ScopedLevel scoped(level, Subsystem::Filters);
            OffsetRows<float> out(W, H, dstOffset);
            ASSERT_EQ((erode ? vpiErode3x3_32f_C1R : vpiDilate3x3_32f_C1R)(origin, src.step, out.data(), out.step(),
                                                                           {W, H}),
                      vpStsNoErr);
            ASSERT_TRUE(out.canariesIntact()) << levelName(level) << " W " << W;
            for (int y = 0; y < H; ++y) {
                const auto rowAddress = reinterpret_cast<std::uintptr_t>(out.data()) + static_cast<std::uintptr_t>(y) * out.step();
                for (int x = 0; x < W; ++x) {
                    const float got = out.get(x, y);
                    const float want = kind == Values::Finite ? pxOut.get(x, y)
                                                              : model3x3(src, x, y, erode, vectorOutput(W, rowAddress, x));
                    ASSERT_TRUE(sameFloat(got, want))
                        << levelName(level) << (erode ? " erode" : " dilate") << " W " << W << " dst offset "
                        << dstOffset << " at " << x << "," << y << ": " << got << " expected " << want;
                }
            }
        }
    }
}

TEST(Morphology3x3Levels, FiniteValuesEqualPx) {
    std::mt19937 rng(41);
    for (int W = 1; W <= 40; ++W)
        for (int dstOffset : {0, 4, 8, 12}) check3x3(W, 3, (W + dstOffset) % 3, dstOffset, Values::Finite, rng);
}

TEST(Morphology3x3Levels, SignedZerosNaNAndInfinitiesFollowEachLevelsOperandOrder) {
    std::mt19937 rng(42);
    for (int W = 1; W <= 40; ++W)
        for (int dstOffset : {0, 4, 8, 12}) check3x3(W, 3, 1, dstOffset, Values::Special, rng);
}

TEST(Morphology3x3Levels, UnalignedDestinationUsesTheVectorLoopFromTheStart) {
    // A destination 2 bytes off the float grid: no scalar head.
    std::mt19937 rng(43);
    const int W = 29, H = 2;
    GuardedPlane src(W + 2, H + 2, 0);
    for (int y = 0; y < H + 2; ++y)
        for (int x = 0; x < W + 2; ++x) *src.at(x, y) = drawValue(rng, Values::Special);
    std::vector<Vp8u> bytes(4 * W * H + 8, 0xEE);
    for (VpLevel level : kSimdLevels) {
        ScopedLevel scoped(level, Subsystem::Filters);
        ASSERT_EQ(vpiErode3x3_32f_C1R(src.at(1, 1), src.step, reinterpret_cast<Vp32f*>(bytes.data() + 2), 4 * W,
                                      {W, H}),
                  vpStsNoErr);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                float got;
                std::memcpy(&got, bytes.data() + 2 + 4 * (y * W + x), 4);
                const std::uintptr_t misaligned = 2;  // any address off the float grid
                ASSERT_TRUE(sameFloat(got, model3x3(src, x, y, true, vectorOutput(W, misaligned, x))))
                    << levelName(level) << " at " << x << "," << y;
            }
        EXPECT_EQ(bytes[0], 0xEE);
        EXPECT_EQ(bytes[1], 0xEE);
        EXPECT_EQ(bytes[4 * W * H + 2], 0xEE);
    }
}

TEST(Morphology3x3Levels, InPlaceEqualsOutOfPlaceOnFiniteValues) {
    std::mt19937 rng(44);
    for (VpLevel level : kSimdLevels) {
        ScopedLevel scoped(level, Subsystem::Filters);
        for (int W : {1, 12, 13, 30})
            for (int H : {1, 2, 5}) {
                std::vector<float> img(static_cast<std::size_t>(W + 2) * (H + 2));
                // Finite values: which outputs take the scalar or the vector
                // order depends on where the result rows lie.
                for (auto& v : img) v = drawValue(rng, Values::Finite);
                std::vector<float> out(static_cast<std::size_t>(W) * H);
                const int step = 4 * (W + 2);
                ASSERT_EQ(vpiErode3x3_32f_C1R(img.data() + W + 3, step, out.data(), 4 * W, {W, H}), vpStsNoErr);
                ASSERT_EQ(vpiErode3x3_32f_C1IR(img.data() + W + 3, step, {W, H}), vpStsNoErr);
                for (int y = 0; y < H; ++y)
                    for (int x = 0; x < W; ++x)
                        ASSERT_TRUE(sameFloat(img[static_cast<std::size_t>(y + 1) * (W + 2) + x + 1],
                                              out[static_cast<std::size_t>(y) * W + x]))
                            << levelName(level) << " W " << W << " H " << H;
            }
        std::vector<float> img(16, 1.0f);
        EXPECT_EQ(vpiErode3x3_32f_C1IR(img.data() + 5, 4, {2, 2}), vpStsStrideErr);
        EXPECT_EQ(vpiErode3x3_32f_C1IR(img.data() + 5, 0, {0, 2}), vpStsStepErr);
        vpSetHeapHooks([](std::size_t) -> void* { return nullptr; }, nullptr);
        EXPECT_EQ(vpiErode3x3_32f_C1IR(img.data() + 5, 16, {2, 2}), vpStsMemAllocErr);
        vpSetHeapHooks(nullptr, nullptr);
        EXPECT_EQ(img, std::vector<float>(16, 1.0f));
    }
}

// ---- Masks --------------------------------------------------------------

// SIMD levels: from +largest (erosion), acc = min(acc, max(v, e)) over every
// cell in mask order, e = -largest for members and +largest otherwise;
// dilation mirrors it.
float modelMask(GuardedPlane& src, int x, int y, const std::vector<Vp8u>& mask, int mw, int mh, bool erode) {
    float acc = erode ? kLargest : -kLargest;
    for (int r = 0; r < mh; ++r)
        for (int c = 0; c < mw; ++c) {
            const float v = src.get(x + c, y + r);
            const bool member = mask[static_cast<std::size_t>(r) * mw + c] != 0;
            const float e = (member == erode) ? -kLargest : kLargest;
            acc = erode ? simdMin(acc, simdMax(v, e)) : simdMax(acc, simdMin(v, e));
        }
    return acc;
}

void checkMask(int W, int H, int mw, int mh, int ax, int ay, Values kind, std::mt19937& rng) {
    std::vector<Vp8u> mask(static_cast<std::size_t>(mw) * mh);
    for (auto& m : mask) m = (rng() % 3) ? static_cast<Vp8u>(1 + rng() % 255) : 0;
    mask[static_cast<std::size_t>(ay) * mw + ax] = 1;
    GuardedPlane original(W + mw - 1, H + mh - 1, 1);
    for (int y = 0; y < original.h; ++y)
        for (int x = 0; x < original.w; ++x) *original.at(x, y) = drawValue(rng, kind);
    for (bool erode : {true, false}) {
        auto run = [&](bool px) {
            GuardedPlane img(original.w, original.h, 1);
            std::memcpy(img.block.data(), original.block.data(), img.block.size());
            const auto fn = erode ? (px ? vpiErode_32f_C1IR_px : vpiErode_32f_C1IR)
                                  : (px ? vpiDilate_32f_C1IR_px : vpiDilate_32f_C1IR);
            EXPECT_EQ(fn(img.at(ax, ay), img.step, {W, H}, mask.data(), {mw, mh}, {ax, ay}), vpStsNoErr);
            std::vector<float> region;
            for (int y = 0; y < original.h; ++y)
                for (int x = 0; x < original.w; ++x) region.push_back(img.get(x, y));
            return region;
        };
        const auto pxRegion = run(true);
        for (VpLevel level : kSimdLevels) {
            ScopedLevel scoped(level, Subsystem::Filters);
            const auto got = run(false);
            for (int y = 0; y < original.h; ++y)
                for (int x = 0; x < original.w; ++x) {
                    const bool inside = x >= ax && x < ax + W && y >= ay && y < ay + H;
                    const float g = got[static_cast<std::size_t>(y) * original.w + x];
                    const float want = !inside ? original.get(x, y)
                                       : kind == Values::Finite
                                           ? pxRegion[static_cast<std::size_t>(y) * original.w + x]
                                           : modelMask(original, x - ax, y - ay, mask, mw, mh, erode);
                    ASSERT_TRUE(sameFloat(g, want)) << levelName(level) << (erode ? " erode " : " dilate ") << mw
                                                    << "x" << mh << " W " << W << " at " << x << "," << y << ": " << g
                                                    << " expected " << want;
                }
        }
    }
}

TEST(MaskMorphologyLevels, FiniteValuesEqualPx) {
    std::mt19937 rng(51);
    const int masks[][4] = {{1, 1, 0, 0}, {3, 3, 1, 1}, {5, 3, 4, 0}, {2, 4, 1, 3}, {7, 5, 3, 2}, {6, 6, 5, 5}};
    for (const auto& m : masks)
        for (int W = 1; W <= 40; W += (W < 18 ? 1 : 7))
            for (int H : {1, 3, 7}) checkMask(W, H, m[0], m[1], m[2], m[3], Values::Finite, rng);
}

TEST(MaskMorphologyLevels, SpecialValuesFollowTheClampingCells) {
    std::mt19937 rng(52);
    const int masks[][4] = {{3, 3, 1, 1}, {6, 6, 2, 3}, {1, 1, 0, 0}};
    for (const auto& m : masks)
        for (int W : {1, 7, 8, 9, 17})
            for (int H : {1, 4}) checkMask(W, H, m[0], m[1], m[2], m[3], Values::Special, rng);
}

TEST(MaskMorphologyLevels, MaskedInfinitiesComeOutAsTheLargestFloat) {
    const Vp8u mask[9] = {1, 1, 1, 1, 1, 1, 1, 1, 1};
    for (VpLevel level : kSimdLevels) {
        ScopedLevel scoped(level, Subsystem::Filters);
        auto run = [&](bool erode, float fill, float centre) {
            std::vector<float> img(25, fill);
            img[12] = centre;
            EXPECT_EQ((erode ? vpiErode_32f_C1IR : vpiDilate_32f_C1IR)(img.data() + 12, 20, {1, 1}, mask, {3, 3},
                                                                      {1, 1}),
                      vpStsNoErr);
            return img[12];
        };
        EXPECT_EQ(run(true, 1.0f, -kInf), -kLargest) << levelName(level);  // px: -infinity
        EXPECT_EQ(run(false, 1.0f, kInf), kLargest) << levelName(level);   // px: +infinity
        EXPECT_EQ(run(true, kInf, kInf), kLargest) << levelName(level);
        EXPECT_EQ(run(false, -kInf, -kInf), -kLargest) << levelName(level);
    }
}

TEST(MaskMorphologyLevels, LargeMasksAndFailedAllocations) {
    // 33 cells and more take their cell vectors from the heap; a failed
    // allocation leaves the image as it was.
    std::mt19937 rng(53);
    checkMask(11, 3, 11, 3, 5, 1, Values::Finite, rng);
    checkMask(9, 2, 4, 8, 0, 7, Values::Special, rng);
    std::vector<float> img(12 * 12, 2.0f);
    const std::vector<Vp8u> mask(33, 1);
    for (VpLevel level : kSimdLevels) {
        ScopedLevel scoped(level, Subsystem::Filters);
        for (int cells : {9, 33}) {
            vpSetHeapHooks([](std::size_t) -> void* { return nullptr; }, nullptr);
            const VpStatus status = vpiErode_32f_C1IR(img.data() + 13, 48, {1, 1}, mask.data(), {cells / 3, 3}, {1, 1});
            vpSetHeapHooks(nullptr, nullptr);
            EXPECT_EQ(status, vpStsMemAllocErr) << levelName(level);
            EXPECT_EQ(img, std::vector<float>(12 * 12, 2.0f));
        }
        const Vp8u zeros[9] = {};
        EXPECT_EQ(vpiDilate_32f_C1IR(img.data(), 48, {2, 2}, zeros, {3, 3}, {5, 5}), vpStsZeroMaskValuesErr);
        EXPECT_EQ(vpiDilate_32f_C1IR(img.data(), 48, {2, 2}, mask.data(), {3, 3}, {3, 0}), vpStsAnchorErr);
    }
}

}  // namespace
