// GIF and the JPEG-2000 family: file layouts, a small reference GIF decoder
// for the code streams, OpenJPEG for JP2 and JPC, and ImageMagick as an
// independent reader of every format.
#include <gtest/gtest.h>

#include <openjpeg.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "imagefile/raster_image.h"
#include "tests/imagefile/imagefile_test_util.h"

using namespace imagefile_test;
using Bytes = std::vector<std::uint8_t>;

namespace {

// ------------------------------------------------------------- ImageMagick

bool HaveImageMagick()
{
    static const bool present = std::system("command -v convert > /dev/null 2>&1") == 0;
    return present;
}

// Decodes `file` with ImageMagick's convert into raw 8-bit samples of
// `format` ("rgb" or "gray"), after `options`; empty on failure.
Bytes ImageMagickDecode(const Bytes& file, const char* coder, const char* options, const char* format)
{
    char path[] = "/tmp/imagefile_im_XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0)
        return {};
    const bool written = write(fd, file.data(), file.size()) == static_cast<ssize_t>(file.size());
    close(fd);
    Bytes out;
    if (written) {
        const std::string command = std::string("convert ") + coder + ":" + path + " " + options + " -depth 8 " +
                                    format + ":- 2>/dev/null";
        if (std::FILE* pipe = popen(command.c_str(), "r")) {
            std::uint8_t buffer[65536];
            std::size_t n;
            while ((n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0)
                out.insert(out.end(), buffer, buffer + n);
            if (pclose(pipe) != 0)
                out.clear();
        }
    }
    std::remove(path);
    return out;
}

// The picture's red, green, blue (or the grey palette index), top row first.
Bytes PictureRgb(const RasterImage& image)
{
    Bytes out;
    for (std::int64_t y = std::int64_t{image.Height()} - 1; y >= 0; --y)
        for (std::uint32_t x = 0; x < image.Width(); ++x) {
            const RasterColour c = image.ColourAt(x, y, false);
            out.insert(out.end(), {c.red, c.green, c.blue});
        }
    return out;
}

Bytes PictureIndices(const RasterImage& image)
{
    Bytes out;
    for (std::int64_t y = std::int64_t{image.Height()} - 1; y >= 0; --y)
        for (std::uint32_t x = 0; x < image.Width(); ++x)
            out.push_back(image.IndexAt(x, y));
    return out;
}

// Indices with long runs, short runs and noise, so that every path of the
// run-length writer and the LZW table is used.
void FillIndexPattern(RasterImage& image, int modulo, std::uint32_t seed)
{
    std::uint32_t state = seed;
    int run = 0;
    int index = 0;
    for (std::int64_t y = std::int64_t{image.Height()} - 1; y >= 0; --y)
        for (std::uint32_t x = 0; x < image.Width(); ++x) {
            if (run == 0) {
                state = state * 1103515245u + 12345u;
                const std::uint32_t r = state >> 16;
                index = static_cast<int>(r % static_cast<std::uint32_t>(modulo));
                run = (r & 0x300) == 0 ? static_cast<int>(r % 700) + 1 : static_cast<int>(r % 5) + 1;
            }
            image.PutIndex(x, y, static_cast<std::uint8_t>(index));
            --run;
        }
}

// ------------------------------------------------------- reference decoder

struct GifImage {
    int left = 0, top = 0, width = 0, height = 0;
    std::uint8_t packed = 0;
    Bytes localTable;
    int codeSize = 0;
    Bytes data;               // the sub-blocks joined
    std::size_t largestBlock = 0;
};

struct GifFile {
    bool ok = false;
    int width = 0, height = 0;
    std::uint8_t packed = 0;
    Bytes globalTable;
    std::vector<Bytes> controls;   // graphic-control block bodies (4 bytes)
    std::vector<GifImage> images;
};

GifFile ParseGif(const Bytes& f)
{
    GifFile gif;
    if (f.size() < 13 || std::memcmp(f.data(), "GIF89a", 6) != 0)
        return gif;
    gif.width = static_cast<int>(Le16(f, 6));
    gif.height = static_cast<int>(Le16(f, 8));
    gif.packed = f[10];
    std::size_t at = 13;
    if (gif.packed & 0x80) {
        const std::size_t n = 3u << ((gif.packed & 7) + 1);
        gif.globalTable.assign(f.begin() + 13, f.begin() + static_cast<std::ptrdiff_t>(13 + n));
        at += n;
    }
    auto subBlocks = [&](Bytes* into, std::size_t* largest) {
        while (at < f.size() && f[at] != 0) {
            const std::size_t n = f[at];
            if (largest && n > *largest)
                *largest = n;
            if (into)
                into->insert(into->end(), f.begin() + static_cast<std::ptrdiff_t>(at + 1),
                             f.begin() + static_cast<std::ptrdiff_t>(at + 1 + n));
            at += 1 + n;
        }
        ++at;
    };
    while (at < f.size()) {
        const std::uint8_t kind = f[at++];
        if (kind == 0x3B) {
            gif.ok = at == f.size();
            return gif;
        }
        if (kind == 0x21) {
            const std::uint8_t label = f[at++];
            Bytes body;
            subBlocks(&body, nullptr);
            if (label == 0xF9)
                gif.controls.push_back(body);
        } else if (kind == 0x2C) {
            GifImage image;
            image.left = static_cast<int>(Le16(f, at));
            image.top = static_cast<int>(Le16(f, at + 2));
            image.width = static_cast<int>(Le16(f, at + 4));
            image.height = static_cast<int>(Le16(f, at + 6));
            image.packed = f[at + 8];
            at += 9;
            if (image.packed & 0x80) {
                const std::size_t n = 3u << ((image.packed & 7) + 1);
                image.localTable.assign(f.begin() + static_cast<std::ptrdiff_t>(at),
                                        f.begin() + static_cast<std::ptrdiff_t>(at + n));
                at += n;
            }
            image.codeSize = f[at++];
            subBlocks(&image.data, &image.largestBlock);
            gif.images.push_back(image);
        } else {
            return gif;
        }
    }
    return gif;
}

// A plain GIF LZW decoder: the indices, and how many clear codes it met.
// Fails (returns false) on any code that is not in its table.
bool DecodeGifCodes(const GifImage& image, Bytes* indices, int* clears)
{
    const int clear = 1 << image.codeSize;
    const int end = clear + 1;
    std::vector<int> prefix(4096, -1);
    std::vector<std::uint8_t> suffix(4096, 0);
    std::vector<std::uint8_t> first(4096, 0);
    for (int i = 0; i < clear; ++i) {
        suffix[i] = static_cast<std::uint8_t>(i);
        first[i] = static_cast<std::uint8_t>(i);
    }
    int width = image.codeSize + 1;
    int next = clear + 2;
    int previous = -1;
    std::uint32_t bits = 0;
    int held = 0;
    std::size_t at = 0;
    *clears = 0;
    auto expand = [&](int code) {
        std::vector<std::uint8_t> out;
        for (int c = code; c >= 0; c = prefix[c])
            out.push_back(suffix[c]);
        indices->insert(indices->end(), out.rbegin(), out.rend());
    };
    for (;;) {
        while (held < width) {
            if (at >= image.data.size())
                return false;
            bits |= std::uint32_t{image.data[at++]} << held;
            held += 8;
        }
        const int code = static_cast<int>(bits & ((1u << width) - 1));
        bits >>= width;
        held -= width;
        if (code == clear) {
            ++*clears;
            width = image.codeSize + 1;
            next = clear + 2;
            previous = -1;
            continue;
        }
        if (code == end)
            return true;
        if (previous < 0) {
            if (code >= clear)
                return false;
            expand(code);
            previous = code;
            continue;
        }
        if (code > next || (code >= clear && code < clear + 2))
            return false;
        const bool known = code < next;
        if (next < 4096) {
            prefix[next] = previous;
            suffix[next] = known ? first[code] : first[previous];
            first[next] = first[previous];
            ++next;
        }
        expand(code);
        previous = code;
        if (next == (1 << width) && width < 12)
            ++width;
    }
}

// ------------------------------------------------------------------- GIF

TEST(GifEncoder, EightBitFileLayout)
{
    RasterImage image(5, 3, 8);
    for (int i = 0; i < 256; ++i)
        image.PutPaletteEntry(static_cast<std::uint8_t>(i), Bgr(i, 255 - i, i / 3));
    FillIndexPattern(image, 256, 7);
    const Bytes file = EncodeOk(image, RASTER_TYPE_GIF);
    ASSERT_GT(file.size(), 6u + 7u + 768u + 8u + 10u + 1u);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 13), (Bytes{'G', 'I', 'F', '8', '9', 'a', 5, 0, 3, 0, 0xE7, 0, 0}));
    EXPECT_EQ(file[13 + 3 * 7 + 0], 7 / 3);   // red, green, blue of entry 7
    EXPECT_EQ(file[13 + 3 * 7 + 1], 248);
    EXPECT_EQ(file[13 + 3 * 7 + 2], 7);
    const std::size_t gcb = 13 + 768;
    EXPECT_EQ(Bytes(file.begin() + gcb, file.begin() + gcb + 8), (Bytes{0x21, 0xF9, 4, 0, 0, 0, 0xFF, 0}));
    EXPECT_EQ(Bytes(file.begin() + gcb + 8, file.begin() + gcb + 19), (Bytes{0x2C, 0, 0, 0, 0, 5, 0, 3, 0, 0, 8}));
    EXPECT_EQ(file[file.size() - 2], 0);
    EXPECT_EQ(file.back(), 0x3B);

