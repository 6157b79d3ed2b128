// BMP, TGA, PCX, WBMP and ICO files, byte for byte, on small fixtures.
#include <gtest/gtest.h>

#include <vector>

#include "imagefile/raster_image.h"
#include "tests/imagefile/imagefile_test_util.h"

using namespace imagefile_test;
using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

Bytes InfoHeader(std::uint32_t width, std::uint32_t height, std::uint32_t bpp, std::uint32_t sizeImage,
                 std::uint32_t entries)
{
    Bytes h;
    AppendLe32(h, 40);
    AppendLe32(h, width);
    AppendLe32(h, height);
    AppendLe16(h, 1);
    AppendLe16(h, bpp);
    AppendLe32(h, 0);
    AppendLe32(h, sizeImage);
    AppendLe32(h, 3780);
    AppendLe32(h, 3780);
    AppendLe32(h, entries);
    AppendLe32(h, 0);
    return h;
}

TEST(BmpEncoder, TwentyFourBitFileByteForByte)
{
    RasterImage image(3, 2, 24);
    FillPattern24(image);
    const Bytes before = DibSnapshot(image);
    bool ok = false;
    const Bytes file = EncodeToBytes(image, RASTER_TYPE_BMP, &ok);
    ASSERT_TRUE(ok);
    Bytes fileHeader = {'B', 'M'};
    AppendLe32(fileHeader, 78);
    AppendLe32(fileHeader, 0);
    AppendLe32(fileHeader, 54);
    const Bytes pixels = {1, 2, 3, 17, 2, 11, 33, 2, 19, 0, 0, 0,     // bottom row, padded with zeros
                          1, 18, 11, 17, 18, 19, 33, 18, 27, 0, 0, 0};
    EXPECT_EQ(file, Concat({fileHeader, InfoHeader(3, 2, 24, 24, 0), pixels}));
    EXPECT_EQ(DibSnapshot(image), before);
}

TEST(BmpEncoder, OneBitFileHasItsPaletteBeforeThePixels)
{
    RasterImage image(10, 1, 1);
    image.PutPaletteEntry(1, Bgr(255, 255, 255));
    image.RowAddress(0)[0] = 0xA5;
    image.RowAddress(0)[1] = 0xC0;
    image.header.biXPelsPerMeter = 2835;
    image.header.biYPelsPerMeter = 2835;
    bool ok = false;
    const Bytes file = EncodeToBytes(image, RASTER_TYPE_BMP, &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(file.size(), 66u);
    EXPECT_EQ(Le32(file, 2), 66u);
    EXPECT_EQ(Le32(file, 10), 62u);
    EXPECT_EQ(Le32(file, 14 + 24), 2835u);
    const Bytes tail(file.begin() + 54, file.end());
    EXPECT_EQ(tail, (Bytes{0, 0, 0, 0, 255, 255, 255, 0, 0xA5, 0xC0, 0, 0}));
}

TEST(TgaEncoder, IndexedFile)
{
    RasterImage image(2, 2, 8);
    image.PutPaletteEntry(1, Bgr(10, 20, 30));
    image.PutPaletteEntry(255, Bgr(7, 8, 9));
    image.PutIndex(0, 0, 1);
    image.PutIndex(1, 0, 255);
    image.PutIndex(0, 1, 0);
    image.PutIndex(1, 1, 1);
    bool ok = false;
    const Bytes file = EncodeToBytes(image, RASTER_TYPE_TGA, &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(file.size(), 18u + 768u + 4u);
    const Bytes head(file.begin(), file.begin() + 18);
    EXPECT_EQ(head, (Bytes{0, 1, 1, 0, 0, 0, 1, 24, 0, 0, 0, 0, 2, 0, 2, 0, 8, 0}));
    EXPECT_EQ((Bytes(file.begin() + 18 + 3, file.begin() + 18 + 6)), (Bytes{10, 20, 30}));
    EXPECT_EQ((Bytes(file.begin() + 18 + 765, file.begin() + 18 + 768)), (Bytes{7, 8, 9}));
    EXPECT_EQ((Bytes(file.end() - 4, file.end())), (Bytes{1, 255, 0, 1}));
}

TEST(TgaEncoder, TrueColourRowsAreNotPadded)
{
    RasterImage image(3, 2, 24);
    FillPattern24(image);
    bool ok = false;
    const Bytes file = EncodeToBytes(image, RASTER_TYPE_TGA, &ok);
    ASSERT_TRUE(ok);
    const Bytes want = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 2, 0, 24, 0,
                        1, 2, 3, 17, 2, 11, 33, 2, 19, 1, 18, 11, 17, 18, 19, 33, 18, 27};
    EXPECT_EQ(file, want);
}

TEST(TgaEncoder, AlphaPlaneGivesThirtyTwoBitsScaledByAlphaMax)
{
    RasterImage image(2, 1, 24);
    FillPattern24(image);
    ASSERT_TRUE(image.AllocAlpha());
    image.PutAlpha(1, 0, 100);
    image.info.alphaMax = 128;
    bool ok = false;
    const Bytes file = EncodeToBytes(image, RASTER_TYPE_TGA, &ok);
    ASSERT_TRUE(ok);
    const Bytes want = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 1, 0, 32, 0,
                        1, 2, 3, 128, 17, 2, 11, 50};
    EXPECT_EQ(file, want);
}

