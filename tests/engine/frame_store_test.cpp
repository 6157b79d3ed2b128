#include <gtest/gtest.h>

#include "engine/frame_store.h"

namespace {

void fillFrame(Image8uC3* f, int w, int h, Vp8u b0, Vp8u b1, Vp8u b2)
{
    f->reallocate(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            f->row(y)[3 * x] = b0;
            f->row(y)[3 * x + 1] = b1;
            f->row(y)[3 * x + 2] = b2;
        }
}

TEST(FrameStore, ConstructionAndFieldSizes)
{
    FrameStore s(720, 481, 3, 1);
    EXPECT_EQ(s.halfHeight, 240);
    EXPECT_EQ(s.frameCount, 3);
    ASSERT_EQ(s.yPlanes.size(), 3u);
    EXPECT_EQ(s.yPlanes[1], nullptr);
    EXPECT_FALSE(s.hasFrame(1));
}

// Frames are blue first; the planes follow the true colours.
TEST(FrameStore, YuvTriplesOfBlueFirstPixels)
{
    struct Case {
        Vp8u blue, green, red;
        int y, u, v;
    };
    const Case cases[] = {
        {0, 0, 255, 76, 90, 255},    // red
        {255, 0, 0, 29, 239, 102},   // blue
        {128, 128, 128, 128, 128, 128},
        {0, 255, 0, 149, 54, 0},     // green (V saturates)
    };
    for (const Case& c : cases) {
        FrameStore s(3, 2, 1, 0);
        Image8uC3 f;
        fillFrame(&f, 3, 2, c.blue, c.green, c.red);
        ASSERT_EQ(s.setFrame(0, &f), 1);
        EXPECT_EQ(s.yPlanes[0]->row(1)[2], c.y) << int(c.blue) << "," << int(c.green) << "," << int(c.red);
        EXPECT_EQ(s.uPlanes[0]->row(1)[2], c.u);
        EXPECT_EQ(s.vPlanes[0]->row(1)[2], c.v);
    }
}

TEST(FrameStore, RejectsOtherSizesAndSlots)
{
    FrameStore s(8, 4, 3, 0);
    Image8uC3 f;
    fillFrame(&f, 7, 4, 1, 2, 3);
    EXPECT_EQ(s.setFrame(0, &f), 0);
    EXPECT_FALSE(s.hasFrame(0));
    fillFrame(&f, 8, 4, 1, 2, 3);
    EXPECT_EQ(s.setFrame(3, &f), 0);
    EXPECT_EQ(s.setFrame(-1, &f), 0);
    EXPECT_EQ(s.setFrame(2, &f), 1);
    EXPECT_TRUE(s.hasFrame(2));
}

TEST(FrameStore, StoringAgainOverwritesInPlace)
{
    FrameStore s(8, 4, 3, 0);
    Image8uC3 f;
    fillFrame(&f, 8, 4, 10, 10, 10);
    s.setFrame(2, &f);
    const Vp8u* before = s.yPlanes[2]->data;
    fillFrame(&f, 8, 4, 200, 200, 200);
    s.setFrame(2, &f);
    EXPECT_EQ(s.yPlanes[2]->data, before);
    EXPECT_EQ(s.yPlanes[2]->row(3)[7], 200);
}

TEST(FrameStore, ExtractsWholePlanesOrFields)
{
    for (int mode = 0; mode < 2; ++mode) {
        FrameStore s(4, 5, 1, mode);
        Image8uC3 f;
        f.allocate(4, 5);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 4; ++x)
                for (int k = 0; k < 3; ++k)
                    f.row(y)[3 * x + k] = static_cast<Vp8u>(10 * y + x);
        s.setFrame(0, &f);
        Image8u out;
        for (int parity = 0; parity < 2; ++parity) {
            EXPECT_EQ(s.extractPlane(s.yPlanes[0].get(), parity, &out), 1);
            if (mode == 0) {
                ASSERT_EQ(out.height, 5);
                EXPECT_EQ(out.row(4)[3], 43);
            } else {
                // Field lines parity, parity + 2; the odd last line belongs
                // to neither field.
                ASSERT_EQ(out.height, 2);
                EXPECT_EQ(out.row(0)[1], 10 * parity + 1);
                EXPECT_EQ(out.row(1)[1], 10 * (parity + 2) + 1);
            }
        }
        Image8u foreign(3, 5);
        EXPECT_EQ(s.extractPlane(&foreign, 0, &out), 0);
    }
}

}  // namespace