    const GifFile gif = ParseGif(file);
    ASSERT_TRUE(gif.ok);
    ASSERT_EQ(gif.images.size(), 1u);
    Bytes indices;
    int clears = 0;
    ASSERT_TRUE(DecodeGifCodes(gif.images[0], &indices, &clears));
    EXPECT_EQ(indices, PictureIndices(image));
}

TEST(GifEncoder, ScreenAndCodeSizeByDepthAndTransparency)
{
    struct Case {
        std::uint32_t bpp;
        std::uint8_t packed;
        int codeSize;
        std::size_t tableBytes;
    };
    for (const Case& c : {Case{1, 0x80, 2, 6}, Case{4, 0xE3, 4, 48}, Case{8, 0xE7, 8, 768}}) {
        RasterImage image(3, 2, c.bpp);
        image.info.transparentIndex = 5;
        image.info.frameDelay = 0x0102;
        const GifFile gif = ParseGif(EncodeOk(image, RASTER_TYPE_GIF));
        ASSERT_TRUE(gif.ok) << c.bpp;
        EXPECT_EQ(gif.packed, c.packed);
        EXPECT_EQ(gif.globalTable.size(), c.tableBytes);
        ASSERT_EQ(gif.controls.size(), 1u);
        EXPECT_EQ(gif.controls[0], (Bytes{1, 2, 1, 5}));
        ASSERT_EQ(gif.images.size(), 1u);
        EXPECT_EQ(gif.images[0].codeSize, c.codeSize);
        EXPECT_EQ(gif.images[0].packed, 0);
    }
}

