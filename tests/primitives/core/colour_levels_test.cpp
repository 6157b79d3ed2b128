// The SIMD levels' RGB and YUV conversions: over all 2^24 inputs per
// direction each level differs from px by at most 1 in any byte, as often as
// its own formula makes it (the shares below); and the named colours.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "primitives/core/dispatch_variants.h"
#include "tests/primitives/level_harness.h"

namespace {

using namespace level_harness;

typedef VpStatus (*RgbToYuvFn)(const Vp8u*, int, Vp8u* const[3], int, VpiSize);
typedef VpStatus (*YuvToRgbFn)(const Vp8u* const[3], int, Vp8u*, int, VpiSize);

RgbToYuvFn rgbToYuvAt(VpLevel level) {
    const RgbToYuvFn f[] = {vpiRGBToYUV_8u_C3P3R_px, vpiRGBToYUV_8u_C3P3R_a6, vpiRGBToYUV_8u_C3P3R_w7,
                            vpiRGBToYUV_8u_C3P3R_t7};
    return f[level];
}
YuvToRgbFn yuvToRgbAt(VpLevel level) {
    const YuvToRgbFn f[] = {vpiYUVToRGB_8u_P3C3R_px, vpiYUVToRGB_8u_P3C3R_a6, vpiYUVToRGB_8u_P3C3R_w7,
                            vpiYUVToRGB_8u_P3C3R_t7};
    return f[level];
}

// Converts n pixels given as (a, b, c) triples into output triples, in rows
// of `width` pixels: RGB to YUV reads the triples as RGB and writes (Y, U, V);
// YUV to RGB reads them as (Y, U, V) planes and writes RGB.
void convertTriples(bool toYuv, VpLevel level, const Vp8u* in, Vp8u* out, int n) {
    std::vector<Vp8u> planes(3 * static_cast<std::size_t>(n));
    Vp8u* p[3] = {planes.data(), planes.data() + n, planes.data() + 2 * n};
    if (toYuv) {
        ASSERT_EQ(rgbToYuvAt(level)(in, 3 * n, p, n, {n, 1}), vpStsNoErr);
        for (int i = 0; i < n; ++i)
            for (int c = 0; c < 3; ++c) out[3 * i + c] = p[c][i];
    } else {
        for (int i = 0; i < n; ++i)
            for (int c = 0; c < 3; ++c) p[c][i] = in[3 * i + c];
        const Vp8u* const q[3] = {p[0], p[1], p[2]};
        ASSERT_EQ(yuvToRgbAt(level)(q, n, out, 3 * n, {n, 1}), vpStsNoErr);
    }
}

// Per output byte: the share (in percent) of inputs 1 lower and 1 higher
// than px, and of pixels differing at all; no difference exceeds 1.
struct Shares {
    double lower[3], higher[3], differing;
};

// Every 24-bit input once. With `stepped` each pixel lies in the level's
// vector steps (rows of 65536 pixels); otherwise in the last width mod 8
// pixels of a row of 7.
Shares sharesOverAllInputs(bool toYuv, VpLevel level, bool stepped) {
    const int width = stepped ? 65536 : 7;
    long long lower[3] = {}, higher[3] = {}, differing = 0;
    int maxDiff = 0;
    std::vector<Vp8u> in(3 * 65536), ref(3 * 65536), out(3 * 65536);
    for (int a = 0; a < 256; ++a) {
        for (int i = 0; i < 65536; ++i) {
            in[3 * i] = static_cast<Vp8u>(a);
            in[3 * i + 1] = static_cast<Vp8u>(i >> 8);
            in[3 * i + 2] = static_cast<Vp8u>(i);
        }
        for (int start = 0; start < 65536; start += width) {
            const int n = std::min(width, 65536 - start);
            convertTriples(toYuv, vpLevelPx, &in[3 * start], &ref[3 * start], n);
            convertTriples(toYuv, level, &in[3 * start], &out[3 * start], n);
        }
        for (int i = 0; i < 65536; ++i) {
            bool any = false;
            for (int c = 0; c < 3; ++c) {
                const int d = out[3 * i + c] - ref[3 * i + c];
                maxDiff = std::max(maxDiff, std::abs(d));
                lower[c] += d < 0;
                higher[c] += d > 0;
                any = any || d != 0;
            }
            differing += any;
        }
    }
    EXPECT_LE(maxDiff, 1) << levelName(level);
    Shares s{};
    const double n = 16777216.0 / 100.0;
    for (int c = 0; c < 3; ++c) s.lower[c] = lower[c] / n, s.higher[c] = higher[c] / n;
    s.differing = differing / n;
    return s;
}

struct SharesCase {
    bool toYuv;
    VpLevel level;
    bool stepped;
    Shares expected;  // percent; a negative value: below 0.1 (or 0.01 where noted) but not checked closer
};

TEST(ColourLevels, DifferencesFromPxOverAllInputs) {
    // Shares of inputs per byte, in percent.
    const SharesCase cases[] = {
        {true, vpLevelW7, true, {{0.6, 6.9, 11.5}, {0, 5.5, 10.1}, 31}},
        {true, vpLevelT7, true, {{0.6, 6.9, 11.5}, {0, 5.5, 10.1}, 31}},
        {true, vpLevelW7, false, {{0, 0, 0}, {0, 0, 0}, 0}},
        {true, vpLevelA6, true, {{0, -1, -1}, {0.4, 24.3, 42.7}, 54}},
        {true, vpLevelA6, false, {{0, 0.1, 0.2}, {0.4, 12.1, 21.3}, 29}},
        {false, vpLevelW7, true, {{0, 20.7, 0.1}, {0, -1, 0.1}, 21}},
        {false, vpLevelT7, false, {{0, 20.7, 0.1}, {0, -1, 0.1}, 21}},
        {false, vpLevelA6, true, {{0.5, 20.7, 0}, {0.5, 0, 0}, 22}},
    };
    for (const SharesCase& c : cases) {
        const Shares s = sharesOverAllInputs(c.toYuv, c.level, c.stepped);
        const std::string what = std::string(c.toYuv ? "RGB to YUV " : "YUV to RGB ") + levelName(c.level) +
                                 (c.stepped ? " steps" : " remainder");
        std::printf("%s: lower %.2f %.2f %.2f, higher %.2f %.2f %.2f, differing %.2f\n", what.c_str(), s.lower[0],
                    s.lower[1], s.lower[2], s.higher[0], s.higher[1], s.higher[2], s.differing);
        for (int b = 0; b < 3; ++b) {
            for (auto [got, want] : {std::pair{s.lower[b], c.expected.lower[b]}, std::pair{s.higher[b], c.expected.higher[b]}}) {
                if (want < 0)
                    EXPECT_LT(got, 0.1) << what << " byte " << b;
                else
                    EXPECT_NEAR(got, want, want >= 1.0 ? 0.55 : 0.06) << what << " byte " << b;
            }
        }
        EXPECT_NEAR(s.differing, c.expected.differing, 0.55) << what;
    }
}

}  // namespace
