// Erosion and dilation, 3x3 and with a mask, against brute-force minima and
// maxima, in place and not.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "primitives/filters/filters_internal.h"
#include "primitives/primitives.h"

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kLargest = 3.4028235e38f;

// An image with a border of `border` pixels around a W x H region.
struct Padded {
    int W, H, border, stride;
    std::vector<float> px;
    Padded(int w, int h, int b, unsigned seed) : W(w), H(h), border(b), stride(w + 2 * b), px() {
        px.resize(static_cast<size_t>(stride) * (h + 2 * b));
        std::mt19937 rng(seed);
        std::uniform_real_distribution<float> v(-50.0f, 50.0f);
        for (auto& p : px) p = v(rng);  // distinct in practice: ties are checked separately
    }
    float* region() { return px.data() + static_cast<size_t>(border) * stride + border; }
    float at(int x, int y) const { return px[static_cast<size_t>(y + border) * stride + x + border]; }
    int step() const { return stride * 4; }
};

float extreme3x3(const Padded& img, int x, int y, bool erode) {
    float r = img.at(x, y);
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) r = erode ? std::min(r, img.at(x + dx, y + dy)) : std::max(r, img.at(x + dx, y + dy));
    return r;
}

TEST(Morphology3x3, MatchesBruteForceOutOfPlaceAndInPlace) {
    for (int W : {1, 2, 3, 12, 13, 40})
        for (int H : {1, 2, 3, 7}) {
            Padded img(W, H, 1, static_cast<unsigned>(W * 100 + H));
            const int dstStride = W + 1;
            std::vector<float> eroded(static_cast<size_t>(dstStride) * H, 99.0f), dilated = eroded;
            ASSERT_EQ(vpiErode3x3_32f_C1R_px(img.region(), img.step(), eroded.data(), dstStride * 4, {W, H}), vpStsNoErr);
            ASSERT_EQ(vpiDilate3x3_32f_C1R_px(img.region(), img.step(), dilated.data(), dstStride * 4, {W, H}), vpStsNoErr);
            Padded inPlace = img;
            ASSERT_EQ(vpiErode3x3_32f_C1IR_px(inPlace.region(), inPlace.step(), {W, H}), vpStsNoErr);
            for (int y = 0; y < H; ++y) {
                for (int x = 0; x < W; ++x) {
                    ASSERT_EQ(eroded[static_cast<size_t>(y) * dstStride + x], extreme3x3(img, x, y, true));
                    ASSERT_EQ(dilated[static_cast<size_t>(y) * dstStride + x], extreme3x3(img, x, y, false));
                    ASSERT_EQ(inPlace.at(x, y), eroded[static_cast<size_t>(y) * dstStride + x]);
                }
                ASSERT_EQ(eroded[static_cast<size_t>(y) * dstStride + W], 99.0f);
            }
            // The in-place form never writes the border.
            for (int y = -1; y <= H; ++y)
                for (int x = -1; x <= W; ++x) {
                    if (x < 0 || y < 0 || x >= W || y >= H) {
                        ASSERT_EQ(inPlace.at(x, y), img.at(x, y));
                    }
                }
        }
}

// A 3x3 window of value v with one cell changed: the output shows which
// operand wins on ties and NaN.
float single3x3(bool erode, float base, int cell, float special) {
    float win[9];
    for (float& w : win) w = base;
    win[cell] = special;
    float out = 0;
    const auto fn = erode ? vpiErode3x3_32f_C1R_px : vpiDilate3x3_32f_C1R_px;
    EXPECT_EQ(fn(win + 4, 12, &out, 4, {1, 1}), vpStsNoErr);
    return out;
}