TEST(GifEncoder, EveryWriterDecodesBackAtEveryDepth)
{
    for (std::uint32_t option : {0u, 1u, 2u}) {
        for (std::uint32_t bpp : {1u, 4u, 8u}) {
            SCOPED_TRACE(testing::Message() << "option " << option << " bpp " << bpp);
            // More than 4096 pixels: the tables fill and are cleared.
            RasterImage image(131, 97, bpp);
            FillIndexPattern(image, 1 << bpp, 11 + bpp + option);
            image.info.codecOptions = option;
            const GifFile gif = ParseGif(EncodeOk(image, RASTER_TYPE_GIF));
            ASSERT_TRUE(gif.ok);
            ASSERT_EQ(gif.images.size(), 1u);
            Bytes indices;
            int clears = 0;
            ASSERT_TRUE(DecodeGifCodes(gif.images[0], &indices, &clears));
            EXPECT_EQ(indices, PictureIndices(image));
            EXPECT_GE(clears, option == 2 ? 1 : 2);   // the first, and more where the table fills
            EXPECT_LE(gif.images[0].largestBlock, option == 0 ? 255u : 254u);
        }
    }
}

TEST(GifEncoder, LzwWriterRestartsItsTableWhenFull)
{
    RasterImage image(100, 100, 8);
    std::uint32_t state = 99;
    for (std::uint32_t y = 0; y < 100; ++y)
        for (std::uint32_t x = 0; x < 100; ++x) {
            state = state * 1103515245u + 12345u;
            image.PutIndex(x, y, static_cast<std::uint8_t>(state >> 20));
        }
    image.info.codecOptions = 2;
    const GifFile gif = ParseGif(EncodeOk(image, RASTER_TYPE_GIF));
    ASSERT_TRUE(gif.ok);
    Bytes indices;
    int clears = 0;
    ASSERT_TRUE(DecodeGifCodes(gif.images[0], &indices, &clears));
    EXPECT_EQ(indices, PictureIndices(image));
    EXPECT_GE(clears, 3);
    EXPECT_EQ(gif.images[0].largestBlock, 254u);
}

