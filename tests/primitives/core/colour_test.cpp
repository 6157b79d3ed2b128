#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "guarded_image.h"
#include "primitives/core/dispatch_variants.h"
#include "primitives/primitives.h"

namespace {

using Pixel = std::array<int, 3>;

Pixel toYUV(Pixel rgb) {
    const Vp8u src[3] = {Vp8u(rgb[0]), Vp8u(rgb[1]), Vp8u(rgb[2])};
    Vp8u y = 0, u = 0, v = 0;
    Vp8u* planes[3] = {&y, &u, &v};
    EXPECT_EQ(vpiRGBToYUV_8u_C3P3R(src, 3, planes, 1, {1, 1}), vpStsNoErr);
    return {y, u, v};
}

Pixel toRGB(Pixel yuv) {
    const Vp8u y = Vp8u(yuv[0]), u = Vp8u(yuv[1]), v = Vp8u(yuv[2]);
    const Vp8u* planes[3] = {&y, &u, &v};
    Vp8u dst[3] = {};
    EXPECT_EQ(vpiYUVToRGB_8u_P3C3R(planes, 1, dst, 3, {1, 1}), vpStsNoErr);
    return {dst[0], dst[1], dst[2]};
}

TEST(ColourConversion, NamedColours) {
    EXPECT_EQ(toYUV({255, 0, 0}), (Pixel{76, 90, 255}));   // V clamped
    EXPECT_EQ(toYUV({0, 255, 0}), (Pixel{149, 54, 0}));    // V clamped
    EXPECT_EQ(toYUV({0, 0, 0}), (Pixel{0, 128, 128}));
    EXPECT_EQ(toYUV({255, 255, 255}), (Pixel{255, 128, 128}));
    EXPECT_EQ(toYUV({128, 128, 128}), (Pixel{128, 128, 128}));
    EXPECT_EQ(toRGB({255, 255, 255}), (Pixel{255, 131, 255}));
    EXPECT_EQ(toRGB({255, 128, 128}), (Pixel{255, 255, 255}));
    for (int y = 0; y < 256; ++y) EXPECT_EQ(toRGB({y, 128, 128}), (Pixel{y, y, y}));
}

// Every result lies within the rounding of its fixed-point formula of the
// real-valued conversion: Y = 0.299 R + 0.587 G + 0.114 B, U = 0.492 (B - Y) + 128,
// V = 0.877 (R - Y) + 128, and back R = Y + 1.140 v, G = Y - 0.394 u - 0.581 v,
// B = Y + 2.032 u, all clamped to 0..255.
TEST(ColourConversion, DenseAgreementWithTheRealValuedFormulas) {
    const int n = 86;  // every third level of each component: 636056 pixels
    std::vector<Vp8u> rgb(static_cast<std::size_t>(n) * n * n * 3);
    std::size_t k = 0;
    for (int r = 0; r < n; ++r)
        for (int g = 0; g < n; ++g)
            for (int b = 0; b < n; ++b) {
                rgb[k++] = Vp8u(std::min(255, 3 * r));
                rgb[k++] = Vp8u(std::min(255, 3 * g));
                rgb[k++] = Vp8u(std::min(255, 3 * b + (r + g) % 3));
            }
    const int width = n * n, height = n;
    std::vector<Vp8u> Y(static_cast<std::size_t>(width) * height), U(Y.size()), V(Y.size());
    Vp8u* planes[3] = {Y.data(), U.data(), V.data()};
    ASSERT_EQ(vpiRGBToYUV_8u_C3P3R(rgb.data(), width * 3, planes, width, {width, height}), vpStsNoErr);
    std::vector<Vp8u> back(rgb.size());
    const Vp8u* cplanes[3] = {Y.data(), U.data(), V.data()};
    ASSERT_EQ(vpiYUVToRGB_8u_P3C3R(cplanes, width, back.data(), width * 3, {width, height}), vpStsNoErr);

    auto clamp = [](double x) { return std::min(255.0, std::max(0.0, x)); };
    double worstForward = 0, worstBackward = 0;
    for (std::size_t i = 0; i < Y.size(); ++i) {
        const double R = rgb[3 * i], G = rgb[3 * i + 1], B = rgb[3 * i + 2];
        const double y = 0.299 * R + 0.587 * G + 0.114 * B;
        worstForward = std::max({worstForward, std::fabs(Y[i] - y), std::fabs(U[i] - clamp(0.492 * (B - y) + 128)),
                                 std::fabs(V[i] - clamp(0.877 * (R - y) + 128))});
        const double u = U[i] - 128.0, v = V[i] - 128.0;
        worstBackward = std::max({worstBackward, std::fabs(back[3 * i] - clamp(Y[i] + 1.140 * v)),
                                  std::fabs(back[3 * i + 1] - clamp(Y[i] - 0.394 * u - 0.581 * v)),
                                  std::fabs(back[3 * i + 2] - clamp(Y[i] + 2.032 * u))});
        // U never needs its clamp.
        ASSERT_GE(U[i], 16);
        ASSERT_LE(U[i], 239);
    }
    // Truncating shifts: below one unit plus the formulas' coefficient rounding.
    EXPECT_LT(worstForward, 1.5);
    EXPECT_LT(worstBackward, 1.05);
}

// The fixed-point formulas of the plain level, in 32-bit integers.
int clampToByte(int v) { return std::min(255, std::max(0, v)); }

Pixel modelYUV(int R, int G, int B) {
    const int c = 19595 * R + 38470 * G + 7471 * B;
    const int dB = (65536 * B - c + 32767) >> 16;
    const int dR = (65536 * R - c + 32767) >> 16;
    return {c >> 16, ((dB * 32244) >> 16) + 128, clampToByte(((dR * 57475) >> 16) + 128)};
}

Pixel modelRGB(int Y, int U, int V) {
    const int u = U - 128, v = V - 128;
    return {clampToByte((65536 * Y + 74710 * v) >> 16), clampToByte((65536 * Y - 25820 * u - 38075 * v) >> 16),
            clampToByte((65536 * Y + 133168 * u) >> 16)};
}

// Every one of the 2^24 inputs in each direction, as 256 images of 256 x 256
// (the first component fixed per image, the second by row, the third by column).
TEST(ColourConversion, PlainLevelMatchesTheFixedPointFormulasForEveryInput) {
    constexpr int n = 256;
    std::vector<Vp8u> packed(n * n * 3), a(n * n), b(n * n), c(n * n);
    Vp8u* planes[3] = {a.data(), b.data(), c.data()};
    const Vp8u* cplanes[3] = {a.data(), b.data(), c.data()};
    int wrong = 0;
    for (int first = 0; first < n && wrong < 10; ++first) {
        for (int row = 0; row < n; ++row)
            for (int col = 0; col < n; ++col) {
                Vp8u* p = &packed[3 * (row * n + col)];
                p[0] = Vp8u(first);
                p[1] = Vp8u(row);
                p[2] = Vp8u(col);
            }
        ASSERT_EQ(vpiRGBToYUV_8u_C3P3R_px(packed.data(), 3 * n, planes, n, {n, n}), vpStsNoErr);
        for (int i = 0; i < n * n && wrong < 10; ++i)
            if (Pixel{a[i], b[i], c[i]} != modelYUV(first, i / n, i % n)) {
                ADD_FAILURE() << "RGB " << first << " " << i / n << " " << i % n;
                ++wrong;
            }
        for (int i = 0; i < n * n; ++i) {
            a[i] = Vp8u(first);
            b[i] = Vp8u(i / n);
            c[i] = Vp8u(i % n);
        }
        ASSERT_EQ(vpiYUVToRGB_8u_P3C3R_px(cplanes, n, packed.data(), 3 * n, {n, n}), vpStsNoErr);
        for (int i = 0; i < n * n && wrong < 10; ++i)
            if (Pixel{packed[3 * i], packed[3 * i + 1], packed[3 * i + 2]} != modelRGB(first, i / n, i % n)) {
                ADD_FAILURE() << "YUV " << first << " " << i / n << " " << i % n;
                ++wrong;
            }
    }
}

TEST(ColourConversion, RegionsLeaveTheGapsBetweenRowsUntouched) {
    for (int width : {1, 7, 8, 9, 17}) {
        GuardedImage<Vp8u> rgb(width * 3, 3, 5, 1);
        rgb.fill([](int x, int y) { return Vp8u(x * 29 + y * 101); });
        GuardedImage<Vp8u> y(width, 3, 6), u(width, 3, 6), v(width, 3, 6);
        // The three planes share one step.
        Vp8u* planes[3] = {y.data(), u.data(), v.data()};
        ASSERT_EQ(vpiRGBToYUV_8u_C3P3R(rgb.data(), rgb.step(), planes, y.step(), {width, 3}), vpStsNoErr);
        EXPECT_TRUE(y.guardsIntact() && u.guardsIntact() && v.guardsIntact());
        for (int r = 0; r < 3; ++r)
            for (int x = 0; x < width; ++x) {
                const Pixel one = toYUV({rgb.get(3 * x, r), rgb.get(3 * x + 1, r), rgb.get(3 * x + 2, r)});
                EXPECT_EQ((Pixel{y.get(x, r), u.get(x, r), v.get(x, r)}), one);
            }
        GuardedImage<Vp8u> out(width * 3, 3, 4, 2);
        const Vp8u* cplanes[3] = {y.data(), u.data(), v.data()};
        ASSERT_EQ(vpiYUVToRGB_8u_P3C3R(cplanes, y.step(), out.data(), out.step(), {width, 3}), vpStsNoErr);
        EXPECT_TRUE(out.guardsIntact());
    }
}

TEST(ColourConversion, ArgumentChecksInOrder) {
    Vp8u rgb[12] = {}, y[4] = {}, u[4] = {}, v[4] = {};
    Vp8u* planes[3] = {y, u, v};
    Vp8u* noThird[3] = {y, u, nullptr};
    EXPECT_EQ(vpiRGBToYUV_8u_C3P3R(nullptr, 0, planes, 0, {0, 0}), vpStsNullPtrErr);
    EXPECT_EQ(vpiRGBToYUV_8u_C3P3R(rgb, 12, nullptr, 4, {4, 1}), vpStsNullPtrErr);
    EXPECT_EQ(vpiRGBToYUV_8u_C3P3R(rgb, 0, noThird, 0, {0, 1}), vpStsSizeErr);
    EXPECT_EQ(vpiRGBToYUV_8u_C3P3R(rgb, 12, planes, 4, {4, 0}), vpStsSizeErr);
    EXPECT_EQ(vpiRGBToYUV_8u_C3P3R(rgb, 0, noThird, 0, {4, 1}), vpStsNullPtrErr);  // before the steps
    EXPECT_EQ(vpiRGBToYUV_8u_C3P3R(rgb, 0, planes, 4, {4, 1}), vpStsStepErr);
    EXPECT_EQ(vpiRGBToYUV_8u_C3P3R(rgb, 12, planes, 0, {4, 1}), vpStsStepErr);
    const Vp8u* cplanes[3] = {y, u, v};
    const Vp8u* cnoFirst[3] = {nullptr, u, v};
    EXPECT_EQ(vpiYUVToRGB_8u_P3C3R(cplanes, 4, nullptr, 12, {4, 1}), vpStsNullPtrErr);
    EXPECT_EQ(vpiYUVToRGB_8u_P3C3R(nullptr, 4, rgb, 12, {4, 1}), vpStsNullPtrErr);
    EXPECT_EQ(vpiYUVToRGB_8u_P3C3R(cplanes, 4, rgb, 12, {0, 1}), vpStsSizeErr);
    EXPECT_EQ(vpiYUVToRGB_8u_P3C3R(cnoFirst, 0, rgb, 0, {4, 1}), vpStsNullPtrErr);
    EXPECT_EQ(vpiYUVToRGB_8u_P3C3R(cplanes, 0, rgb, 12, {4, 1}), vpStsStepErr);
    EXPECT_EQ(vpiYUVToRGB_8u_P3C3R(cplanes, 4, rgb, -3, {4, 1}), vpStsStepErr);
    for (Vp8u b : rgb) EXPECT_EQ(b, 0);
    for (Vp8u b : y) EXPECT_EQ(b, 0);
}

}  // namespace
