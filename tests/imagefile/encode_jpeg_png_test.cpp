// JPEG and PNG files read back through libjpeg and libpng.
#include <gtest/gtest.h>

#include <png.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "imagefile/jpeg_stream.h"
#include "imagefile/raster_image.h"
#include "tests/imagefile/imagefile_test_util.h"

using namespace imagefile_test;
using Bytes = std::vector<std::uint8_t>;

namespace {

// ------------------------------------------------------------------ helpers

// The picture as red, green, blue (or grey) bytes, top row first.
Bytes TopDownSamples(const RasterImage& image, bool grey)
{
    Bytes out;
    for (std::int64_t y = std::int64_t{image.Height()} - 1; y >= 0; --y)
        for (std::uint32_t x = 0; x < image.Width(); ++x) {
            const RasterColour c = image.ColourAt(x, y, false);
            if (grey) {
                out.push_back(c.red);
            } else {
                out.push_back(c.red);
                out.push_back(c.green);
                out.push_back(c.blue);
            }
        }
    return out;
}

// A smooth picture with a feature in one corner, so that a flipped or
// mirrored result has a poor PSNR.
void FillPicture(RasterImage& image)
{
    for (std::uint32_t y = 0; y < image.Height(); ++y) {
        std::uint8_t* row = image.RowAddress(y);
        for (std::uint32_t x = 0; x < image.Width(); ++x) {
            const bool corner = x < image.Width() / 3 && y > image.Height() / 2;
            row[3 * x + 0] = static_cast<std::uint8_t>(corner ? 240 : 20 + x * 2);
            row[3 * x + 1] = static_cast<std::uint8_t>(corner ? 250 : 40 + y * 3);
            row[3 * x + 2] = static_cast<std::uint8_t>(corner ? 245 : 200 - x - y);
        }
    }
}

struct DecodedJpeg {
    int width = 0, height = 0, components = 0;
    int densityUnit = -1, xDensity = 0, yDensity = 0;
    Bytes samples;
    std::string error;
    int warnings = 0;
};

// Decodes through the stream manager's source side. Only plain records
// live in the frame that the error exit jumps back to.
bool DecodeJpegFrom(RasterStream* stream, DecodedJpeg* out, char* error)
{
    jpeg_decompress_struct cinfo;
    std::memset(static_cast<void*>(&cinfo), 0, sizeof(cinfo));
    RasterJpegErrorManager errors;
    RasterJpegStreamManager manager;
    cinfo.err = errors.Init(error);
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    manager.Init(stream);
    cinfo.src = &manager.src;
    jpeg_read_header(&cinfo, TRUE);
    jpeg_start_decompress(&cinfo);
    out->width = static_cast<int>(cinfo.output_width);
    out->height = static_cast<int>(cinfo.output_height);
    out->components = cinfo.output_components;
    out->densityUnit = cinfo.density_unit;
    out->xDensity = cinfo.X_density;
    out->yDensity = cinfo.Y_density;
    out->samples.resize(std::size_t(out->width) * out->height * out->components);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = out->samples.data() + std::size_t(cinfo.output_scanline) * out->width * out->components;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    out->warnings = static_cast<int>(cinfo.err->num_warnings);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

DecodedJpeg DecodeJpeg(const Bytes& file)
{
    DecodedJpeg out;
    RasterMemoryStream stream(const_cast<std::uint8_t*>(file.data()), static_cast<std::int64_t>(file.size()), false);
    char error[256] = {};
    if (!DecodeJpegFrom(&stream, &out, error))
        out.error = error;
    return out;
}

// ------------------------------------------------------------------- JPEG

TEST(JpegEncoder, ColourPictureTopRowFirstWithDensity)
{
    RasterImage image(64, 48, 24);
    FillPicture(image);
    image.info.quality = 95;
    const DecodedJpeg jpeg = DecodeJpeg(EncodeOk(image, RASTER_TYPE_JPEG));
    ASSERT_EQ(jpeg.error, "");
    EXPECT_EQ(jpeg.width, 64);
    EXPECT_EQ(jpeg.height, 48);
    EXPECT_EQ(jpeg.components, 3);
    EXPECT_EQ(jpeg.densityUnit, 1);
    EXPECT_EQ(jpeg.xDensity, 96);
    EXPECT_EQ(jpeg.yDensity, 96);
    EXPECT_GT(Psnr(jpeg.samples, TopDownSamples(image, false)), 36.0);

    image.info.dpiX = 300;
    image.info.dpiY = 150;
    const DecodedJpeg dense = DecodeJpeg(EncodeOk(image, RASTER_TYPE_JPEG));
    EXPECT_EQ(dense.xDensity, 300);
    EXPECT_EQ(dense.yDensity, 150);
}

TEST(JpegEncoder, QualityChangesTheFile)
{
    RasterImage image(64, 48, 24);
    FillPicture(image);
    image.info.quality = 95;
    const Bytes fine = EncodeOk(image, RASTER_TYPE_JPEG);
    image.info.quality = 20;
    const Bytes coarse = EncodeOk(image, RASTER_TYPE_JPEG);
    EXPECT_LT(coarse.size(), fine.size());
    EXPECT_LT(Psnr(DecodeJpeg(coarse).samples, TopDownSamples(image, false)),
              Psnr(DecodeJpeg(fine).samples, TopDownSamples(image, false)));
}

TEST(JpegEncoder, GreyRampAndGreyOption)
{
    RasterImage grey(40, 30, 8);
    grey.MakeGreyRamp();
    for (std::uint32_t y = 0; y < 30; ++y)
        for (std::uint32_t x = 0; x < 40; ++x)
            grey.PutIndex(x, y, static_cast<std::uint8_t>(x * 5 + y));
    grey.info.quality = 95;
    DecodedJpeg jpeg = DecodeJpeg(EncodeOk(grey, RASTER_TYPE_JPEG));
    EXPECT_EQ(jpeg.components, 1);
    EXPECT_GT(Psnr(jpeg.samples, TopDownSamples(grey, true)), 38.0);

    RasterImage colour(16, 16, 24);
    FillPicture(colour);
    colour.info.codecOptions = 0x04;
    jpeg = DecodeJpeg(EncodeOk(colour, RASTER_TYPE_JPEG));
    EXPECT_EQ(jpeg.components, 1);
}

TEST(JpegEncoder, SmoothingOptionUsesAnInitialisedFactor)
{
    RasterImage image(32, 32, 24);
    FillPicture(image);
    const Bytes plain = EncodeOk(image, RASTER_TYPE_JPEG);
    image.info.codecOptions = 0x40;
    EXPECT_EQ(EncodeOk(image, RASTER_TYPE_JPEG), plain);   // a factor of 0
}

TEST(JpegEncoder, RefusesPalettesThatAreNotTheIdentityRamp)
{
    RasterImage palette(4, 4, 8);
    palette.MakeGreyRamp();
    palette.PutPaletteEntry(3, Bgr(1, 2, 3));
    RasterImage oneBitRamp(8, 2, 1);
    oneBitRamp.MakeGreyRamp();   // 0 and 255: not the identity
    RasterImage fourBitRamp(8, 2, 4);
    fourBitRamp.MakeGreyRamp();
    for (RasterImage* image : {&palette, &oneBitRamp, &fourBitRamp}) {
        bool ok = true;
        EXPECT_TRUE(EncodeToBytes(*image, RASTER_TYPE_JPEG, &ok).empty());
        EXPECT_FALSE(ok);
        EXPECT_STREQ(image->LastError(), "JPEG can save only RGB or GreyScale images");
    }
}

TEST(JpegEncoder, PackedIdentityPalettesAreWidened)
{
    for (std::uint32_t bpp : {1u, 4u}) {
        SCOPED_TRACE(bpp);
        RasterImage image(19, 9, bpp);
        const int entries = bpp == 1 ? 2 : 16;
        for (int i = 0; i < entries; ++i)
            image.PutPaletteEntry(static_cast<std::uint8_t>(i), Bgr(i, i, i));
        ASSERT_TRUE(image.IsGreyRamp());
        for (std::uint32_t y = 0; y < 9; ++y)
            for (std::uint32_t x = 0; x < 19; ++x)
                image.PutIndex(x, y, static_cast<std::uint8_t>((x + y) % entries));
        image.info.quality = 100;
        const DecodedJpeg jpeg = DecodeJpeg(EncodeOk(image, RASTER_TYPE_JPEG));
        ASSERT_EQ(jpeg.components, 1);
        const Bytes want = TopDownSamples(image, true);
        ASSERT_EQ(jpeg.samples.size(), want.size());
        for (std::size_t i = 0; i < want.size(); ++i)
            ASSERT_NEAR(jpeg.samples[i], want[i], 2) << i;
    }
}

TEST(JpegStreamManager, SourceSideReportsEmptyAndShortInput)
{
    DecodedJpeg empty = DecodeJpeg(Bytes{});
    EXPECT_EQ(empty.error, "Empty input file");

    RasterImage image(64, 48, 24);
    FillPicture(image);
    Bytes file = EncodeOk(image, RASTER_TYPE_JPEG);
    file.resize(file.size() * 2 / 3);
    const DecodedJpeg cut = DecodeJpeg(file);
    EXPECT_EQ(cut.error, "");   // "Premature end of JPEG file" is a warning
    EXPECT_GE(cut.warnings, 1);
    EXPECT_EQ(cut.height, 48);
}

TEST(JpegStreamManager, SkipsLongMarkersAcrossBufferRefills)
{
    RasterImage image(24, 16, 24);
    FillPicture(image);
    const Bytes file = EncodeOk(image, RASTER_TYPE_JPEG);
    // An application marker of 10000 bytes right after the start of image.
    Bytes padded(file.begin(), file.begin() + 2);
    const int length = 10000;
    padded.insert(padded.end(), {0xFF, 0xEF, static_cast<std::uint8_t>(length >> 8),
                                 static_cast<std::uint8_t>(length & 0xFF)});
    padded.resize(padded.size() + length - 2, 0x77);
    padded.insert(padded.end(), file.begin() + 2, file.end());
    const DecodedJpeg a = DecodeJpeg(file);
    const DecodedJpeg b = DecodeJpeg(padded);
    EXPECT_EQ(b.error, "");
    EXPECT_EQ(a.samples, b.samples);
}

// -------------------------------------------------------------------- PNG

struct DecodedPng {
    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colourType = -1;
    std::vector<png_color> palette;
    Bytes transparency;
    bool hasBackground = false;
    png_color_16 background{};
    png_uint_32 xPerUnit = 0, yPerUnit = 0;
    int unit = -1;
    Bytes rgba;   // top row first, expanded to 8-bit red, green, blue, alpha
    bool ok = false;
};

struct PngSource {
    const Bytes* data;
    std::size_t position;
};

void ReadFromMemory(png_structp png, png_bytep out, size_t length)
{
    auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
    if (source->position + length > source->data->size())
        png_error(png, "read past the end");
    std::memcpy(out, source->data->data() + source->position, length);
    source->position += length;
}

void DecodePngInto(const Bytes& file, DecodedPng* out)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    PngSource source{&file, 0};
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return;
    }
    png_set_read_fn(png, &source, ReadFromMemory);
    png_read_info(png, info);
    int interlace = 0;
    png_get_IHDR(png, info, &out->width, &out->height, &out->bitDepth, &out->colourType, &interlace, nullptr,
                 nullptr);
    png_colorp palette = nullptr;
    int paletteCount = 0;
    if (png_get_PLTE(png, info, &palette, &paletteCount))
        out->palette.assign(palette, palette + paletteCount);
    png_bytep trans = nullptr;
    int transCount = 0;
    if (png_get_tRNS(png, info, &trans, &transCount, nullptr) && trans)
        out->transparency.assign(trans, trans + transCount);
    png_color_16p background = nullptr;
    if (png_get_bKGD(png, info, &background)) {
        out->hasBackground = true;
        out->background = *background;
    }
    png_get_pHYs(png, info, &out->xPerUnit, &out->yPerUnit, &out->unit);