TEST(GifEncoder, RunLengthWriterOnLongRuns)
{
    struct Case {
        std::uint32_t width, height;
        int modulo;
    };
    for (const Case& c : {Case{300, 300, 1}, Case{517, 13, 2}, Case{1, 1, 1}, Case{64, 64, 256}}) {
        RasterImage image(c.width, c.height, 8);
        for (std::uint32_t y = 0; y < c.height; ++y)
            for (std::uint32_t x = 0; x < c.width; ++x)
                image.PutIndex(x, y, static_cast<std::uint8_t>((x / 37 + y / 5) % c.modulo));
        const GifFile gif = ParseGif(EncodeOk(image, RASTER_TYPE_GIF));
        ASSERT_TRUE(gif.ok);
        Bytes indices;
        int clears = 0;
        ASSERT_TRUE(DecodeGifCodes(gif.images[0], &indices, &clears)) << c.width;
        EXPECT_EQ(indices, PictureIndices(image)) << c.width;
    }
}

TEST(GifEncoder, RunLengthWriterOnRandomRunLengths)
{
    // Runs of random lengths from 1 to a few thousand, with repeats of the
    // same index (which reuse the run codes of the table) and changes.
    for (std::uint32_t seed = 1; seed <= 24; ++seed) {
        const std::uint32_t bpp = seed % 3 == 0 ? 1 : (seed % 3 == 1 ? 4 : 8);
        RasterImage image(61 + seed, 53, bpp);
        std::uint32_t state = seed * 7919;
        std::uint32_t left = 0;
        int index = 0;
        for (std::int64_t y = 52; y >= 0; --y)
            for (std::uint32_t x = 0; x < image.Width(); ++x) {
                if (left == 0) {
                    state = state * 1664525u + 1013904223u;
                    left = (state >> 8) % ((state & 1) ? 3000 : 40) + 1;
                    if (state & 6)
                        index = static_cast<int>((state >> 20) % (1u << bpp));
                }
                image.PutIndex(x, y, static_cast<std::uint8_t>(index));
                --left;
            }
        const GifFile gif = ParseGif(EncodeOk(image, RASTER_TYPE_GIF));
        ASSERT_TRUE(gif.ok);
        Bytes indices;
        int clears = 0;
        ASSERT_TRUE(DecodeGifCodes(gif.images[0], &indices, &clears)) << seed;
        ASSERT_EQ(indices, PictureIndices(image)) << seed;
    }
}

TEST(GifEncoder, TrueColourTilesCoverThePicture)
{
    RasterImage image(40, 20, 24);
    FillPattern24(image);
    const GifFile gif = ParseGif(EncodeOk(image, RASTER_TYPE_GIF));
    ASSERT_TRUE(gif.ok);
    EXPECT_EQ(gif.packed, 0x11);
    EXPECT_TRUE(gif.globalTable.empty());
    ASSERT_EQ(gif.images.size(), 6u);
    ASSERT_EQ(gif.controls.size(), 6u);
    const int want[6][4] = {{0, 0, 17, 15}, {17, 0, 17, 15}, {34, 0, 6, 15},
                            {0, 15, 17, 5}, {17, 15, 17, 5}, {34, 15, 6, 5}};
    for (int t = 0; t < 6; ++t) {
        const GifImage& tile = gif.images[t];
        EXPECT_EQ(tile.left, want[t][0]);
        EXPECT_EQ(tile.top, want[t][1]);
        EXPECT_EQ(tile.width, want[t][2]);
        EXPECT_EQ(tile.height, want[t][3]);
        EXPECT_EQ(tile.packed, 0x87);
        EXPECT_EQ(tile.codeSize, 8);
        EXPECT_EQ(gif.controls[t], (Bytes{0, 0, 0, 0xFF}));
        // Each tile pixel's local colour is the picture's colour there.
        Bytes indices;
        int clears = 0;
        ASSERT_TRUE(DecodeGifCodes(tile, &indices, &clears));
        ASSERT_EQ(indices.size(), static_cast<std::size_t>(tile.width * tile.height));
        for (int r = 0; r < tile.height; ++r)
            for (int c = 0; c < tile.width; ++c) {
                const std::uint8_t i = indices[static_cast<std::size_t>(r * tile.width + c)];
                const RasterColour p = image.ColourAt(tile.left + c, 19 - (tile.top + r), false);
                ASSERT_EQ((Bytes{tile.localTable[3 * i], tile.localTable[3 * i + 1], tile.localTable[3 * i + 2]}),
                          (Bytes{p.red, p.green, p.blue}))
                    << t << ": " << c << "," << r;
            }
    }
}