TEST(TgaEncoder, RefusesPackedDepthsAndSizesBeyondSixteenBits)
{
    for (std::uint32_t bpp : {1u, 4u}) {
        RasterImage image(2, 2, bpp);
        bool ok = true;
        EXPECT_TRUE(EncodeToBytes(image, RASTER_TYPE_TGA, &ok).empty());
        EXPECT_FALSE(ok);
        EXPECT_STREQ(image.LastError(), "Bit depth must be 8 or 24");
    }
    RasterImage wide(65536, 1, 8);
    bool ok = true;
    EXPECT_TRUE(EncodeToBytes(wide, RASTER_TYPE_TGA, &ok).empty());
    EXPECT_FALSE(ok);
    EXPECT_STREQ(wide.LastError(), "Can't save this image as TGA");
    RasterImage edge(65535, 1, 8);
    EXPECT_EQ(EncodeToBytes(edge, RASTER_TYPE_TGA, &ok).size(), 18u + 768u + 65535u);
    EXPECT_TRUE(ok);
}

// The coded lines of a PCX file (between the header and the trailing palette).
Bytes PcxLines(const Bytes& file, bool trailingPalette)
{
    const std::size_t end = file.size() - (trailingPalette ? 769 : 0);
    return Bytes(file.begin() + 128, file.begin() + static_cast<std::ptrdiff_t>(end));
}

TEST(PcxEncoder, EightBitFileByteForByte)
{
    RasterImage image(3, 1, 8);
    image.PutPaletteEntry(5, Bgr(70, 60, 50));
    for (int x = 0; x < 3; ++x)
        image.PutIndex(x, 0, 5);
    bool ok = false;
    const Bytes file = EncodeToBytes(image, RASTER_TYPE_PCX, &ok);
    ASSERT_TRUE(ok);
    Bytes head = {10, 5, 1, 8, 0, 0, 0, 0, 2, 0, 0, 0, 96, 0, 96, 0};
    head.resize(64, 0);
    head.push_back(0);
    head.push_back(1);      // planes
    AppendLe16(head, 4);    // 3 rounded up to even
    AppendLe16(head, 0);
    head.resize(128, 0);
    Bytes palette(768, 0);
    palette[15] = 50;
    palette[16] = 60;
    palette[17] = 70;
    EXPECT_EQ(file, Concat({head, Bytes{195, 5, 0, 12}, palette}));
}