    png_set_expand(png);
    png_set_gray_to_rgb(png);
    if (!(out->colourType & PNG_COLOR_MASK_ALPHA) && out->transparency.empty())
        png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    png_read_update_info(png, info);
    out->rgba.resize(std::size_t(out->width) * out->height * 4);
    for (png_uint_32 r = 0; r < out->height; ++r)
        png_read_row(png, out->rgba.data() + std::size_t(r) * out->width * 4, nullptr);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    out->ok = true;
}

DecodedPng DecodePng(const Bytes& file)
{
    DecodedPng out;
    DecodePngInto(file, &out);
    return out;
}

// The picture as top-down red, green, blue, alpha with the given alpha rule.
Bytes ExpectedRgba(const RasterImage& image, bool useAlphaPlane)
{
    Bytes out;
    for (std::int64_t y = std::int64_t{image.Height()} - 1; y >= 0; --y)
        for (std::uint32_t x = 0; x < image.Width(); ++x) {
            const RasterColour c = image.ColourAt(x, y, false);
            out.insert(out.end(), {c.red, c.green, c.blue,
                                   static_cast<std::uint8_t>(useAlphaPlane ? image.AlphaAt(x, y) * image.info.alphaMax / 255
                                                                           : 255)});
        }
    return out;
}

TEST(PngEncoder, TrueColourIsLossless)
{
    RasterImage image(37, 23, 24);
    FillPicture(image);
    const DecodedPng png = DecodePng(EncodeOk(image, RASTER_TYPE_PNG));
    ASSERT_TRUE(png.ok);
    EXPECT_EQ(png.width, 37u);
    EXPECT_EQ(png.height, 23u);
    EXPECT_EQ(png.colourType, PNG_COLOR_TYPE_RGB);
    EXPECT_EQ(png.bitDepth, 8);
    EXPECT_EQ(png.xPerUnit, 3780u);
    EXPECT_EQ(png.yPerUnit, 3780u);
    EXPECT_EQ(png.unit, PNG_RESOLUTION_METER);
    ASSERT_TRUE(png.hasBackground);
    EXPECT_EQ(png.background.red, 255);
    EXPECT_EQ(png.background.blue, 255);
    EXPECT_EQ(png.rgba, ExpectedRgba(image, false));
}