TEST(GifEncoder, TrueColourTileEntriesAndTransparency)
{
    RasterImage image(5, 4, 24);
    for (std::uint32_t y = 0; y < 4; ++y)
        for (std::uint32_t x = 0; x < 5; ++x) {
            std::uint8_t* p = image.RowAddress(y) + 3 * x;
            p[0] = 10;
            p[1] = 20;
            p[2] = 30;
        }
    GifFile gif = ParseGif(EncodeOk(image, RASTER_TYPE_GIF));
    ASSERT_EQ(gif.images.size(), 1u);
    Bytes indices;
    int clears = 0;
    ASSERT_TRUE(DecodeGifCodes(gif.images[0], &indices, &clears));
    EXPECT_EQ(indices, Bytes(20, 1));   // one colour: entry 1 everywhere

    std::uint8_t* p = image.RowAddress(0) + 3;
    p[0] = 1;
    p[1] = 2;
    p[2] = 3;
    image.info.transparentIndex = 0;
    image.info.transparentColour = Bgr(1, 2, 3);
    gif = ParseGif(EncodeOk(image, RASTER_TYPE_GIF));
    ASSERT_EQ(gif.controls.size(), 1u);
    EXPECT_EQ(gif.controls[0], (Bytes{1, 0, 0, 0}));
    EXPECT_EQ(Bytes(gif.images[0].localTable.begin(), gif.images[0].localTable.begin() + 3), (Bytes{3, 2, 1}));
    indices.clear();
    ASSERT_TRUE(DecodeGifCodes(gif.images[0], &indices, &clears));
    Bytes want(20, 1);
    want[3 * 5 + 1] = 0;   // bottom row, column 1: the transparent colour
    EXPECT_EQ(indices, want);
}

TEST(GifEncoder, ImageMagickReadsPalettesGreysAndTiles)
{
    if (!HaveImageMagick())
        GTEST_SKIP() << "ImageMagick's convert is not installed";
    for (std::uint32_t option : {0u, 2u}) {
        RasterImage palette(83, 61, 8);
        for (int i = 0; i < 256; ++i)
            palette.PutPaletteEntry(static_cast<std::uint8_t>(i), Bgr(i, (i * 7) & 255, 255 - i));
        FillIndexPattern(palette, 256, 5);
        palette.info.codecOptions = option;
        EXPECT_EQ(ImageMagickDecode(EncodeOk(palette, RASTER_TYPE_GIF), "gif", "", "rgb"), PictureRgb(palette))
            << option;
    }
    RasterImage grey(70, 45, 8);
    grey.MakeGreyRamp();
    FillIndexPattern(grey, 256, 9);
    EXPECT_EQ(ImageMagickDecode(EncodeOk(grey, RASTER_TYPE_GIF), "gif", "", "gray"), PictureIndices(grey));

    RasterImage one(29, 7, 1);
    one.PutPaletteEntry(1, Bgr(255, 255, 255));
    FillIndexPattern(one, 2, 3);
    EXPECT_EQ(ImageMagickDecode(EncodeOk(one, RASTER_TYPE_GIF), "gif", "", "rgb"), PictureRgb(one));

    for (auto [w, h] : {std::pair{40u, 20u}, std::pair{35u, 31u}, std::pair{1u, 1u}, std::pair{18u, 16u}}) {
        RasterImage colour(w, h, 24);
        FillPattern24(colour);
        EXPECT_EQ(ImageMagickDecode(EncodeOk(colour, RASTER_TYPE_GIF), "gif", "-flatten", "rgb"), PictureRgb(colour))
            << w << "x" << h;
    }
}