TEST(Morphology3x3, TiesAndNaNFollowTheOperandOrder) {
    // On ties the later operand wins: -0 in the last cell survives, in the first it does not.
    EXPECT_TRUE(std::signbit(single3x3(true, 0.0f, 8, -0.0f)));
    EXPECT_FALSE(std::signbit(single3x3(true, 0.0f, 0, -0.0f)));
    EXPECT_TRUE(std::signbit(single3x3(false, 0.0f, 8, -0.0f)));
    EXPECT_FALSE(std::signbit(single3x3(false, 0.0f, 0, -0.0f)));
    // Erosion returns the later operand on a NaN, dilation the earlier one.
    const float nan = std::nanf("");
    EXPECT_TRUE(std::isnan(single3x3(true, 1.0f, 8, nan)));
    EXPECT_EQ(single3x3(true, 1.0f, 0, nan), 1.0f);
    EXPECT_EQ(single3x3(false, 1.0f, 8, nan), 1.0f);
    EXPECT_TRUE(std::isnan(single3x3(false, 1.0f, 0, nan)));
}

// The rotating-slot order of the row routine, written out: column value c_j =
// op(op(top, middle), bottom); output x combines c_x .. c_x+2 in slot order,
// c_j living in slot j mod 3.
float slotOrderModel(const Padded& img, int x, int y, bool erode) {
    auto op = [erode](float a, float b) { return erode ? ((b > a) ? a : b) : ((b >= a) ? b : a); };
    auto column = [&](int j) { return op(op(img.at(j - 1, y - 1), img.at(j - 1, y)), img.at(j - 1, y + 1)); };
    float slot[3];
    for (int j = x; j < x + 3; ++j) slot[j % 3] = column(j);
    return op(op(slot[0], slot[1]), slot[2]);
}

bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Rows of values where -0, +0 and NaN of both signs meet, sparse and dense, on
// rows short and long (passes over a row start every 1024 outputs): every
// output of erosion, dilation and in-place erosion has the model's bits.
TEST(Morphology3x3, SignedZerosAndNaNKeepTheSlotOrderOnLongRows) {
    const float nan = std::nanf("");
    const float specials[] = {0.0f, -0.0f, nan, -nan, kInf, -kInf, 1.0f, -1.0f};
    struct Case {
        int W, H, specialEvery;  // one special value in this many pixels (0: none)
        bool zerosOnly;          // the specials are +0 and -0 only
    };
    const Case cases[] = {{1, 3, 2, false},    {7, 4, 3, false},     {40, 3, 1, false},     {720, 4, 0, false},
                          {1023, 3, 500, false}, {1030, 3, 40, false}, {2050, 2, 2000, false}, {3000, 3, 7, false},
                          {40, 4, 2, true},    {1030, 3, 3, true},   {2050, 3, 9, true}};
    std::mt19937 rng(5);
    for (const auto& c : cases) {
        Padded img(c.W, c.H, 1, static_cast<unsigned>(c.W));
        for (auto& p : img.px) {
            p = static_cast<float>(static_cast<int>(rng() % 5) - 2);  // many ties
            if (c.specialEvery && rng() % c.specialEvery == 0)
                p = specials[rng() % (c.zerosOnly ? 2 : std::size(specials))];
        }
        const int dstStride = c.W + 1;
        std::vector<float> eroded(static_cast<size_t>(dstStride) * c.H, 99.0f), dilated = eroded;
        ASSERT_EQ(vpiErode3x3_32f_C1R_px(img.region(), img.step(), eroded.data(), dstStride * 4, {c.W, c.H}), vpStsNoErr);
        ASSERT_EQ(vpiDilate3x3_32f_C1R_px(img.region(), img.step(), dilated.data(), dstStride * 4, {c.W, c.H}),
                  vpStsNoErr);
        Padded inPlace = img;
        ASSERT_EQ(vpiErode3x3_32f_C1IR_px(inPlace.region(), inPlace.step(), {c.W, c.H}), vpStsNoErr);
        for (int y = 0; y < c.H; ++y)
            for (int x = 0; x < c.W; ++x) {
                const float e = slotOrderModel(img, x, y, true);
                const float d = slotOrderModel(img, x, y, false);
                ASSERT_TRUE(sameBits(eroded[static_cast<size_t>(y) * dstStride + x], e)) << "erode W " << c.W << " at " << x << "," << y;
                ASSERT_TRUE(sameBits(dilated[static_cast<size_t>(y) * dstStride + x], d)) << "dilate W " << c.W << " at " << x << "," << y;
                ASSERT_TRUE(sameBits(inPlace.at(x, y), e)) << "in place W " << c.W << " at " << x << "," << y;
            }
    }
}

