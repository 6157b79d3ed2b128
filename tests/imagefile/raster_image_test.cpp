// The raster image: creation, limits, pixel and palette access, alpha,
// transparency, cropping, taking over and sharing buffers.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "imagefile/raster_image.h"
#include "tests/imagefile/imagefile_test_util.h"

using namespace imagefile_test;

namespace {

TEST(RasterImageCreate, RowBytesPaletteAndBlockSize)
{
    struct Case {
        std::uint32_t width, height, bpp;
        std::uint32_t wantBpp, wantRowBytes, wantEntries;
    };
    const Case cases[] = {
        {1, 1, 24, 24, 4, 0},   {3, 2, 24, 24, 12, 0}, {10, 1, 1, 1, 4, 2},  {33, 1, 1, 1, 8, 2},
        {5, 3, 4, 4, 4, 16},    {9, 2, 8, 8, 12, 256}, {2, 2, 32, 24, 8, 0}, {7, 1, 0, 1, 4, 2},
        {7, 1, 6, 8, 8, 256},   {3, 1, 2, 4, 4, 16},   {4, 4, 16, 24, 12, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " bpp " << c.bpp);
        RasterImage image(7);
        std::uint8_t* block = image.Create(c.width, c.height, c.bpp, 5);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(block, image.DibBlock());
        EXPECT_EQ(image.Bpp(), c.wantBpp);
        EXPECT_EQ(image.info.rowBytes, c.wantRowBytes);
        EXPECT_EQ(image.header.biClrUsed, c.wantEntries);
        EXPECT_EQ(image.header.biSizeImage, c.wantRowBytes * c.height);
        EXPECT_EQ(image.DibBlockSize(), 40u + 4 * c.wantEntries + c.wantRowBytes * c.height);
        EXPECT_EQ(image.info.typeId, 5u);
        EXPECT_EQ(image.AlphaPlane(), nullptr);
        // The header is copied into the block; the pixels follow the palette.
        BITMAPINFOHEADER stored;
        std::memcpy(&stored, block, 40);
        EXPECT_EQ(stored.biSize, 40u);
        EXPECT_EQ(stored.biWidth, static_cast<std::int32_t>(c.width));
        EXPECT_EQ(stored.biHeight, static_cast<std::int32_t>(c.height));
        EXPECT_EQ(stored.biPlanes, 1);
        EXPECT_EQ(stored.biBitCount, c.wantBpp);
        EXPECT_EQ(stored.biXPelsPerMeter, 3780);
        EXPECT_EQ(image.info.pixelData, block + 40 + 4 * c.wantEntries);
        EXPECT_EQ(image.RowAddress(0), image.info.pixelData);
        // Palette black, pixel rows and their padding zero.
        for (std::uint64_t i = 40; i < image.DibBlockSize(); ++i)
            ASSERT_EQ(block[i], 0) << "byte " << i;
    }
}

TEST(RasterImageCreate, FreshImageDefaults)
{
    RasterImage image(3);
    EXPECT_FALSE(image.IsValid());
    EXPECT_EQ(image.info.typeId, 3u);
    EXPECT_EQ(image.info.quality, 90);
    EXPECT_EQ(image.info.dpiX, 96);
    EXPECT_EQ(image.info.dpiY, 96);
    EXPECT_EQ(image.header.biXPelsPerMeter, 3780);
    EXPECT_EQ(image.header.biYPelsPerMeter, 3780);
    EXPECT_EQ(image.info.transparentIndex, -1);
    EXPECT_EQ(image.info.alphaMax, 255);
    EXPECT_EQ(image.info.enabled, 1);
    EXPECT_STREQ(image.LastError(), "");

    RasterImage sized(4, 2, 8, 9);
    ASSERT_TRUE(sized.IsValid());
    EXPECT_EQ(sized.info.typeId, 9u);
    EXPECT_EQ(sized.info.quality, 90);
    EXPECT_EQ(sized.Width(), 4u);
}

TEST(RasterImageCreate, MemoryLimitInSixtyFourBits)
{
    struct Case {
        std::uint32_t width, height, bpp;
    };
    // Each product wraps to a small number in 32-bit arithmetic.
    const Case cases[] = {
        {1u << 20, 1u << 20, 24},
        {0xFFFFFFFFu, 0xFFFFFFFFu, 1},
        {65536, 65536, 24},
        {200000, 200000, 8},
    };
    for (const Case& c : cases) {
        RasterImage image;
        EXPECT_EQ(image.Create(c.width, c.height, c.bpp, 0), nullptr);
        EXPECT_STREQ(image.LastError(), "RASTERIMAGE_MAX_MEMORY exceeded");
        EXPECT_FALSE(image.IsValid());
    }
}

TEST(RasterImageCreate, AllocationFailureLeavesImageEmpty)
{
    RasterImage image(2, 2, 24);
    ASSERT_TRUE(image.IsValid());
    {
        AllocFailure fail(0);
        EXPECT_EQ(image.Create(5, 3, 8, 0), nullptr);
    }
    EXPECT_STREQ(image.LastError(), "RasterImage::Create can't allocate memory");
    EXPECT_FALSE(image.IsValid());
    EXPECT_EQ(image.RowAddress(0), nullptr);
    EXPECT_EQ(image.info.rowBytes, 8u);   // the new values are in place
    EXPECT_EQ(image.Width(), 5u);
}

TEST(RasterImageCreate, ZeroSizedImageAnswersWithoutReadingPixels)
{
    RasterImage image;
    ASSERT_NE(image.Create(0, 0, 8, 0), nullptr);
    EXPECT_EQ(image.DibBlockSize(), 40u + 1024u);
    EXPECT_EQ(image.IndexAt(0, 0), 0);
    EXPECT_EQ(image.ColourAt(3, 3, true), RasterColour{});
    RasterImage wide;
    ASSERT_NE(wide.Create(0, 0, 24, 0), nullptr);
    wide.info.transparentColour = Bgr(1, 2, 3, 4);
    EXPECT_EQ(wide.ColourAt(0, 0, true), Bgr(1, 2, 3, 4));
}

TEST(RasterImageCreateFromBuffer, RefusesNullBufferAndOddDepths)
{
    const std::uint8_t pixels[16] = {};
    RasterImage image(2, 2, 24);
    std::uint8_t* before = image.DibBlock();
    EXPECT_FALSE(image.CreateFromBuffer(nullptr, 2, 2, 24, 8, false));
    for (std::uint32_t bpp : {0u, 2u, 16u, 48u})
        EXPECT_FALSE(image.CreateFromBuffer(pixels, 2, 2, bpp, 8, false)) << bpp;
    EXPECT_EQ(image.DibBlock(), before);
    EXPECT_STREQ(image.LastError(), "");
}

TEST(RasterImageCreateFromBuffer, CopiesRowsAndKeepsPaddingZero)
{
    // Source rows of 3 pixels (9 bytes) 16 bytes apart, the gap full of 0xEE.
    std::vector<std::uint8_t> source(16 * 2, 0xEE);
    for (int i = 0; i < 9; ++i) {
        source[i] = static_cast<std::uint8_t>(10 + i);
        source[16 + i] = static_cast<std::uint8_t>(40 + i);
    }
    for (bool flip : {false, true}) {
        RasterImage image;
        ASSERT_TRUE(image.CreateFromBuffer(source.data(), 3, 2, 24, 16, flip));
        EXPECT_EQ(image.info.typeId, 0u);
        const std::uint8_t* first = image.RowAddress(flip ? 1 : 0);
        const std::uint8_t* second = image.RowAddress(flip ? 0 : 1);
        for (int i = 0; i < 9; ++i) {
            EXPECT_EQ(first[i], 10 + i);
            EXPECT_EQ(second[i], 40 + i);
        }
        for (int i = 9; i < 12; ++i) {
            EXPECT_EQ(first[i], 0) << "padding byte " << i;
            EXPECT_EQ(second[i], 0) << "padding byte " << i;
        }
    }
}

TEST(RasterImageCreateFromBuffer, ReadsNoSourceRowBeyondItsBytesPerLine)
{
    // The last source row ends at the end of the heap block: any read past
    // bytes per line is caught by the address sanitizer.
    for (std::uint32_t bpp : {8u, 24u, 32u}) {
        const std::uint32_t width = 5;
        const std::uint32_t bytesPerLine = width * (bpp / 8) - 2;
        auto source = std::make_unique<std::uint8_t[]>(bytesPerLine * 3);
        std::memset(source.get(), 0x5A, bytesPerLine * 3);
        RasterImage image;
        ASSERT_TRUE(image.CreateFromBuffer(source.get(), width, 3, bpp, bytesPerLine, true)) << bpp;
    }
}

TEST(RasterImageCreateFromBuffer, DepthsBelow24GetGreyRampAnd32GetsAlpha)
{
    const std::uint8_t pixels[8] = {0xAB, 0xCD, 0, 0, 0x12, 0x34, 0, 0};
    RasterImage grey;
    ASSERT_TRUE(grey.CreateFromBuffer(pixels, 4, 2, 4, 4, false));
    EXPECT_EQ(grey.PaletteEntry(1), Bgr(17, 17, 17));
    EXPECT_EQ(grey.IndexAt(0, 0), 0xA);
    EXPECT_EQ(grey.IndexAt(3, 1), 0x4);

    // 32 bpp with flip: source row 0 (picture top) becomes stored row 1, and
    // each pixel's alpha lands on the same row as its colour.
    const std::uint8_t bgra[16] = {1, 2, 3, 200, 4, 5, 6, 201, 7, 8, 9, 202, 10, 11, 12, 203};
    RasterImage rgba;
    ASSERT_TRUE(rgba.CreateFromBuffer(bgra, 2, 2, 32, 8, true));
    EXPECT_EQ(rgba.Bpp(), 24u);
    ASSERT_NE(rgba.AlphaPlane(), nullptr);
    EXPECT_EQ(rgba.ColourAt(0, 1, true), Bgr(1, 2, 3, 200));
    EXPECT_EQ(rgba.ColourAt(1, 1, true), Bgr(4, 5, 6, 201));
    EXPECT_EQ(rgba.ColourAt(0, 0, true), Bgr(7, 8, 9, 202));
    EXPECT_EQ(rgba.ColourAt(1, 0, true), Bgr(10, 11, 12, 203));
    EXPECT_EQ(rgba.ColourTypeMask(), 4u);
}

TEST(RasterImagePixels, IndexReadAndWriteAtEveryDepth)
{
    RasterImage four(4, 1, 4);
    four.RowAddress(0)[0] = 0xAB;
    EXPECT_EQ(four.IndexAt(0, 0), 10);
    EXPECT_EQ(four.IndexAt(1, 0), 11);
    four.PutIndex(1, 0, 0x3F);   // only the low nibble of the index counts
    EXPECT_EQ(four.RowAddress(0)[0], 0xAF);
    four.PutIndex(0, 0, 2);
    EXPECT_EQ(four.RowAddress(0)[0], 0x2F);

    RasterImage one(10, 1, 1);
    one.RowAddress(0)[0] = 0x80;
    EXPECT_EQ(one.IndexAt(0, 0), 1);
    EXPECT_EQ(one.IndexAt(1, 0), 0);
    one.PutIndex(9, 0, 3);
    EXPECT_EQ(one.RowAddress(0)[1], 0x40);
    one.PutIndex(0, 0, 0);
    EXPECT_EQ(one.RowAddress(0)[0], 0x00);

    RasterImage eight(3, 2, 8);
    eight.PutIndex(2, 1, 77);
    EXPECT_EQ(eight.RowAddress(1)[2], 77);
    EXPECT_EQ(eight.IndexAt(2, 1), 77);

    // Outside: the transparent index when set, else the first pixel byte.
    eight.PutIndex(0, 0, 9);
    eight.PutIndex(3, 0, 55);
    eight.PutIndex(-1, 0, 55);
    EXPECT_EQ(eight.IndexAt(0, 0), 9);
    EXPECT_EQ(eight.IndexAt(3, 0), 9);
    EXPECT_EQ(eight.IndexAt(0, -1), 9);
    eight.info.transparentIndex = 4;
    EXPECT_EQ(eight.IndexAt(0, 2), 4);

    // A 24-bit image has no indices.
    RasterImage rgb(2, 2, 24);
    rgb.RowAddress(0)[0] = 99;
    rgb.PutIndex(0, 0, 5);
    EXPECT_EQ(rgb.IndexAt(0, 0), 0);
    EXPECT_EQ(rgb.RowAddress(0)[0], 99);
}

TEST(RasterImagePixels, ColourInsideAndOutside)
{
    RasterImage rgb(2, 2, 24);
    FillPattern24(rgb);
    rgb.info.transparentColour = Bgr(0, 0, 0, 77);
    EXPECT_EQ(rgb.ColourAt(1, 1, true), Bgr(17, 18, 19, 77));
    ASSERT_TRUE(rgb.AllocAlpha());
    rgb.PutAlpha(1, 1, 30);
    EXPECT_EQ(rgb.ColourAt(1, 1, true), Bgr(17, 18, 19, 30));
    EXPECT_EQ(rgb.ColourAt(1, 1, false), Bgr(17, 18, 19, 77));
    // Outside without a transparent index: pixel (0, 0) with alpha.
    EXPECT_EQ(rgb.ColourAt(5, 0, false), Bgr(1, 2, 3, 255));
    rgb.info.transparentIndex = 0;
    EXPECT_EQ(rgb.ColourAt(5, 0, false), Bgr(0, 0, 0, 77));

    RasterImage indexed(2, 2, 8);
    indexed.PutPaletteEntry(3, Bgr(1, 2, 3, 4));
    indexed.PutPaletteEntry(6, Bgr(6, 6, 6, 6));
    indexed.PutIndex(1, 0, 3);
    EXPECT_EQ(indexed.ColourAt(1, 0, false), Bgr(1, 2, 3, 4));
    indexed.info.transparentIndex = 6;
    EXPECT_EQ(indexed.ColourAt(-1, 0, false), Bgr(6, 6, 6, 6));
    EXPECT_EQ(indexed.TransparentColour(), Bgr(6, 6, 6, 6));

    RasterImage empty;
    empty.info.transparentColour = Bgr(9, 8, 7, 6);
    EXPECT_EQ(empty.ColourAt(0, 0, true), Bgr(9, 8, 7, 6));
}

TEST(RasterImagePalette, EntriesAndBounds)
{
    RasterImage image(2, 2, 4);
    image.PutPaletteEntry(15, Bgr(1, 2, 3, 4));
    image.PutPaletteEntry(16, Bgr(9, 9, 9, 9));   // beyond the 16 entries: ignored
    EXPECT_EQ(image.PaletteEntry(15), Bgr(1, 2, 3, 4));
    EXPECT_EQ(image.PaletteEntry(16), RasterColour{});
    std::uint8_t r = 0, g = 0, b = 0;
    EXPECT_TRUE(image.PaletteEntryRgb(15, &r, &g, &b));
    EXPECT_EQ(r, 3);
    EXPECT_EQ(g, 2);
    EXPECT_EQ(b, 1);
    EXPECT_EQ(image.PaletteBytes(), 64u);

    const RasterColour source[20] = {Bgr(5, 5, 5), Bgr(6, 6, 6)};
    image.CopyPaletteFrom(source, 20);   // only 16 entries taken
    EXPECT_EQ(image.PaletteEntry(1), Bgr(6, 6, 6));
    EXPECT_EQ(image.PaletteEntry(15), RasterColour{});

    RasterImage rgb(2, 2, 24);
    EXPECT_EQ(rgb.PaletteData(), nullptr);
    EXPECT_FALSE(rgb.PaletteEntryRgb(0, &r, &g, &b));
    rgb.CopyPaletteFrom(source, 2);
    EXPECT_EQ(rgb.PaletteEntry(0), RasterColour{});
}

TEST(RasterImagePalette, GreyRamps)
{
    RasterImage four(1, 1, 4);
    four.MakeGreyRamp();
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(four.PaletteEntry(static_cast<std::uint8_t>(i)), Bgr(i * 17, i * 17, i * 17));
    EXPECT_FALSE(four.IsGreyRamp());

    RasterImage one(1, 1, 1);
    one.MakeGreyRamp();
    EXPECT_EQ(one.PaletteEntry(0), Bgr(0, 0, 0));
    EXPECT_EQ(one.PaletteEntry(1), Bgr(255, 255, 255));
    EXPECT_FALSE(one.IsGreyRamp());

    RasterImage eight(1, 1, 8);
    eight.MakeGreyRamp();
    EXPECT_TRUE(eight.IsGreyRamp());
    eight.PutPaletteEntry(200, Bgr(200, 201, 200));
    EXPECT_FALSE(eight.IsGreyRamp());
    RasterImage rgb(1, 1, 24);
    EXPECT_FALSE(rgb.IsGreyRamp());
}

TEST(RasterImagePalette, NearestIndexPrefersLowerIndexAndCaches)
{
    RasterImage image(1, 1, 4);
    image.PutPaletteEntry(3, Bgr(10, 20, 30));
    image.PutPaletteEntry(7, Bgr(10, 20, 30));
    image.PutPaletteEntry(9, Bgr(100, 100, 100));
    EXPECT_EQ(image.NearestPaletteIndex(Bgr(10, 20, 30)), 3);
    EXPECT_EQ(image.NearestPaletteIndex(Bgr(90, 95, 99)), 9);
    EXPECT_EQ(image.NearestPaletteIndex(Bgr(0, 0, 1)), 0);   // black entries 0 on
    EXPECT_EQ(image.NearestPaletteIndex(Bgr(10, 20, 31, 5)), 3);

    // The same colour again is answered from the cache, even when the palette
    // was changed behind the image's back ...
    image.PaletteData()[3] = Bgr(0, 0, 0);
    EXPECT_EQ(image.NearestPaletteIndex(Bgr(10, 20, 31, 5)), 3);
    // ... but changing an entry through the image invalidates it.
    image.PutPaletteEntry(3, Bgr(0, 0, 0));
    EXPECT_EQ(image.NearestPaletteIndex(Bgr(10, 20, 31, 5)), 7);

    // biClrImportant limits the scan.
    image.header.biClrImportant = 5;
    EXPECT_EQ(image.NearestPaletteIndex(Bgr(100, 100, 100)), 0);

    RasterImage rgb(1, 1, 24);
    EXPECT_EQ(rgb.NearestPaletteIndex(Bgr(1, 2, 3)), 0);
}

TEST(RasterImagePalette, ExchangeIndicesSwapsEntriesAndPixels)
{
    RasterImage image(5, 2, 4);
    image.PutPaletteEntry(2, Bgr(2, 2, 2));
    image.PutPaletteEntry(5, Bgr(5, 5, 5));
    const std::uint8_t indices[10] = {2, 5, 1, 2, 0, 5, 5, 3, 2, 15};
    for (int i = 0; i < 10; ++i)
        image.PutIndex(i % 5, i / 5, indices[i]);
    image.ExchangeIndices(2, 5);
    EXPECT_EQ(image.PaletteEntry(2), Bgr(5, 5, 5));
    EXPECT_EQ(image.PaletteEntry(5), Bgr(2, 2, 2));
    const std::uint8_t want[10] = {5, 2, 1, 5, 0, 2, 2, 3, 5, 15};
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(image.IndexAt(i % 5, i / 5), want[i]) << i;
    EXPECT_FALSE(image.PaletteHasAlpha());
    image.PutPaletteEntry(14, Bgr(0, 0, 0, 1));
    EXPECT_TRUE(image.PaletteHasAlpha());
}

TEST(RasterImagePixels, LumaDifference)
{
    EXPECT_EQ(RasterImage::LumaDifference(Bgr(255, 255, 255), Bgr(0, 0, 0)), 255);
    EXPECT_EQ(RasterImage::LumaDifference(Bgr(0, 0, 0), Bgr(255, 255, 255)), -255);
    EXPECT_EQ(RasterImage::LumaDifference(Bgr(0, 255, 0), Bgr(0, 0, 255)), 73);
    EXPECT_EQ(RasterImage::LumaDifference(Bgr(255, 0, 0), Bgr(0, 0, 0)), 29);
}

TEST(RasterImagePixels, SwapRedBlueStaysInsideItsBuffer)
{
    RasterImage image(1, 1, 24);   // 4 row bytes
    // Heap buffers of exactly `length` bytes: a touch beyond fails under ASan.
    for (std::int64_t length : {1, 2, 3, 4, 5}) {
        auto buffer = std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(length));
        for (std::int64_t i = 0; i < length; ++i)
            buffer[i] = static_cast<std::uint8_t>(i + 1);
        image.SwapRedBlue(buffer.get(), length);
        if (length >= 3) {
            EXPECT_EQ(buffer[0], 3);
            EXPECT_EQ(buffer[2], 1);
        } else {
            EXPECT_EQ(buffer[0], 1);
        }
        if (length >= 4) {
            EXPECT_EQ(buffer[3], 4);   // cut to the 4 row bytes: no partial group
        }
    }
    RasterImage wide(3, 1, 24);
    std::uint8_t row[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    wide.SwapRedBlue(row, 9);
    const std::uint8_t want[9] = {3, 2, 1, 6, 5, 4, 9, 8, 7};
    EXPECT_EQ(0, std::memcmp(row, want, 9));

    RasterImage indexed(3, 1, 8);
    std::uint8_t untouched[3] = {1, 2, 3};
    indexed.SwapRedBlue(untouched, 3);
    EXPECT_EQ(untouched[0], 1);
    image.SwapRedBlue(nullptr, 3);
}

TEST(RasterImageAlpha, PlaneAccessTransparencyAndTypeMask)
{
    RasterImage image(3, 2, 24);
    EXPECT_EQ(image.ColourTypeMask(), 2u);
    EXPECT_EQ(image.AlphaAt(0, 0), 0);
    image.PutAlpha(0, 0, 5);   // no plane: nothing happens
    ASSERT_TRUE(image.AllocAlpha());
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(image.AlphaPlane()[i], 255);
    image.PutAlpha(2, 1, 7);
    EXPECT_EQ(image.AlphaPlane()[1 * 3 + 2], 7);
    EXPECT_EQ(image.AlphaAt(2, 1), 7);
    image.PutAlpha(3, 1, 9);
    image.PutAlpha(0, -1, 9);
    EXPECT_EQ(image.AlphaAt(3, 1), 0);
    std::uint8_t* plane = image.AlphaPlane();
    EXPECT_TRUE(image.AllocAlpha());   // an existing plane stays
    EXPECT_EQ(image.AlphaPlane(), plane);
    EXPECT_EQ(image.ColourTypeMask(), 4u);
    image.FreeAlpha();
    EXPECT_EQ(image.AlphaPlane(), nullptr);

    RasterImage indexed(1, 1, 8);
    EXPECT_EQ(indexed.ColourTypeMask(), 1u);
    indexed.PutPaletteEntry(2, Bgr(1, 1, 1, 1));
    indexed.info.transparentColour = Bgr(9, 9, 9);
    EXPECT_EQ(indexed.TransparentColour(), Bgr(9, 9, 9));
    indexed.info.transparentIndex = 2;
    EXPECT_EQ(indexed.TransparentColour(), Bgr(1, 1, 1, 1));
    image.info.transparentIndex = 2;
    image.info.transparentColour = Bgr(4, 4, 4);
    EXPECT_EQ(image.TransparentColour(), Bgr(4, 4, 4));

    {
        AllocFailure fail(0);
        EXPECT_FALSE(image.AllocAlpha());
        EXPECT_EQ(image.AlphaPlane(), nullptr);
    }
}

TEST(RasterImageGeometry, RowAddressesAndWalker)
{
    RasterImage image(3, 4, 8);
    EXPECT_EQ(image.RowAddress(1), image.RowAddress(0) + 4);
    EXPECT_EQ(image.RowAddress(3), image.RowAddress(0) + 12);
    EXPECT_EQ(image.RowAddress(4), nullptr);
    EXPECT_EQ(image.RowAddress(0xFFFFFFFFu), nullptr);
    EXPECT_TRUE(image.ContainsPoint(2, 3));
    EXPECT_FALSE(image.ContainsPoint(3, 0));
    EXPECT_FALSE(image.ContainsPoint(0, -1));

    RasterRowWalker walker(image);
    EXPECT_EQ(walker.row, 0);
    EXPECT_EQ(walker.rowAddress, image.RowAddress(0));
    walker.FromTop();
    EXPECT_EQ(walker.row, 3);
    EXPECT_EQ(walker.column, 0);
    EXPECT_EQ(walker.rowAddress, image.RowAddress(3));

    RasterImage empty;
    EXPECT_EQ(empty.RowAddress(0), nullptr);
    image.FreeSelection();
    EXPECT_EQ(image.info.selectionBox[0], 3);
    EXPECT_EQ(image.info.selectionBox[1], 0);
    EXPECT_EQ(image.info.selectionBox[2], 0);
    EXPECT_EQ(image.info.selectionBox[3], 4);
}

// A 24-bit picture of 6 x 4 whose pixel at column x and picture row p (0 at
// the top) is blue = x, green = p, red = 100.
void MakeGrid(RasterImage& image)
{
    image.Create(6, 4, 24, 7);
    for (std::uint32_t p = 0; p < 4; ++p)
        for (std::uint32_t x = 0; x < 6; ++x) {
            std::uint8_t* px = image.RowAddress(3 - p) + 3 * x;
            px[0] = static_cast<std::uint8_t>(x);
            px[1] = static_cast<std::uint8_t>(p);
            px[2] = 100;
        }
}

TEST(RasterImageCrop, KeepsTheRectangleCountedFromTheTop)
{
    struct Case {
        std::int32_t left, top, right, bottom;
        int wantLeft, wantTop, wantWidth, wantHeight;
    };
    const Case cases[] = {
        {1, 1, 4, 3, 1, 1, 3, 2},    {4, 1, 1, 3, 1, 1, 3, 2},   // left and right exchanged
        {-5, 0, 2, 4, 0, 0, 2, 4},   {0, 0, 6, 1, 0, 0, 6, 1},   // the top row only
        {5, 3, 99, 99, 5, 3, 1, 1},  {2, 4, 3, 2, 2, 2, 1, 2},   // top and bottom exchanged
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.left << "," << c.top << "," << c.right << "," << c.bottom);
        RasterImage source;
        MakeGrid(source);
        source.info.quality = 40;
        source.info.transparentIndex = 3;
        source.info.transparentColour = Bgr(1, 2, 3);
        RasterImage target;
        ASSERT_TRUE(source.Crop(c.left, c.top, c.right, c.bottom, &target));
        ASSERT_EQ(target.Width(), static_cast<std::uint32_t>(c.wantWidth));
        ASSERT_EQ(target.Height(), static_cast<std::uint32_t>(c.wantHeight));
        EXPECT_EQ(target.info.typeId, 7u);
        EXPECT_EQ(target.info.quality, 90);   // everything else has its default
        EXPECT_EQ(target.info.transparentIndex, 3);
        EXPECT_EQ(target.info.transparentColour, Bgr(1, 2, 3));
        for (int p = 0; p < c.wantHeight; ++p)
            for (int x = 0; x < c.wantWidth; ++x)
                ASSERT_EQ(target.ColourAt(x, c.wantHeight - 1 - p, false),
                          Bgr(static_cast<std::uint8_t>(c.wantLeft + x), static_cast<std::uint8_t>(c.wantTop + p), 100))
                    << x << "," << p;
        // Padding of the cropped rows is zero.
        for (int k = 0; k < c.wantHeight; ++k)
            for (std::uint32_t i = 3 * target.Width(); i < target.info.rowBytes; ++i)
                EXPECT_EQ(target.RowAddress(k)[i], 0);
        EXPECT_EQ(source.Width(), 6u);   // the source stays
    }
}