TEST(GifEncoder, RefusesSizesBeyondSixteenBits)
{
    RasterImage wide(65536, 1, 1);
    bool ok = true;
    EncodeToBytes(wide, RASTER_TYPE_GIF, &ok);
    EXPECT_FALSE(ok);
    EXPECT_STREQ(wide.LastError(), "Can't save this image as GIF");
}

// ----------------------------------------------------------- JPEG-2000

struct MemoryReader {
    const Bytes* data;
    std::size_t position;
};

OPJ_SIZE_T ReadMemory(void* buffer, OPJ_SIZE_T n, void* user)
{
    auto* r = static_cast<MemoryReader*>(user);
    if (r->position >= r->data->size())
        return static_cast<OPJ_SIZE_T>(-1);
    const std::size_t take = std::min<std::size_t>(n, r->data->size() - r->position);
    std::memcpy(buffer, r->data->data() + r->position, take);
    r->position += take;
    return take;
}

OPJ_OFF_T SkipMemory(OPJ_OFF_T n, void* user)
{
    auto* r = static_cast<MemoryReader*>(user);
    r->position += static_cast<std::size_t>(n);
    return n;
}

OPJ_BOOL SeekMemory(OPJ_OFF_T position, void* user)
{
    static_cast<MemoryReader*>(user)->position = static_cast<std::size_t>(position);
    return OPJ_TRUE;
}

struct DecodedJ2k {
    bool ok = false;
    int components = 0;
    std::uint32_t width = 0, height = 0;
    OPJ_COLOR_SPACE colourSpace = OPJ_CLRSPC_UNKNOWN;
    Bytes samples;   // interleaved, top row first
};

DecodedJ2k DecodeJ2k(const Bytes& file, bool jp2)
{
    DecodedJ2k out;
    MemoryReader reader{&file, 0};
    opj_stream_t* stream = opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_TRUE);
    opj_stream_set_user_data(stream, &reader, nullptr);
    opj_stream_set_user_data_length(stream, file.size());
    opj_stream_set_read_function(stream, ReadMemory);
    opj_stream_set_skip_function(stream, SkipMemory);
    opj_stream_set_seek_function(stream, SeekMemory);
    opj_codec_t* codec = opj_create_decompress(jp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K);
    opj_dparameters_t parameters;
    opj_set_default_decoder_parameters(&parameters);
    opj_image_t* image = nullptr;
    if (opj_setup_decoder(codec, &parameters) && opj_read_header(stream, codec, &image) &&
        opj_decode(codec, stream, image) && opj_end_decompress(codec, stream)) {
        out.ok = true;
        out.components = static_cast<int>(image->numcomps);
        out.width = image->comps[0].w;
        out.height = image->comps[0].h;
        out.colourSpace = image->color_space;
        for (std::uint32_t i = 0; i < out.width * out.height; ++i)
            for (int c = 0; c < out.components; ++c)
                out.samples.push_back(static_cast<std::uint8_t>(image->comps[c].data[i]));
    }
    if (image)
        opj_image_destroy(image);
    opj_destroy_codec(codec);
    opj_stream_destroy(stream);
    return out;
}

void FillSmooth(RasterImage& image)
{
    for (std::uint32_t y = 0; y < image.Height(); ++y)
        for (std::uint32_t x = 0; x < image.Width(); ++x) {
            std::uint8_t* p = image.RowAddress(y) + 3 * x;
            p[0] = static_cast<std::uint8_t>(40 + 3 * x + (x > 20 && y > 10 ? 90 : 0));
            p[1] = static_cast<std::uint8_t>(20 + 4 * y);
            p[2] = static_cast<std::uint8_t>(200 - x - y);
        }
}

