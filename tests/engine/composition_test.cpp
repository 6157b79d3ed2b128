#include <gtest/gtest.h>

#include <cmath>

#include "engine/composition.h"

namespace {

struct Planes {
    Image32f y, u, v;
    Planes(int w, int h, float yv, float uv, float vv)
    {
        y.allocate(w, h);
        u.allocate(w, h);
        v.allocate(w, h);
        setImageValue(yv, &y);
        setImageValue(uv, &u);
        setImageValue(vv, &v);
    }
};

// Reference conversion of one pixel into blue, green, red bytes.
void expectedPixel(int Y, int U, int V, int out[3])
{
    auto sat = [](long x) { return static_cast<int>(x < 0 ? 0 : (x > 255 ? 255 : x)); };
    auto fdiv = [](long a) { return static_cast<long>(std::floor(a / 65536.0)); };
    const int r = sat(Y + fdiv(74710L * (V - 128)));
    const int g = sat(Y + fdiv(-25820L * (U - 128) - 38075L * (V - 128)));
    const int b = sat(Y + fdiv(133168L * (U - 128)));
    out[0] = b;
    out[1] = g;
    out[2] = r;
}

TEST(Composition, DefaultSettingsGiveTheRoundedPlanesBack)
{
    const int w = 7, h = 5;
    Image32f y, u, v;
    y.allocate(w, h);
    u.allocate(w, h);
    v.allocate(w, h);
    for (int r = 0; r < h; ++r)
        for (int x = 0; x < w; ++x) {
            y.row(r)[x] = 20.0f + 30.4f * x + 3.5f * r;
            u.row(r)[x] = 100.0f + 7.6f * r;
            v.row(r)[x] = 160.0f - 9.5f * x;
        }
    OutputSettings s;
    Image8uC3 out;
    composeOutputImage(&s, &y, &u, &v, &out);
    ASSERT_EQ(out.width, w);
    ASSERT_EQ(out.height, h);
    for (int r = 0; r < h; ++r)
        for (int x = 0; x < w; ++x) {
            int e[3];
            expectedPixel(static_cast<int>(std::nearbyint(y.row(r)[x])), static_cast<int>(std::nearbyint(u.row(r)[x])),
                          static_cast<int>(std::nearbyint(v.row(r)[x])), e);
            for (int k = 0; k < 3; ++k)
                EXPECT_EQ(out.row(r)[3 * x + k], e[k]) << x << "," << r << " byte " << k;
        }
}

TEST(Composition, PureBlueSurvivesANeutralPass)
{
    // Y 29, U 239, V 102 is what the frame store makes of a pure blue pixel.
    Planes p(2, 2, 29.0f, 239.0f, 102.0f);
    OutputSettings s;
    Image8uC3 out;
    composeOutputImage(&s, &p.y, &p.u, &p.v, &out);
    EXPECT_GE(out.row(1)[3], 250);  // blue
    EXPECT_EQ(out.row(1)[4], 0);    // green
    EXPECT_EQ(out.row(1)[5], 0);    // red
}

TEST(Composition, AdjustmentsActOnTheirPlanes)
{
    struct Case {
        float brightness, contrast, saturation, hue;
        float y, u, v;
        int ey, eu, ev;  // adjusted, rounded planes
    };
    const Case cases[] = {
        {0, 1, 0, 0.6f, 90, 10, 240, 90, 128, 128},    // saturation 0: neutral chroma whatever the hue
        {0, 1, 1, 0.75f, 100, 100, 128, 100, 132, 128},  // hue 0.75 raises U by 32
        {0, 1, 1, 1.25f, 100, 100, 128, 100, 68, 128},   // hue 1.25 lowers it by 32
        {100, 1, 1, 1, 155, 128, 128, 255, 128, 128},    // brightness saturates
        {100, 1, 1, 1, 154, 128, 128, 254, 128, 128},
        {0, 2, 1, 1, 60.25f, 128, 128, 120, 128, 128},   // contrast 2: 120.5 rounds to even
    };
    for (const Case& c : cases) {
        Planes p(3, 2, c.y, c.u, c.v);
        OutputSettings s;
        s.brightness = c.brightness;
        s.contrast = c.contrast;
        s.saturation = c.saturation;
        s.hue = c.hue;
        Image8uC3 out;
        composeOutputImage(&s, &p.y, &p.u, &p.v, &out);
        int e[3];
        expectedPixel(c.ey, c.eu, c.ev, e);
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(out.row(1)[6 + k], e[k]) << "case y=" << c.y << " hue=" << c.hue << " byte " << k;
    }
}

TEST(Composition, CropAndPixelRatioSizes)
{
    Planes p(40, 480, 100.0f, 128.0f, 128.0f);
    struct Case {
        VpiRect crop;
        float ratio;
        int w, h;
    };
    const Case cases[] = {
        {{0, 0, 0, 50}, 1.0f, 40, 480},      // width 0 selects the whole plane
        {{5, 6, 20, 30}, 1.0f, 20, 30},
        {{0, 0, 0, 0}, 1.00005f, 40, 480},
        {{0, 0, 0, 0}, 1.5f, 60, 480},
        {{0, 0, 0, 0}, 0.9f, 40, 533},
        {{30, 470, 50, 50}, 1.0f, 10, 10},   // clipped to the planes
        {{100, 0, 5, 5}, 1.0f, 0, 5},
    };
    for (const Case& c : cases) {
        OutputSettings s;
        s.crop = c.crop;
        s.pixelRatio = c.ratio;
        Image8uC3 out;
        composeOutputImage(&s, &p.y, &p.u, &p.v, &out);
        EXPECT_EQ(out.width, c.w) << c.crop.x << " ratio " << c.ratio;
        EXPECT_EQ(out.height, c.h) << c.crop.x << " ratio " << c.ratio;
        if (out.data != nullptr) {
            EXPECT_NEAR(out.row(out.height / 2)[3 * (out.width / 2)], 100, 1);
        }
    }
}

TEST(Composition, ResultKeepsItsRowsAtOneSize)
{
    Planes p(16, 8, 50.0f, 128.0f, 128.0f);
    OutputSettings s;
    Image8uC3 out;
    composeOutputImage(&s, &p.y, &p.u, &p.v, &out);
    const Vp8u* rows = out.data;
    s.brightness = 20.0f;
    composeOutputImage(&s, &p.y, &p.u, &p.v, &out);
    EXPECT_EQ(out.data, rows);
    EXPECT_EQ(out.row(0)[0], 70);
}

}  // namespace