TEST(RasterImageCrop, EmptyRectanglesAndEmptyImagesFail)
{
    RasterImage source;
    MakeGrid(source);
    RasterImage target;
    EXPECT_FALSE(source.Crop(1, 2, 4, 2, &target));
    EXPECT_FALSE(source.Crop(3, 0, 3, 4, &target));
    EXPECT_FALSE(source.Crop(7, 0, 9, 4, &target));   // both clamped to the width
    EXPECT_FALSE(target.IsValid());
    RasterImage empty;
    EXPECT_FALSE(empty.Crop(0, 0, 1, 1, &target));
    {
        AllocFailure fail(0);
        EXPECT_FALSE(source.Crop(0, 0, 2, 2, &target));
    }
    EXPECT_EQ(source.Width(), 6u);
}

TEST(RasterImageCrop, InPlaceWithAlphaAndProgress)
{
    RasterImage image;
    MakeGrid(image);
    ASSERT_TRUE(image.AllocAlpha());
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            image.PutAlpha(x, y, static_cast<std::uint8_t>(10 * y + x));
    ASSERT_TRUE(image.Crop(2, 1, 5, 3));
    EXPECT_EQ(image.Width(), 3u);
    EXPECT_EQ(image.Height(), 2u);
    // Stored rows 1 and 2 of the source, columns 2 to 4.
    EXPECT_EQ(image.AlphaAt(0, 0), 12);
    EXPECT_EQ(image.AlphaAt(2, 1), 24);
    EXPECT_EQ(image.ColourAt(0, 1, true), Bgr(2, 1, 100, 22));
    EXPECT_EQ(image.info.progress, 0);   // the temporary's value: a default

    RasterImage source;
    MakeGrid(source);
    RasterImage target;
    ASSERT_TRUE(source.Crop(0, 0, 6, 2, &target));
    EXPECT_EQ(source.info.progress, (3 * 100) / 4);
}

