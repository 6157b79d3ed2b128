// TIFF files read back through libtiff (over the same stream procedures).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "imagefile/raster_coders.h"
#include "imagefile/raster_image.h"
#include "imagefile/tiff_stream.h"
#include "tests/imagefile/imagefile_test_util.h"

using namespace imagefile_test;
using Bytes = std::vector<std::uint8_t>;

namespace {

struct DecodedTiff {
    bool ok = false;
    std::uint32_t width = 0, height = 0, rowsPerStrip = 0;
    std::uint16_t samples = 0, bitsPerSample = 0, photometric = 0, compression = 0, predictor = 0;
    std::uint16_t orientation = 0, resolutionUnit = 0, subfileType = 0;
    float xResolution = 0, yResolution = 0;
    std::vector<std::uint16_t> extraSamples;
    std::vector<std::uint16_t> red, green, blue;   // colour map
    Bytes rows;                                     // scanlines, top row first
    std::size_t scanlineBytes = 0;
    int directories = 0;
};

DecodedTiff DecodeTiff(const Bytes& file)
{
    DecodedTiff out;
    RasterMemoryStream stream(const_cast<std::uint8_t*>(file.data()), static_cast<std::int64_t>(file.size()), false);
    TIFF* tif = RasterTiffOpenStream(&stream, "r");
    if (!tif)
        return out;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &out.width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &out.height);
    TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &out.samples);
    TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &out.bitsPerSample);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &out.photometric);
    TIFFGetField(tif, TIFFTAG_COMPRESSION, &out.compression);
    TIFFGetField(tif, TIFFTAG_PREDICTOR, &out.predictor);
    TIFFGetField(tif, TIFFTAG_ROWSPERSTRIP, &out.rowsPerStrip);
    TIFFGetField(tif, TIFFTAG_ORIENTATION, &out.orientation);
    TIFFGetField(tif, TIFFTAG_RESOLUTIONUNIT, &out.resolutionUnit);
    TIFFGetField(tif, TIFFTAG_XRESOLUTION, &out.xResolution);
    TIFFGetField(tif, TIFFTAG_YRESOLUTION, &out.yResolution);
    TIFFGetField(tif, TIFFTAG_SUBFILETYPE, &out.subfileType);
    std::uint16_t extraCount = 0;
    std::uint16_t* extra = nullptr;
    if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extra) && extra)
        out.extraSamples.assign(extra, extra + extraCount);
    std::uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
    if (out.photometric == PHOTOMETRIC_PALETTE && TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue)) {
        const std::size_t n = std::size_t{1} << out.bitsPerSample;
        out.red.assign(red, red + n);
        out.green.assign(green, green + n);
        out.blue.assign(blue, blue + n);
    }
    out.scanlineBytes = static_cast<std::size_t>(TIFFScanlineSize(tif));
    out.rows.resize(out.scanlineBytes * out.height);
    out.ok = true;
    for (std::uint32_t r = 0; r < out.height; ++r)
        if (TIFFReadScanline(tif, out.rows.data() + r * out.scanlineBytes, r, 0) < 0)
            out.ok = false;
    do {
        ++out.directories;
    } while (TIFFReadDirectory(tif));
    TIFFClose(tif);
    return out;
}

Bytes EncodeTiff(RasterImage& image)
{
    bool ok = false;
    Bytes file = EncodeToBytes(image, RASTER_TYPE_TIFF, &ok);
    EXPECT_TRUE(ok) << image.LastError();
    return file;
}

// Stored rows of the image, top first, with `bytes` bytes of each.
Bytes StoredRowsTopDown(const RasterImage& image, std::size_t bytes)
{
    Bytes out;
    for (std::int64_t y = std::int64_t{image.Height()} - 1; y >= 0; --y) {
        const std::uint8_t* row = image.RowAddress(static_cast<std::uint32_t>(y));
        out.insert(out.end(), row, row + bytes);
    }
    return out;
}

// Red, green, blue (and alpha) of the picture, top row first.
Bytes RgbTopDown(const RasterImage& image, bool withAlpha)
{
    Bytes out;
    for (std::int64_t y = std::int64_t{image.Height()} - 1; y >= 0; --y)
        for (std::uint32_t x = 0; x < image.Width(); ++x) {
            const RasterColour c = image.ColourAt(x, y, false);
            out.insert(out.end(), {c.red, c.green, c.blue});
            if (withAlpha)
                out.push_back(image.AlphaAt(x, y));
        }
    return out;
}