TEST(Jpeg2000Encoder, LosslessAtQuality100FromOnePixelUp)
{
    for (std::uint32_t type : {std::uint32_t{RASTER_TYPE_JP2}, std::uint32_t{RASTER_TYPE_JPC}}) {
        for (auto [w, h] : {std::pair{1u, 1u}, std::pair{2u, 3u}, std::pair{17u, 5u}, std::pair{40u, 33u}}) {
            SCOPED_TRACE(testing::Message() << "type " << type << " " << w << "x" << h);
            RasterImage colour(w, h, 24);
            FillSmooth(colour);
            colour.info.quality = 100;
            DecodedJ2k decoded = DecodeJ2k(EncodeOk(colour, type), type == RASTER_TYPE_JP2);
            ASSERT_TRUE(decoded.ok);
            EXPECT_EQ(decoded.components, 3);
            EXPECT_EQ(decoded.width, w);
            EXPECT_EQ(decoded.height, h);
            if (type == RASTER_TYPE_JP2) {
                EXPECT_EQ(decoded.colourSpace, OPJ_CLRSPC_SRGB);
            }
            EXPECT_EQ(decoded.samples, PictureRgb(colour));

            RasterImage grey(w, h, 8);
            grey.MakeGreyRamp();
            FillIndexPattern(grey, 256, w * 7 + h);
            grey.info.quality = 100;
            decoded = DecodeJ2k(EncodeOk(grey, type), type == RASTER_TYPE_JP2);
            ASSERT_TRUE(decoded.ok);
            EXPECT_EQ(decoded.components, 1);
            EXPECT_EQ(decoded.samples, PictureIndices(grey));
        }
    }
}

TEST(Jpeg2000Encoder, RateFollowsQuality)
{
    RasterImage image(96, 80, 24);
    FillSmooth(image);
    image.info.quality = 100;
    const Bytes lossless = EncodeOk(image, RASTER_TYPE_JP2);
    image.info.quality = 90;   // the default: 0.9 of the uncompressed size at most
    const Bytes fine = EncodeOk(image, RASTER_TYPE_JP2);
    image.info.quality = 5;
    const Bytes coarse = EncodeOk(image, RASTER_TYPE_JP2);
    image.info.quality = 0;
    const Bytes smallest = EncodeOk(image, RASTER_TYPE_JP2);
    const std::size_t raw = 96u * 80u * 3u;
    EXPECT_LE(fine.size(), raw * 9 / 10 + 200);
    EXPECT_LT(coarse.size(), raw / 20 + 400);
    EXPECT_LT(coarse.size(), fine.size());
    EXPECT_LE(smallest.size(), coarse.size());
    const Bytes picture = PictureRgb(image);
    EXPECT_GT(Psnr(DecodeJ2k(fine, true).samples, picture), 40.0);
    EXPECT_GT(Psnr(DecodeJ2k(coarse, true).samples, picture), 22.0);
    EXPECT_LE(lossless.size(), raw + 400);
}

TEST(Jpeg2000Encoder, RefusesPalettesThatAreNotTheIdentityRamp)
{
    for (std::uint32_t type = RASTER_TYPE_JP2; type <= RASTER_TYPE_RAS; ++type) {
        RasterImage image(4, 4, 8);
        image.PutPaletteEntry(1, Bgr(9, 9, 9));
        bool ok = true;
        EXPECT_TRUE(EncodeToBytes(image, type, &ok).empty());
        EXPECT_FALSE(ok);
        EXPECT_STREQ(image.LastError(), "JasPer can save only RGB or GrayScale images") << type;
    }
    RasterImage colour(4, 4, 24);
    bool ok = true;
    EXPECT_TRUE(EncodeToBytes(colour, RASTER_TYPE_PGX, &ok).empty());
    EXPECT_FALSE(ok);
    EXPECT_STREQ(colour.LastError(), "PGX can save only GrayScale images");
}