TEST(RasterImageCrop, PackedDepthsAtUnalignedColumns)
{
    for (std::uint32_t bpp : {1u, 4u}) {
        SCOPED_TRACE(bpp);
        RasterImage image(13, 3, bpp);
        image.PutPaletteEntry(1, Bgr(9, 9, 9));
        const int mask = bpp == 1 ? 1 : 15;
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 13; ++x)
                image.PutIndex(x, y, static_cast<std::uint8_t>((x * 7 + y * 3) & mask));
        RasterImage target;
        ASSERT_TRUE(image.Crop(3, 0, 12, 2, &target));
        EXPECT_EQ(target.PaletteEntry(1), Bgr(9, 9, 9));
        ASSERT_EQ(target.Width(), 9u);
        ASSERT_EQ(target.Height(), 2u);
        for (int k = 0; k < 2; ++k)
            for (int j = 0; j < 9; ++j)
                EXPECT_EQ(target.IndexAt(j, k), image.IndexAt(3 + j, 1 + k)) << j << "," << k;
    }
}

TEST(RasterImageBuffers, TakeOverMovesEverything)
{
    RasterImage source(4, 3, 8, 4);
    source.PutPaletteEntry(1, Bgr(1, 2, 3));
    ASSERT_TRUE(source.AllocAlpha());
    source.info.quality = 12;
    std::uint8_t* block = source.DibBlock();
    std::uint8_t* alpha = source.AlphaPlane();

    RasterImage target(2, 2, 24);
    ASSERT_TRUE(target.TakeOver(source));
    EXPECT_EQ(target.DibBlock(), block);
    EXPECT_EQ(target.AlphaPlane(), alpha);
    EXPECT_EQ(target.info.quality, 12);
    EXPECT_EQ(target.Width(), 4u);
    EXPECT_EQ(target.PaletteEntry(1), Bgr(1, 2, 3));
    EXPECT_EQ(source.DibBlock(), nullptr);
    EXPECT_EQ(source.AlphaPlane(), nullptr);
    EXPECT_EQ(source.Width(), 0u);
    EXPECT_EQ(source.info.quality, 0);
    EXPECT_EQ(source.info.typeId, 0u);
}