void FillSmooth(RasterImage& image)
{
    for (std::uint32_t y = 0; y < image.Height(); ++y) {
        std::uint8_t* row = image.RowAddress(y);
        for (std::uint32_t x = 0; x < image.Width(); ++x) {
            const bool corner = x < image.Width() / 3 && y > image.Height() / 2;
            row[3 * x + 0] = static_cast<std::uint8_t>(corner ? 230 : 30 + x * 3);
            row[3 * x + 1] = static_cast<std::uint8_t>(50 + y * 2);
            row[3 * x + 2] = static_cast<std::uint8_t>(corner ? 20 : 180 - x);
        }
    }
}

void FillIndices(RasterImage& image, int modulo)
{
    for (std::uint32_t y = 0; y < image.Height(); ++y)
        for (std::uint32_t x = 0; x < image.Width(); ++x)
            image.PutIndex(x, y, static_cast<std::uint8_t>((x * 7 + y * 3 + (x / 5)) % modulo));
}

TEST(TiffEncoder, TrueColourDefaultsToJpegTopRowFirst)
{
    RasterImage image(45, 37, 24);
    FillSmooth(image);
    image.info.quality = 95;
    const DecodedTiff tiff = DecodeTiff(EncodeTiff(image));
    ASSERT_TRUE(tiff.ok);
    EXPECT_EQ(tiff.width, 45u);
    EXPECT_EQ(tiff.height, 37u);
    EXPECT_EQ(tiff.samples, 3);
    EXPECT_EQ(tiff.bitsPerSample, 8);
    EXPECT_EQ(tiff.photometric, PHOTOMETRIC_RGB);
    EXPECT_EQ(tiff.compression, COMPRESSION_JPEG);
    EXPECT_EQ(tiff.rowsPerStrip % 8, 0u);
    EXPECT_EQ(tiff.orientation, ORIENTATION_TOPLEFT);
    EXPECT_EQ(tiff.resolutionUnit, RESUNIT_INCH);
    EXPECT_FLOAT_EQ(tiff.xResolution, 96.0f);
    EXPECT_FLOAT_EQ(tiff.yResolution, 96.0f);
    EXPECT_EQ(tiff.subfileType, 0);
    EXPECT_EQ(tiff.directories, 1);
    EXPECT_GT(Psnr(tiff.rows, RgbTopDown(image, false)), 36.0);

    image.info.dpiX = 300;
    image.info.dpiY = 72;
    const DecodedTiff dense = DecodeTiff(EncodeTiff(image));
    EXPECT_FLOAT_EQ(dense.xResolution, 300.0f);
    EXPECT_FLOAT_EQ(dense.yResolution, 72.0f);
}

TEST(TiffEncoder, LosslessCompressionsOfTrueColour)
{
    for (std::uint32_t compression : {COMPRESSION_NONE, COMPRESSION_LZW, COMPRESSION_ADOBE_DEFLATE,
                                      COMPRESSION_PACKBITS}) {
        SCOPED_TRACE(compression);
        RasterImage image(31, 17, 24);
        FillSmooth(image);
        image.info.codecOptions = compression;
        const Bytes before = DibSnapshot(image);
        const DecodedTiff tiff = DecodeTiff(EncodeTiff(image));
        ASSERT_TRUE(tiff.ok);
        EXPECT_EQ(tiff.compression, compression);
        EXPECT_EQ(tiff.predictor == PREDICTOR_HORIZONTAL, compression == COMPRESSION_LZW);
        EXPECT_EQ(tiff.rows, RgbTopDown(image, false));
        EXPECT_EQ(DibSnapshot(image), before);   // the predictor works on a copy
    }
}