TEST(PngEncoder, AlphaPlaneGivesRgbaScaledByAlphaMax)
{
    RasterImage image(13, 7, 24);
    FillPicture(image);
    ASSERT_TRUE(image.AllocAlpha());
    for (std::uint32_t y = 0; y < 7; ++y)
        for (std::uint32_t x = 0; x < 13; ++x)
            image.PutAlpha(x, y, static_cast<std::uint8_t>(x * 19 + y));
    image.info.alphaMax = 128;
    const DecodedPng png = DecodePng(EncodeOk(image, RASTER_TYPE_PNG));
    ASSERT_TRUE(png.ok);
    EXPECT_EQ(png.colourType, PNG_COLOR_TYPE_RGB_ALPHA);
    EXPECT_EQ(png.rgba, ExpectedRgba(image, true));
}

TEST(PngEncoder, PaletteOfSmallImagesIsTrimmedToTheUsedIndices)
{
    struct Case {
        std::uint32_t size, bpp;
        int highest;
        std::size_t wantEntries;
    };
    const Case cases[] = {
        {100, 8, 9, 10}, {300, 8, 9, 256}, {20, 4, 11, 12}, {20, 1, 1, 2}, {20, 1, 0, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.size << " bpp " << c.bpp);
        RasterImage image(c.size, c.size, c.bpp);
        for (int i = 0; i < (1 << c.bpp); ++i)
            image.PutPaletteEntry(static_cast<std::uint8_t>(i), Bgr(i, 255 - i, i * 3));
        for (std::uint32_t y = 0; y < c.size; ++y)
            for (std::uint32_t x = 0; x < c.size; ++x)
                image.PutIndex(x, y, static_cast<std::uint8_t>((x * 3 + y) % (c.highest + 1)));
        const DecodedPng png = DecodePng(EncodeOk(image, RASTER_TYPE_PNG));
        ASSERT_TRUE(png.ok);
        EXPECT_EQ(png.colourType, PNG_COLOR_TYPE_PALETTE);
        EXPECT_EQ(png.bitDepth, static_cast<int>(c.bpp));
        EXPECT_EQ(png.palette.size(), c.wantEntries);
        EXPECT_TRUE(png.transparency.empty());
        EXPECT_EQ(png.rgba, ExpectedRgba(image, false));
    }
}