TEST(RasterImageBuffers, SharingRecordsBorrowAndNeverFree)
{
    RasterImage owner(3, 2, 8);
    owner.info.quality = 33;
    {
        RasterImage borrower(5);
        borrower.ShareBuffersOf(&owner);
        EXPECT_EQ(borrower.info.shareOwner, &owner);
        EXPECT_EQ(borrower.DibBlock(), owner.DibBlock());
        EXPECT_EQ(borrower.info.quality, 33);
        EXPECT_EQ(borrower.info.typeId, 0u);   // the owner's record
        borrower.PutIndex(1, 1, 42);
        EXPECT_EQ(owner.IndexAt(1, 1), 42);
        borrower.info.quality = 1;
        EXPECT_EQ(owner.info.quality, 33);

        EXPECT_EQ(borrower.Create(2, 2, 24, 0), nullptr);
        EXPECT_EQ(borrower.DibBlock(), owner.DibBlock());
        RasterImage other(1, 1, 24);
        EXPECT_FALSE(borrower.TakeOver(other));
        EXPECT_TRUE(other.IsValid());
        EXPECT_FALSE(borrower.Destroy());
        EXPECT_EQ(borrower.DibBlock(), owner.DibBlock());
    }
    EXPECT_EQ(owner.IndexAt(1, 1), 42);   // the borrower's destructor freed nothing
    owner.ShareBuffersOf(nullptr);
    EXPECT_EQ(owner.info.shareOwner, nullptr);
}