TEST(Morphology3x3, ChecksStepsBeforeSizesAndStrides) {
    float buf[64] = {};
    EXPECT_EQ(vpiErode3x3_32f_C1R_px(nullptr, 0, buf, 0, {0, 0}), vpStsNullPtrErr);
    EXPECT_EQ(vpiDilate3x3_32f_C1R_px(buf, 16, nullptr, 16, {1, 1}), vpStsNullPtrErr);
    EXPECT_EQ(vpiErode3x3_32f_C1R_px(buf, 0, buf, 16, {0, 0}), vpStsStepErr);
    EXPECT_EQ(vpiErode3x3_32f_C1R_px(buf, 16, buf, 16, {0, 1}), vpStsSizeErr);
    EXPECT_EQ(vpiErode3x3_32f_C1R_px(buf, 4 * (2 + 1), buf, 8, {2, 1}), vpStsStrideErr);  // needs 4 * (W + 2)
    EXPECT_EQ(vpiDilate3x3_32f_C1R_px(buf + 5, 4 * 4, buf + 40, 4 * 1, {2, 1}), vpStsStrideErr);
    EXPECT_EQ(vpiErode3x3_32f_C1IR_px(nullptr, 0, {0, 0}), vpStsNullPtrErr);
    EXPECT_EQ(vpiErode3x3_32f_C1IR_px(buf, -4, {0, 0}), vpStsStepErr);
    EXPECT_EQ(vpiErode3x3_32f_C1IR_px(buf, 16, {1, 0}), vpStsSizeErr);
    EXPECT_EQ(vpiErode3x3_32f_C1IR_px(buf, 8, {1, 1}), vpStsStrideErr);
}

TEST(Morphology3x3, InPlaceAllocationFailureLeavesTheImage) {
    Padded img(5, 4, 1, 3);
    Padded before = img;
    vpSetHeapHooks([](std::size_t) -> void* { return nullptr; }, nullptr);
    const VpStatus status = vpiErode3x3_32f_C1IR_px(img.region(), img.step(), {5, 4});
    vpSetHeapHooks(nullptr, nullptr);
    EXPECT_EQ(status, vpStsMemAllocErr);
    EXPECT_EQ(img.px, before.px);
}

struct MaskCase {
    int mw, mh, ax, ay;
};

TEST(MaskMorphology, MatchesBruteForceForRandomMasksAndAnchors) {
    std::mt19937 rng(11);
    const MaskCase cases[] = {{1, 1, 0, 0}, {3, 3, 1, 1}, {3, 3, 2, 2}, {3, 3, 0, 0}, {5, 3, 4, 0},
                              {2, 4, 1, 3}, {7, 5, 3, 2}, {6, 6, 5, 5}, {1, 4, 0, 2}};
    for (const auto& mc : cases)
        for (int W : {1, 3, 4, 5, 9, 17})
            for (int H : {1, 2, 5}) {
                std::vector<Vp8u> mask(static_cast<size_t>(mc.mw) * mc.mh);
                for (auto& m : mask) m = (rng() % 3) ? static_cast<Vp8u>(rng() % 256) : 0;
                mask[static_cast<size_t>(mc.ay) * mc.mw + mc.ax] = 1;
                const int border = 7;
                Padded img(W, H, border, rng());
                Padded work = img;
                Padded dilated = img;
                ASSERT_EQ(vpiErode_32f_C1IR_px(work.region(), work.step(), {W, H}, mask.data(), {mc.mw, mc.mh},
                                               {mc.ax, mc.ay}),
                          vpStsNoErr);
                ASSERT_EQ(vpiDilate_32f_C1IR_px(dilated.region(), dilated.step(), {W, H}, mask.data(),
                                                {mc.mw, mc.mh}, {mc.ax, mc.ay}),
                          vpStsNoErr);
                for (int y = -border; y < H + border; ++y)
                    for (int x = -border; x < W + border; ++x) {
                        if (x < 0 || y < 0 || x >= W || y >= H) {
                            ASSERT_EQ(work.at(x, y), img.at(x, y));
                            ASSERT_EQ(dilated.at(x, y), img.at(x, y));
                            continue;
                        }
                        float lo = kInf, hi = -kInf;
                        for (int r = 0; r < mc.mh; ++r)
                            for (int c = 0; c < mc.mw; ++c)
                                if (mask[static_cast<size_t>(r) * mc.mw + c]) {
                                    const float v = img.at(x - mc.ax + c, y - mc.ay + r);
                                    lo = std::min(lo, v);
                                    hi = std::max(hi, v);
                                }
                        ASSERT_EQ(work.at(x, y), lo);
                        ASSERT_EQ(dilated.at(x, y), hi);
                    }
            }
}