TEST(Jpeg2000Encoder, UncompressedFilesByteForByte)
{
    RasterImage colour(3, 2, 24);
    FillPattern24(colour);
    // Top row (stored row 1): red, green, blue 11,18,1 19,18,17 27,18,33; then row 0.
    const Bytes rgbTop = {11, 18, 1, 19, 18, 17, 27, 18, 33};
    const Bytes rgbBottom = {3, 2, 1, 11, 2, 17, 19, 2, 33};
    Bytes want = {'P', '6', '\n', '3', ' ', '2', '\n', '2', '5', '5', '\n'};
    want.insert(want.end(), rgbTop.begin(), rgbTop.end());
    want.insert(want.end(), rgbBottom.begin(), rgbBottom.end());
    EXPECT_EQ(EncodeOk(colour, RASTER_TYPE_PNM), want);

    Bytes ras = {0x59, 0xA6, 0x6A, 0x95, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0, 24,
                 0, 0, 0, 20, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0};
    ras.insert(ras.end(), {1, 18, 11, 17, 18, 19, 33, 18, 27, 0, 1, 2, 3, 17, 2, 11, 33, 2, 19, 0});
    EXPECT_EQ(EncodeOk(colour, RASTER_TYPE_RAS), ras);

    RasterImage grey(3, 2, 8);
    grey.MakeGreyRamp();
    const std::uint8_t indices[6] = {10, 20, 30, 40, 50, 60};   // bottom row first
    for (int i = 0; i < 6; ++i)
        grey.PutIndex(i % 3, i / 3, indices[i]);
    const std::string pgx = "PG ML + 8 3 2\n";
    Bytes wantPgx(pgx.begin(), pgx.end());
    wantPgx.insert(wantPgx.end(), {40, 50, 60, 10, 20, 30});
    EXPECT_EQ(EncodeOk(grey, RASTER_TYPE_PGX), wantPgx);
    const std::string pgm = "P5\n3 2\n255\n";
    Bytes wantPgm(pgm.begin(), pgm.end());
    wantPgm.insert(wantPgm.end(), {40, 50, 60, 10, 20, 30});
    EXPECT_EQ(EncodeOk(grey, RASTER_TYPE_PNM), wantPgm);
    Bytes wantRas = {0x59, 0xA6, 0x6A, 0x95, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0, 8,
                     0, 0, 0, 8, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0};
    wantRas.insert(wantRas.end(), {40, 50, 60, 0, 10, 20, 30, 0});
    EXPECT_EQ(EncodeOk(grey, RASTER_TYPE_RAS), wantRas);
}

TEST(Jpeg2000Encoder, RowBufferAllocationFailure)
{
    RasterImage image(8, 8, 24);
    VectorStream stream;
    bool ok;
    {
        AllocFailure fail(0);
        ok = image.Encode(&stream, RASTER_TYPE_PNM);
    }
    EXPECT_FALSE(ok);
    EXPECT_STREQ(image.LastError(), "error : can't allocate memory");
}

TEST(Jpeg2000Encoder, ImageMagickReadsEveryFormat)
{
    if (!HaveImageMagick())
        GTEST_SKIP() << "ImageMagick's convert is not installed";
    RasterImage colour(23, 9, 24);
    FillSmooth(colour);
    colour.info.quality = 100;
    RasterImage grey(23, 9, 8);
    grey.MakeGreyRamp();
    FillIndexPattern(grey, 256, 4);
    grey.info.quality = 100;
    EXPECT_EQ(ImageMagickDecode(EncodeOk(colour, RASTER_TYPE_PNM), "pnm", "", "rgb"), PictureRgb(colour));
    EXPECT_EQ(ImageMagickDecode(EncodeOk(colour, RASTER_TYPE_RAS), "sun", "", "rgb"), PictureRgb(colour));
    EXPECT_EQ(ImageMagickDecode(EncodeOk(colour, RASTER_TYPE_JP2), "jp2", "", "rgb"), PictureRgb(colour));
    EXPECT_EQ(ImageMagickDecode(EncodeOk(colour, RASTER_TYPE_JPC), "j2k", "", "rgb"), PictureRgb(colour));
    EXPECT_EQ(ImageMagickDecode(EncodeOk(grey, RASTER_TYPE_PNM), "pnm", "", "gray"), PictureIndices(grey));
    EXPECT_EQ(ImageMagickDecode(EncodeOk(grey, RASTER_TYPE_RAS), "sun", "", "gray"), PictureIndices(grey));
    EXPECT_EQ(ImageMagickDecode(EncodeOk(grey, RASTER_TYPE_PGX), "pgx", "", "gray"), PictureIndices(grey));
}

} // namespace