TEST(TiffEncoder, AlphaPlaneGivesFourSamplesWithExtraSamplesTag)
{
    for (std::uint32_t compression : {0u, static_cast<std::uint32_t>(COMPRESSION_LZW)}) {
        SCOPED_TRACE(compression);
        RasterImage image(24, 16, 24);
        FillSmooth(image);
        ASSERT_TRUE(image.AllocAlpha());
        for (std::uint32_t y = 0; y < 16; ++y)
            for (std::uint32_t x = 0; x < 24; ++x)
                image.PutAlpha(x, y, static_cast<std::uint8_t>(255 - x * 4));
        image.info.alphaMax = 10;   // not applied to TIFF
        image.info.codecOptions = compression;
        image.info.quality = 95;
        const DecodedTiff tiff = DecodeTiff(EncodeTiff(image));
        ASSERT_TRUE(tiff.ok);
        EXPECT_EQ(tiff.samples, 4);
        EXPECT_EQ(tiff.bitsPerSample, 8);
        EXPECT_EQ(tiff.photometric, PHOTOMETRIC_RGB);
        EXPECT_EQ(tiff.extraSamples, std::vector<std::uint16_t>{EXTRASAMPLE_UNASSALPHA});
        if (compression == 0) {
            EXPECT_EQ(tiff.compression, COMPRESSION_JPEG);
            EXPECT_GT(Psnr(tiff.rows, RgbTopDown(image, true)), 36.0);
        } else {
            EXPECT_EQ(tiff.rows, RgbTopDown(image, true));
        }
    }
}

TEST(TiffEncoder, EightBitGreyAndPalette)
{
    RasterImage grey(33, 9, 8);
    grey.MakeGreyRamp();
    FillIndices(grey, 256);
    DecodedTiff tiff = DecodeTiff(EncodeTiff(grey));
    ASSERT_TRUE(tiff.ok);
    EXPECT_EQ(tiff.photometric, PHOTOMETRIC_MINISBLACK);
    EXPECT_EQ(tiff.compression, COMPRESSION_PACKBITS);
    EXPECT_EQ(tiff.samples, 1);
    EXPECT_TRUE(tiff.red.empty());
    EXPECT_EQ(tiff.rows, StoredRowsTopDown(grey, 33));

    RasterImage palette(33, 9, 8);
    for (int i = 0; i < 256; ++i)
        palette.PutPaletteEntry(static_cast<std::uint8_t>(i), Bgr(i, 255 - i, i / 2));
    FillIndices(palette, 200);
    tiff = DecodeTiff(EncodeTiff(palette));
    ASSERT_TRUE(tiff.ok);
    EXPECT_EQ(tiff.photometric, PHOTOMETRIC_PALETTE);
    EXPECT_EQ(tiff.compression, COMPRESSION_PACKBITS);
    ASSERT_EQ(tiff.red.size(), 256u);
    EXPECT_EQ(tiff.red[10], (10 / 2) * 257);
    EXPECT_EQ(tiff.green[10], 245 * 257);
    EXPECT_EQ(tiff.blue[255], 255 * 257);
    EXPECT_EQ(tiff.rows, StoredRowsTopDown(palette, 33));
}

TEST(TiffEncoder, EightBitLzwUsesThePredictorOnACopy)
{
    RasterImage image(40, 12, 8);
    image.MakeGreyRamp();
    FillIndices(image, 256);
    image.info.codecOptions = COMPRESSION_LZW;
    const Bytes before = DibSnapshot(image);
    const DecodedTiff tiff = DecodeTiff(EncodeTiff(image));
    ASSERT_TRUE(tiff.ok);
    EXPECT_EQ(tiff.compression, COMPRESSION_LZW);
    EXPECT_EQ(tiff.predictor, PREDICTOR_HORIZONTAL);
    EXPECT_EQ(tiff.rows, StoredRowsTopDown(image, 40));
    EXPECT_EQ(DibSnapshot(image), before);
}

TEST(TiffEncoder, FourBitImages)
{
    for (std::uint32_t compression : {0u, static_cast<std::uint32_t>(COMPRESSION_LZW)}) {
        SCOPED_TRACE(compression);
        RasterImage image(21, 5, 4);
        image.MakeGreyRamp();
        FillIndices(image, 16);
        image.info.codecOptions = compression;
        const DecodedTiff tiff = DecodeTiff(EncodeTiff(image));
        ASSERT_TRUE(tiff.ok);
        EXPECT_EQ(tiff.compression, compression ? COMPRESSION_LZW : COMPRESSION_NONE);
        EXPECT_NE(tiff.predictor, PREDICTOR_HORIZONTAL);
        EXPECT_EQ(tiff.bitsPerSample, 4);
        EXPECT_EQ(tiff.photometric, PHOTOMETRIC_PALETTE);   // 17, 34, ...: not the identity
        EXPECT_EQ(tiff.rows, StoredRowsTopDown(image, 11));
    }
}