TEST(PngEncoder, TransparentIndexMovesToZero)
{
    RasterImage image(6, 4, 8);
    for (int i = 0; i < 256; ++i)
        image.PutPaletteEntry(static_cast<std::uint8_t>(i), Bgr(i, i / 2, 255 - i));
    for (std::uint32_t y = 0; y < 4; ++y)
        for (std::uint32_t x = 0; x < 6; ++x)
            image.PutIndex(x, y, static_cast<std::uint8_t>((x + y) % 7));
    image.info.transparentIndex = 5;
    image.info.transparentColour = Bgr(1, 2, 3);
    const Bytes picture = ExpectedRgba(image, false);
    const RasterColour entry0 = image.PaletteEntry(0);
    const RasterColour entry5 = image.PaletteEntry(5);
    Bytes wasFive;
    for (std::int64_t y = 3; y >= 0; --y)
        for (std::uint32_t x = 0; x < 6; ++x)
            wasFive.push_back(image.IndexAt(x, y) == 5);

    const DecodedPng png = DecodePng(EncodeOk(image, RASTER_TYPE_PNG));
    ASSERT_TRUE(png.ok);
    // The caller's image: entries and indices 0 and 5 exchanged, index 0 transparent.
    EXPECT_EQ(image.info.transparentIndex, 0);
    EXPECT_EQ(image.PaletteEntry(0), entry5);
    EXPECT_EQ(image.PaletteEntry(5), entry0);
    EXPECT_EQ(ExpectedRgba(image, false), picture);
    // The file: one transparency entry, of 0, for index 0.
    EXPECT_EQ(png.transparency, Bytes{0});
    EXPECT_EQ(png.background.index, 0);   // a palette image's background is an index
    for (std::size_t i = 0; i < wasFive.size(); ++i) {
        EXPECT_EQ(png.rgba[4 * i + 3], wasFive[i] ? 0 : 255) << i;
        if (!wasFive[i]) {
            EXPECT_EQ(png.rgba[4 * i], picture[4 * i]);
        }
    }
}

