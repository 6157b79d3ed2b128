// Drawing a raster image on a surface in memory, and its clipboard block.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "imagefile/raster_image.h"

namespace {

struct Bgr {
    std::uint8_t b, g, r;
    friend bool operator==(const Bgr&, const Bgr&) = default;
};

// A screen of W x H pixels, top-down, with a rectangular clip region; it
// records what was asked of it.
class MemorySurface : public RasterDrawTarget {
public:
    MemorySurface(int w, int h, Bgr fill) : w_(w), h_(h), pixels_(static_cast<std::size_t>(w) * h, fill)
    {
        clip_ = {0, 0, w, h};
    }
    RasterRect ClipBox() const override { return clip_; }
    void CombineClip(const RasterRect& r, ClipMode mode) override
    {
        ++clipCalls;
        if (mode == ClipMode::Intersect) {
            clip_.left = std::max(clip_.left, r.left);
            clip_.top = std::max(clip_.top, r.top);
            clip_.right = std::min(clip_.right, r.right);
            clip_.bottom = std::min(clip_.bottom, r.bottom);
            if (clip_.right < clip_.left) clip_.right = clip_.left;
            if (clip_.bottom < clip_.top) clip_.bottom = clip_.top;
        } else {
            clip_.left = std::min(clip_.left, r.left);
            clip_.top = std::min(clip_.top, r.top);
            clip_.right = std::max(clip_.right, r.right);
            clip_.bottom = std::max(clip_.bottom, r.bottom);
        }
    }
    bool ReadPixels(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height,
                    std::uint8_t* pixels, std::uint32_t rowBytes) override
    {
        ++reads;
        for (int r = 0; r < height; ++r)
            for (int c = 0; c < width; ++c) {
                const Bgr p = At(left + c, top + height - 1 - r);
                std::uint8_t* d = pixels + static_cast<std::size_t>(r) * rowBytes + c * 3;
                d[0] = p.b;
                d[1] = p.g;
                d[2] = p.r;
            }
        return true;
    }
    void PutPixels(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height,
                   const std::uint8_t* pixels, std::uint32_t rowBytes) override
    {
        ++puts;
        lastPut = {left, top, left + width, top + height};
        if (!pixels)
            return;
        for (int r = 0; r < height; ++r)
            for (int c = 0; c < width; ++c) {
                const int X = left + c, Y = top + height - 1 - r;
                if (X < clip_.left || X >= clip_.right || Y < clip_.top || Y >= clip_.bottom) continue;
                if (X < 0 || X >= w_ || Y < 0 || Y >= h_) continue;
                const std::uint8_t* s = pixels + static_cast<std::size_t>(r) * rowBytes + c * 3;
                pixels_[static_cast<std::size_t>(Y) * w_ + X] = {s[0], s[1], s[2]};
                ++written;
            }
    }
    Bgr At(int x, int y) const { return pixels_[static_cast<std::size_t>(y) * w_ + x]; }