TEST(PcxEncoder, RunLengthLines)
{
    struct Case {
        Bytes indices;
        Bytes want;
    };
    const Case cases[] = {
        {{5, 5, 5}, {195, 5, 0}},
        {{200, 7}, {193, 200, 7}},
        {Bytes(64, 5), {255, 5, 5}},
        {Bytes(64, 250), {255, 250, 193, 250}},
        {Bytes(126, 7), {255, 7, 255, 7}},
        {{1, 2, 3, 4}, {1, 2, 3, 4}},
        {{192}, {193, 192, 0}},
        {{0}, {0, 0}},
        {{9, 9, 0, 0}, {194, 9, 194, 0}},
    };
    for (const Case& c : cases) {
        RasterImage image(static_cast<std::uint32_t>(c.indices.size()), 1, 8);
        for (std::size_t x = 0; x < c.indices.size(); ++x)
            image.PutIndex(static_cast<std::int64_t>(x), 0, c.indices[x]);
        bool ok = false;
        const Bytes file = EncodeToBytes(image, RASTER_TYPE_PCX, &ok);
        ASSERT_TRUE(ok);
        EXPECT_EQ(PcxLines(file, true), c.want) << "width " << c.indices.size();
    }
}

TEST(PcxEncoder, TrueColourPlanesTopRowFirst)
{
    RasterImage image(2, 2, 24);
    FillPattern24(image);
    bool ok = false;
    Bytes file = EncodeToBytes(image, RASTER_TYPE_PCX, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(file[3], 8);
    EXPECT_EQ(file[65], 3);
    EXPECT_EQ(Le16(file, 66), 2u);
    EXPECT_EQ(Le16(file, 68), 1u);
    // Picture top = stored row 1: red 11, 19; green 18, 18; blue 1, 17. Then row 0.
    EXPECT_EQ(PcxLines(file, false), (Bytes{11, 19, 194, 18, 1, 17, 3, 11, 194, 2, 1, 17}));

    ASSERT_TRUE(image.AllocAlpha());
    image.PutAlpha(1, 1, 0);
    image.info.alphaMax = 10;   // the raw alpha value is written
    file = EncodeToBytes(image, RASTER_TYPE_PCX, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(file[65], 4);
    EXPECT_EQ(PcxLines(file, false),
              (Bytes{11, 19, 194, 18, 1, 17, 193, 255, 0, 3, 11, 194, 2, 1, 17, 194, 255}));
}

TEST(PcxEncoder, OneBitIndicesFollowTheHeadersBlackAndWhite)
{
    const int indices[10] = {1, 0, 1, 1, 0, 0, 0, 0, 1, 1};
    struct Case {
        RasterColour first, second;
        Bytes want;
    };
    const Case cases[] = {
        {Bgr(255, 255, 255), Bgr(0, 0, 0), {0x4F, 0x00}},   // white, black: inverted
        {Bgr(0, 0, 0), Bgr(255, 255, 255), {0xB0, 193, 0xC0}},
    };
    for (const Case& c : cases) {
        RasterImage image(10, 1, 1);
        image.PutPaletteEntry(0, c.first);
        image.PutPaletteEntry(1, c.second);
        for (int x = 0; x < 10; ++x)
            image.PutIndex(x, 0, static_cast<std::uint8_t>(indices[x]));
        const Bytes before = DibSnapshot(image);
        bool ok = false;
        const Bytes file = EncodeToBytes(image, RASTER_TYPE_PCX, &ok);
        ASSERT_TRUE(ok);
        EXPECT_EQ(file[3], 1);
        EXPECT_EQ(file[65], 1);
        EXPECT_EQ(Le16(file, 66), 2u);
        EXPECT_EQ((Bytes(file.begin() + 16, file.begin() + 22)), (Bytes{0, 0, 0, 255, 255, 255}));
        EXPECT_EQ(PcxLines(file, false), c.want);
        EXPECT_EQ(DibSnapshot(image), before);
    }
}

TEST(PcxEncoder, FourBitPlanesAndPalette)
{
    RasterImage image(3, 1, 4);
    image.PutPaletteEntry(9, Bgr(3, 2, 1));
    image.PutIndex(0, 0, 1);
    image.PutIndex(1, 0, 2);
    image.PutIndex(2, 0, 9);
    bool ok = false;
    const Bytes file = EncodeToBytes(image, RASTER_TYPE_PCX, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(file[65], 4);
    EXPECT_EQ(Le16(file, 66), 2u);
    EXPECT_EQ(Le16(file, 68), 0u);
    EXPECT_EQ((Bytes(file.begin() + 16 + 27, file.begin() + 16 + 30)), (Bytes{1, 2, 3}));
    EXPECT_EQ(PcxLines(file, false), (Bytes{160, 0, 64, 0, 194, 0, 32, 0}));
}

TEST(WbmpEncoder, RowsFromTheTopWithoutPadding)
{
    RasterImage image(10, 2, 1);
    image.RowAddress(1)[0] = 0xAB;
    image.RowAddress(1)[1] = 0xC0;
    image.RowAddress(0)[0] = 0x12;
    image.RowAddress(0)[1] = 0x40;
    bool ok = false;
    EXPECT_EQ(EncodeToBytes(image, RASTER_TYPE_WBMP, &ok), (Bytes{0, 0, 10, 2, 0xAB, 0xC0, 0x12, 0x40}));
    EXPECT_TRUE(ok);
}

TEST(WbmpEncoder, SizesFrom128AreMultiByteNumbers)
{
    struct Case {
        std::uint32_t width, height;
        Bytes head;
    };
    const Case cases[] = {
        {127, 1, {0, 0, 127, 1}},
        {128, 1, {0, 0, 0x81, 0x00, 1}},
        {200, 3, {0, 0, 0x81, 0x48, 3}},
        {255, 255, {0, 0, 0x81, 0x7F, 0x81, 0x7F}},
    };
    for (const Case& c : cases) {
        RasterImage image(c.width, c.height, 1);
        bool ok = false;
        const Bytes file = EncodeToBytes(image, RASTER_TYPE_WBMP, &ok);
        ASSERT_TRUE(ok);
        ASSERT_EQ(file.size(), c.head.size() + (c.width + 7) / 8 * c.height);
        EXPECT_EQ(Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(c.head.size())), c.head);
    }
}

TEST(WbmpEncoder, RefusesLargeOrDeepImages)
{
    struct Case {
        std::uint32_t width, height, bpp;
    };
    for (const Case& c : {Case{256, 1, 1}, Case{1, 256, 1}, Case{8, 8, 8}, Case{8, 8, 4}}) {
        RasterImage image(c.width, c.height, c.bpp);
        bool ok = true;
        EXPECT_TRUE(EncodeToBytes(image, RASTER_TYPE_WBMP, &ok).empty());
        EXPECT_FALSE(ok);
        EXPECT_STREQ(image.LastError(), "Can't save this image as WBMP");
    }
}

TEST(IcoEncoder, TwentyFourBitWithoutAlpha)
{
    RasterImage image(16, 16, 24);
    FillPattern24(image);
    bool ok = false;
    const Bytes file = EncodeToBytes(image, RASTER_TYPE_ICO, &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(file.size(), 894u);
    Bytes head = {0, 0, 1, 0, 1, 0, 16, 16, 0, 0, 0, 0, 24, 0};
    AppendLe32(head, 872);
    AppendLe32(head, 22);
    AppendLe32(head, 40);
    AppendLe32(head, 16);
    AppendLe32(head, 32);
    AppendLe16(head, 1);
    AppendLe16(head, 24);
    AppendLe32(head, 0);
    AppendLe32(head, 768);
    head.resize(62, 0);
    const Bytes pixels(image.RowAddress(0), image.RowAddress(0) + 768);
    EXPECT_EQ(file, Concat({head, pixels, Bytes(64, 0)}));
}

TEST(IcoEncoder, AlphaPlaneGivesRawThirtyTwoBitPixelsAndMask)
{
    RasterImage image(2, 2, 24);
    FillPattern24(image);
    ASSERT_TRUE(image.AllocAlpha());
    image.PutAlpha(1, 0, 0);
    image.PutAlpha(0, 1, 200);
    image.info.alphaMax = 100;   // not applied to icons
    bool ok = false;
    const Bytes file = EncodeToBytes(image, RASTER_TYPE_ICO, &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(file.size(), 22u + 40u + 16u + 8u);
    EXPECT_EQ(Le16(file, 12), 32u);
    EXPECT_EQ(Le32(file, 14), 64u);
    EXPECT_EQ(Le16(file, 22 + 14), 32u);
    EXPECT_EQ(Le32(file, 22 + 20), 16u);
    const Bytes pixels(file.begin() + 62, file.begin() + 78);
    EXPECT_EQ(pixels, (Bytes{1, 2, 3, 255, 17, 2, 11, 0, 1, 18, 11, 200, 17, 18, 19, 255}));
    EXPECT_EQ((Bytes(file.begin() + 78, file.end())), (Bytes{0x40, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(IcoEncoder, TransparentIndexAndPaletteAlphaSetMaskBits)
{
    RasterImage image(3, 1, 4);
    image.PutPaletteEntry(2, Bgr(5, 5, 5));
    image.PutIndex(0, 0, 2);
    image.PutIndex(1, 0, 1);
    image.PutIndex(2, 0, 2);
    image.info.transparentIndex = 2;
    bool ok = false;
    Bytes file = EncodeToBytes(image, RASTER_TYPE_ICO, &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(file.size(), 22u + 112u);
    EXPECT_EQ(file[8], 16);                 // colour count
    EXPECT_EQ(Le16(file, 12), 4u);
    EXPECT_EQ(Le32(file, 14), 112u);
    EXPECT_EQ(file[62 + 8], 5);             // palette entry 2
    EXPECT_EQ((Bytes(file.end() - 4, file.end())), (Bytes{0xA0, 0, 0, 0}));

    RasterImage one(2, 1, 1);
    one.PutPaletteEntry(0, Bgr(9, 9, 9, 255));
    one.PutPaletteEntry(1, Bgr(1, 1, 1, 0));
    one.PutIndex(1, 0, 1);
    file = EncodeToBytes(one, RASTER_TYPE_ICO, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(file[8], 2);
    EXPECT_EQ((Bytes(file.end() - 4, file.end())), (Bytes{0x40, 0, 0, 0}));
}

TEST(IcoEncoder, RefusesImagesOver255)
{
    for (std::uint32_t w : {256u, 1u}) {
        RasterImage image(w, w == 1 ? 300 : 1, 24);
        bool ok = true;
        EXPECT_TRUE(EncodeToBytes(image, RASTER_TYPE_ICO, &ok).empty());
        EXPECT_FALSE(ok);
        EXPECT_STREQ(image.LastError(), "Can't save this image as icon");
    }
    RasterImage edge(255, 255, 1);
    bool ok = false;
    EncodeToBytes(edge, RASTER_TYPE_ICO, &ok);
    EXPECT_TRUE(ok);
}

TEST(IcoEncoder, MaskAllocationFailureFailsWithoutText)
{
    RasterImage image(4, 4, 24);
    image.SetLastError("before");
    RasterMemoryStream stream;
    stream.Write("x", 1, 1);   // the stream's block is in place before failures start
    bool ok;
    {
        AllocFailure fail(0);
        ok = image.Encode(&stream, RASTER_TYPE_ICO);
    }
    EXPECT_FALSE(ok);
    EXPECT_STREQ(image.LastError(), "before");   // the coder set no text of its own
}

} // namespace