TEST(RasterImageBuffers, ShareBuffersOfFreesTheRecordsOwnBuffersFirst)
{
    RasterImage owner(3, 2, 8);
    RasterImage record(50, 50, 24);   // leaks under the sanitizer if not freed
    ASSERT_TRUE(record.AllocAlpha());
    record.ShareBuffersOf(&owner);
    EXPECT_EQ(record.DibBlock(), owner.DibBlock());
    EXPECT_EQ(record.AlphaPlane(), nullptr);
}

class CountingImage : public RasterImage {
public:
    explicit CountingImage(int* counter) : RasterImage(1, 1, 24), counter_(counter) {}
    ~CountingImage() override { ++*counter_; }

private:
    int* counter_;
};

class LayeredImage : public RasterImage {
public:
    LayeredImage(int* counter) : RasterImage(2, 2, 24)
    {
        layers_ = static_cast<RasterImage**>(RasterAlloc(2 * sizeof(RasterImage*)));
        layers_[0] = new CountingImage(counter);
        layers_[1] = new CountingImage(counter);
        info.layerCount = 2;
        selection_ = static_cast<std::uint8_t*>(RasterAlloc(4));
    }
};

TEST(RasterImageBuffers, DestroyDeletesLayersThroughTheirDestructors)
{
    int destroyed = 0;
    LayeredImage image(&destroyed);
    EXPECT_TRUE(image.Destroy());
    EXPECT_EQ(destroyed, 2);
    EXPECT_FALSE(image.IsValid());
    EXPECT_EQ(image.Width(), 2u);   // the record stays readable
    EXPECT_TRUE(image.Destroy());
    EXPECT_EQ(destroyed, 2);
}

} // namespace