    int reads = 0, puts = 0, clipCalls = 0, written = 0;
    RasterRect lastPut{};

private:
    int w_, h_;
    std::vector<Bgr> pixels_;
    RasterRect clip_;
};

const Bgr kGrey{50, 50, 50};

// A 24-bit image whose pixel at picture column c and picture row t (from the
// top) is (c, t, 200).
void MakeGradient(RasterImage& image, int w, int h)
{
    ASSERT_NE(image.Create(w, h, 24, 0), nullptr);
    for (int t = 0; t < h; ++t) {
        std::uint8_t* row = image.RowAddress(static_cast<std::uint32_t>(h - 1 - t));
        for (int c = 0; c < w; ++c) {
            row[3 * c] = static_cast<std::uint8_t>(c);
            row[3 * c + 1] = static_cast<std::uint8_t>(t);
            row[3 * c + 2] = 200;
        }
    }
}

TEST(RasterDraw, RefusalsDrawNothing)
{
    RasterImage image;
    MakeGradient(image, 4, 3);
    MemorySurface screen(16, 16, kGrey);
    EXPECT_EQ(image.Draw(nullptr, 0, 0), 0);
    EXPECT_EQ(image.Draw(&screen, 0, 0, 0, -1), 0);
    EXPECT_EQ(image.Draw(&screen, 0, 0, -1, 0), 0);
    image.info.enabled = 0;
    EXPECT_EQ(image.Draw(&screen, 0, 0), 0);
    RasterImage empty;
    EXPECT_EQ(empty.Draw(&screen, 0, 0), 0);
    EXPECT_EQ(screen.puts, 0);
    EXPECT_EQ(screen.At(0, 0), kGrey);
}

TEST(RasterDraw, NaturalSizePutsTheImageOneToOne)
{
    RasterImage image;
    MakeGradient(image, 5, 3);
    MemorySurface screen(16, 16, kGrey);
    EXPECT_EQ(image.Draw(&screen, 2, 4, -1, -1), 1);
    for (int t = 0; t < 3; ++t)
        for (int c = 0; c < 5; ++c)
            EXPECT_EQ(screen.At(2 + c, 4 + t), (Bgr{static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(t), 200}));
    EXPECT_EQ(screen.At(1, 4), kGrey);
    EXPECT_EQ(screen.At(7, 4), kGrey);
    EXPECT_EQ(screen.At(2, 7), kGrey);
    EXPECT_EQ(screen.reads, 0);  // no blending: the screen is not read
}

TEST(RasterDraw, StretchRepeatsPixelsAndMapsBottomRowToStoredRowZero)
{
    RasterImage image;
    MakeGradient(image, 2, 2);
    MemorySurface screen(8, 8, kGrey);
    EXPECT_EQ(image.Draw(&screen, 1, 1, 4, 4), 1);
    for (int Y = 1; Y < 5; ++Y)
        for (int X = 1; X < 5; ++X)
            EXPECT_EQ(screen.At(X, Y), (Bgr{static_cast<std::uint8_t>((X - 1) / 2),
                                             static_cast<std::uint8_t>((Y - 1) / 2), 200}))
                << X << "," << Y;
    EXPECT_EQ(screen.At(5, 5), kGrey);
    EXPECT_EQ(screen.reads, 0);
}

TEST(RasterDraw, ShrinkSamplesByTheRatios)
{
    // 6 x 6 into 3 x 2: columns floor(X*2), stored rows 6 - ceil((Y+1)*3).
    RasterImage image;
    MakeGradient(image, 6, 6);
    MemorySurface screen(4, 4, kGrey);
    EXPECT_EQ(image.Draw(&screen, 0, 0, 3, 2), 1);
    for (int Y = 0; Y < 2; ++Y)
        for (int X = 0; X < 3; ++X) {
            const int storedRow = 6 - (Y + 1) * 3;
            const int pictureRow = 6 - 1 - storedRow;
            EXPECT_EQ(screen.At(X, Y), (Bgr{static_cast<std::uint8_t>(2 * X), static_cast<std::uint8_t>(pictureRow), 200}));
        }
}

TEST(RasterDraw, ClipBoxLimitsTheComposedPart)
{
    RasterImage image;
    MakeGradient(image, 4, 4);
    {
        MemorySurface screen(10, 10, kGrey);
        const RasterRect clip{3, 3, 20, 20};
        EXPECT_EQ(image.Draw(&screen, 1, 1, 8, 8, &clip), 1);
        // Only the part inside the clip is composed, and the clip is given back.
        EXPECT_EQ(screen.lastPut.left, 3);
        EXPECT_EQ(screen.lastPut.top, 3);
        EXPECT_EQ(screen.lastPut.right, 9);
        EXPECT_EQ(screen.lastPut.bottom, 9);
        EXPECT_EQ(screen.At(2, 2), kGrey);
        EXPECT_EQ(screen.At(3, 3), (Bgr{1, 1, 200}));
        EXPECT_EQ(screen.clipCalls, 2);
        EXPECT_EQ(screen.ClipBox().left, 0);
        EXPECT_EQ(screen.ClipBox().right, 10);
    }
    {
        // Entirely outside the clip box: nothing is composed.
        MemorySurface screen(10, 10, kGrey);
        EXPECT_EQ(image.Draw(&screen, 20, 20, 8, 8), 1);
        EXPECT_EQ(screen.lastPut.right - screen.lastPut.left, 0);
        EXPECT_EQ(screen.written, 0);
    }
}

TEST(RasterDraw, AlphaBlending)
{
    RasterImage image;
    ASSERT_NE(image.Create(2, 1, 24, 0), nullptr);
    std::memset(image.RowAddress(0), 255, 6);  // white
    ASSERT_TRUE(image.AllocAlpha());
    {
        // Alpha 0 everywhere leaves the screen as it was.
        image.PutAlpha(0, 0, 0);
        image.PutAlpha(1, 0, 0);
        MemorySurface screen(4, 4, kGrey);
        EXPECT_EQ(image.Draw(&screen, 0, 0), 1);
        EXPECT_EQ(screen.reads, 1);
        EXPECT_EQ(screen.At(0, 0), kGrey);
        EXPECT_EQ(screen.At(1, 0), kGrey);
    }
    {
        // alphaMax 128 scales 255 to (129 x 255) >> 8 = 128: white over black
        // becomes 127; alpha 255 with alphaMax 255 stays opaque.
        image.PutAlpha(0, 0, 255);
        image.PutAlpha(1, 0, 255);
        MemorySurface screen(4, 4, Bgr{0, 0, 0});
        image.info.alphaMax = 128;
        EXPECT_EQ(image.Draw(&screen, 0, 0), 1);
        EXPECT_EQ(screen.At(0, 0), (Bgr{127, 127, 127}));
        image.info.alphaMax = 255;
        EXPECT_EQ(image.Draw(&screen, 0, 0), 1);
        EXPECT_EQ(screen.At(1, 0), (Bgr{255, 255, 255}));
    }
}

TEST(RasterDraw, TransparentIndexAndColourKeepTheBackground)
{
    {
        RasterImage image;
        ASSERT_NE(image.Create(4, 1, 8, 0), nullptr);
        for (int i = 0; i < 4; ++i) {
            image.PutPaletteEntry(static_cast<std::uint8_t>(i), RasterColour{static_cast<std::uint8_t>(10 * i), 0, 0, 0});
            image.PutIndex(i, 0, static_cast<std::uint8_t>(i));
        }
        image.info.transparentIndex = 3;
        MemorySurface screen(4, 1, kGrey);
        EXPECT_EQ(image.Draw(&screen, 0, 0), 1);
        EXPECT_EQ(screen.At(0, 0), (Bgr{0, 0, 0}));
        EXPECT_EQ(screen.At(2, 0), (Bgr{20, 0, 0}));
        EXPECT_EQ(screen.At(3, 0), kGrey);
    }
    {
        RasterImage image;
        MakeGradient(image, 3, 1);
        image.info.transparentIndex = 0;  // any index switches the colour key on
        image.info.transparentColour = RasterColour{1, 0, 200, 0};
        MemorySurface screen(3, 1, kGrey);
        EXPECT_EQ(image.Draw(&screen, 0, 0, 3, 1), 1);
        EXPECT_EQ(screen.At(0, 0), (Bgr{0, 0, 200}));
        EXPECT_EQ(screen.At(1, 0), kGrey);
        EXPECT_EQ(screen.At(2, 0), (Bgr{2, 0, 200}));
    }
}

TEST(RasterDraw, IndexedImageAtNaturalSizeUsesItsPalette)
{
    RasterImage image;
    ASSERT_NE(image.Create(9, 2, 1, 0), nullptr);
    image.PutPaletteEntry(0, RasterColour{0, 0, 0, 0});
    image.PutPaletteEntry(1, RasterColour{9, 99, 199, 0});
    image.PutIndex(8, 1, 1);  // top-right pixel
    MemorySurface screen(12, 4, kGrey);
    EXPECT_EQ(image.Draw(&screen, 1, 1), 1);
    EXPECT_EQ(screen.At(9, 1), (Bgr{9, 99, 199}));
    EXPECT_EQ(screen.At(9, 2), (Bgr{0, 0, 0}));
    EXPECT_EQ(screen.At(10, 1), kGrey);
}

TEST(RasterClipboard, BlockIsAnExactCopyOfTheBitmap)
{
    RasterImage none;
    EXPECT_FALSE(none.CopyToGlobalHandle());

    RasterImage mono;
    ASSERT_NE(mono.Create(5, 3, 1, 0), nullptr);
    mono.PutIndex(4, 2, 1);
    const RasterGlobalBlock block = mono.CopyToGlobalHandle();
    ASSERT_TRUE(block);
    ASSERT_EQ(block.size, 40u + 8u + mono.header.biSizeImage);
    std::uint32_t first;
    std::memcpy(&first, block.bytes.get(), 4);
    EXPECT_EQ(first, 40u);
    EXPECT_EQ(std::memcmp(block.bytes.get(), mono.DibBlock(), block.size), 0);

    RasterImage colour;
    MakeGradient(colour, 7, 5);
    const RasterGlobalBlock b2 = colour.CopyToGlobalHandle();
    ASSERT_TRUE(b2);
    EXPECT_EQ(b2.size, 40u + 5u * 24u);
    EXPECT_EQ(std::memcmp(b2.bytes.get(), colour.DibBlock(), b2.size), 0);
}

}  // namespace