TEST(PngEncoder, PaletteAlphaBecomesTheTransparencyTable)
{
    RasterImage image(4, 1, 4);
    for (int i = 0; i < 16; ++i)
        image.PutPaletteEntry(static_cast<std::uint8_t>(i), Bgr(i, i, i, static_cast<std::uint8_t>(i * 16)));
    for (int x = 0; x < 4; ++x)
        image.PutIndex(x, 0, static_cast<std::uint8_t>(x));
    image.info.alphaFromPalette = 1;
    const DecodedPng png = DecodePng(EncodeOk(image, RASTER_TYPE_PNG));
    ASSERT_TRUE(png.ok);
    EXPECT_EQ(png.palette.size(), 4u);
    EXPECT_EQ(png.transparency, (Bytes{0, 16, 32, 48}));
}

TEST(PngEncoder, TransparentColourOfTrueColourImages)
{
    RasterImage image(5, 3, 24);
    FillPicture(image);
    std::uint8_t* px = image.RowAddress(1) + 3 * 2;
    px[0] = 9;
    px[1] = 8;
    px[2] = 7;
    image.info.transparentIndex = 0;
    image.info.transparentColour = Bgr(9, 8, 7);
    DecodedPng png = DecodePng(EncodeOk(image, RASTER_TYPE_PNG));
    ASSERT_TRUE(png.ok);
    EXPECT_EQ(png.colourType, PNG_COLOR_TYPE_RGB_ALPHA);
    EXPECT_EQ(png.background.red, 7);
    EXPECT_EQ(png.background.green, 8);
    EXPECT_EQ(png.background.blue, 9);
    EXPECT_EQ(image.AlphaPlane(), nullptr);   // the temporary plane is gone
    for (std::uint32_t y = 0; y < 3; ++y)
        for (std::uint32_t x = 0; x < 5; ++x) {
            const std::size_t at = 4 * ((2 - y) * 5 + x) + 3;
            EXPECT_EQ(png.rgba[at], (x == 2 && y == 1) ? 0 : 255) << x << "," << y;
        }

    // An alpha plane the image already has is changed in place.
    ASSERT_TRUE(image.AllocAlpha());
    image.PutAlpha(0, 0, 77);
    png = DecodePng(EncodeOk(image, RASTER_TYPE_PNG));
    EXPECT_EQ(image.AlphaAt(2, 1), 0);
    EXPECT_EQ(image.AlphaAt(0, 0), 77);
    EXPECT_EQ(png.rgba[4 * (2 * 5 + 0) + 3], 77);
}

TEST(PngEncoder, FailuresAfterPartOfTheFileLeaveNothingBehind)
{
    // A palette image with a transparent index: the palette copy and the
    // exchange happen before the write fails.
    RasterImage image(50, 50, 8);
    image.info.transparentIndex = 3;
    FailAfterStream stream(60);
    image.SetLastError("before");
    EXPECT_FALSE(image.Encode(&stream, RASTER_TYPE_PNG));
    EXPECT_STREQ(image.LastError(), "Error saving PNG file");

    RasterImage rgb(50, 50, 24);
    rgb.info.transparentIndex = 0;
    FailAfterStream again(60);
    EXPECT_FALSE(rgb.Encode(&again, RASTER_TYPE_PNG));
    EXPECT_EQ(rgb.AlphaPlane(), nullptr);
}

} // namespace