TEST(TiffEncoder, OneBitIsWrittenWhiteIsZeroWithGroup4)
{
    RasterImage image(37, 11, 1);
    image.PutPaletteEntry(0, Bgr(0, 0, 0));
    image.PutPaletteEntry(1, Bgr(255, 255, 255));
    FillIndices(image, 2);
    Bytes picture;
    for (std::uint32_t y = 0; y < 11; ++y)
        for (std::uint32_t x = 0; x < 37; ++x)
            picture.push_back(image.ColourAt(x, y, false).red);

    const DecodedTiff tiff = DecodeTiff(EncodeTiff(image));
    ASSERT_TRUE(tiff.ok);
    EXPECT_EQ(tiff.photometric, PHOTOMETRIC_MINISWHITE);
    EXPECT_EQ(tiff.compression, COMPRESSION_CCITTFAX4);
    // The caller's image now has white at index 0 and inverted bits, showing
    // the same picture, with zero padding.
    EXPECT_EQ(image.PaletteEntry(0), Bgr(255, 255, 255));
    EXPECT_EQ(image.PaletteEntry(1), Bgr(0, 0, 0));
    Bytes after;
    for (std::uint32_t y = 0; y < 11; ++y)
        for (std::uint32_t x = 0; x < 37; ++x)
            after.push_back(image.ColourAt(x, y, false).red);
    EXPECT_EQ(after, picture);
    for (std::uint32_t y = 0; y < 11; ++y) {
        EXPECT_EQ(image.RowAddress(y)[4] & 0x07, 0);   // bits after the 37th pixel
        for (std::uint32_t i = 5; i < image.info.rowBytes; ++i)
            EXPECT_EQ(image.RowAddress(y)[i], 0);
    }
    // The file's bits are the image's bits (1 = black); compare the pixels.
    const Bytes stored = StoredRowsTopDown(image, 5);
    for (std::uint32_t r = 0; r < 11; ++r)
        for (std::uint32_t x = 0; x < 37; ++x) {
            const int fileBit = (tiff.rows[r * tiff.scanlineBytes + x / 8] >> (7 - x % 8)) & 1;
            const int imageBit = (stored[r * 5 + x / 8] >> (7 - x % 8)) & 1;
            ASSERT_EQ(fileBit, imageBit) << x << "," << r;
        }

    // A second encoding finds white first already and changes nothing.
    const Bytes before = DibSnapshot(image);
    EncodeTiff(image);
    EXPECT_EQ(DibSnapshot(image), before);
}

TEST(TiffEncoder, IndexAndAlphaPairs)
{
    RasterImage image(9, 4, 8);
    image.MakeGreyRamp();
    FillIndices(image, 256);
    ASSERT_TRUE(image.AllocAlpha());
    for (std::uint32_t y = 0; y < 4; ++y)
        for (std::uint32_t x = 0; x < 9; ++x)
            image.PutAlpha(x, y, static_cast<std::uint8_t>(x * 20 + y));
    const DecodedTiff tiff = DecodeTiff(EncodeTiff(image));
    ASSERT_TRUE(tiff.ok);
    EXPECT_EQ(tiff.samples, 2);
    EXPECT_EQ(tiff.bitsPerSample, 8);
    EXPECT_EQ(tiff.extraSamples, std::vector<std::uint16_t>{EXTRASAMPLE_UNASSALPHA});
    Bytes want;
    for (std::int64_t y = 3; y >= 0; --y)
        for (std::uint32_t x = 0; x < 9; ++x)
            want.insert(want.end(), {image.IndexAt(x, y), image.AlphaAt(x, y)});
    EXPECT_EQ(tiff.rows, want);
}

TEST(TiffEncoder, AppendedPagesAreNumbered)
{
    RasterImage image(8, 8, 24);
    FillSmooth(image);
    image.info.codecOptions = COMPRESSION_NONE;
    RasterMemoryStream stream;
    RasterImageTiff coder;
    coder.ShareBuffersOf(&image);
    ASSERT_TRUE(coder.Encode(&stream, true));
    ASSERT_TRUE(coder.Encode(&stream, true));
    ASSERT_TRUE(coder.Encode(&stream, false));
    const DecodedTiff tiff = DecodeTiff(StreamBytes(stream));
    ASSERT_TRUE(tiff.ok);
    EXPECT_EQ(tiff.directories, 3);
    EXPECT_EQ(tiff.subfileType, FILETYPE_PAGE);
}

} // namespace