TEST(MaskMorphology, InfinitiesAndTheLargestFloat) {
    const Vp8u mask[9] = {1, 1, 1, 1, 1, 1, 1, 1, 1};
    auto run = [&](bool erode, float fill, float centre) {
        std::vector<float> img(25, fill);
        img[12] = centre;
        const auto fn = erode ? vpiErode_32f_C1IR_px : vpiDilate_32f_C1IR_px;
        EXPECT_EQ(fn(img.data() + 12, 20, {1, 1}, mask, {3, 3}, {1, 1}), vpStsNoErr);
        return img[12];
    };
    EXPECT_EQ(run(true, 1.0f, -kInf), -kInf);
    EXPECT_EQ(run(false, 1.0f, kInf), kInf);
    EXPECT_EQ(run(true, kInf, kInf), kLargest);
    EXPECT_EQ(run(false, -kInf, -kInf), -kLargest);
}

TEST(MaskMorphology, ArgumentChecksInOrder) {
    float img[64] = {};
    const Vp8u ones[9] = {1, 1, 1, 1, 1, 1, 1, 1, 1};
    const Vp8u zeros[9] = {};
    EXPECT_EQ(vpiErode_32f_C1IR_px(img, 64, {2, 2}, nullptr, {3, 3}, {1, 1}), vpStsNullPtrErr);
    EXPECT_EQ(vpiErode_32f_C1IR_px(nullptr, 64, {2, 2}, ones, {3, 3}, {1, 1}), vpStsNullPtrErr);
    EXPECT_EQ(vpiErode_32f_C1IR_px(img, 0, {0, 2}, ones, {3, 3}, {1, 1}), vpStsStepErr);
    EXPECT_EQ(vpiErode_32f_C1IR_px(img, 64, {0, 2}, ones, {0, 3}, {1, 1}), vpStsSizeErr);
    EXPECT_EQ(vpiErode_32f_C1IR_px(img, 64, {2, 2}, ones, {0, 3}, {9, 1}), vpStsMaskSizeErr);
    EXPECT_EQ(vpiDilate_32f_C1IR_px(img, 64, {2, 2}, zeros, {3, 3}, {5, 5}), vpStsZeroMaskValuesErr);
    EXPECT_EQ(vpiDilate_32f_C1IR_px(img, 64, {2, 2}, ones, {3, 3}, {3, 0}), vpStsAnchorErr);
    EXPECT_EQ(vpiErode_32f_C1IR_px(img, 4 * (2 + 3 - 2), {2, 2}, ones, {3, 3}, {1, 1}), vpStsStrideErr);
}

TEST(MaskMorphology, AllocationFailureLeavesTheImage) {
    Padded img(4, 4, 2, 5);
    Padded before = img;
    const Vp8u mask[9] = {1, 0, 1, 0, 1, 0, 1, 0, 1};
    vpSetHeapHooks([](std::size_t) -> void* { return nullptr; }, nullptr);
    const VpStatus status = vpiErode_32f_C1IR_px(img.region(), img.step(), {4, 4}, mask, {3, 3}, {1, 1});
    vpSetHeapHooks(nullptr, nullptr);
    EXPECT_EQ(status, vpStsMemAllocErr);
    EXPECT_EQ(img.px, before.px);
}

}  // namespace
