// Choosing the coder, argument checks, error texts, and saving to files,
// including streams and devices whose writes fail.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "imagefile/raster_image.h"
#include "tests/imagefile/imagefile_test_util.h"
#include "tests/support/file_size_limit.h"

using namespace imagefile_test;
using Bytes = std::vector<std::uint8_t>;

namespace {

// The formats this build writes, with an image each of them accepts.
struct Format {
    std::uint32_t type;
    std::uint32_t bpp;
    const char* writeFailure;   // text when the bytes do not reach the stream
};
const Format kFormats[] = {
    {RASTER_TYPE_BMP, 24, "Error saving BMP file"},
    {RASTER_TYPE_JPEG, 24, "Output file write error --- out of disk space?"},
    {RASTER_TYPE_PNG, 24, "Error saving PNG file"},
    {RASTER_TYPE_ICO, 24, "Error saving ICO file"},
    {RASTER_TYPE_TIFF, 24, "Error saving TIFF file"},
    {RASTER_TYPE_TGA, 24, "Error saving TGA file"},
    {RASTER_TYPE_PCX, 24, "Error saving PCX file"},
    {RASTER_TYPE_WBMP, 1, "Error saving WBMP file"},
    {RASTER_TYPE_GIF, 24, "Write Error in GIF file"},
    {RASTER_TYPE_GIF, 8, "Write Error in GIF file"},
    {RASTER_TYPE_JP2, 24, "error: cannot encode image\n"},
    {RASTER_TYPE_JPC, 8, "error: cannot encode image\n"},
    {RASTER_TYPE_PGX, 8, "error: cannot encode image\n"},
    {RASTER_TYPE_PNM, 24, "error: cannot encode image\n"},
    {RASTER_TYPE_RAS, 24, "error: cannot encode image\n"},
};

// Noise in the pixel bytes; 8-bit images get the identity grey ramp, which
// every format accepts.
void FillNoise(RasterImage& image)
{
    if (image.Bpp() == 8)
        image.MakeGreyRamp();
    std::uint32_t state = 12345;
    for (std::uint32_t y = 0; y < image.Height(); ++y) {
        std::uint8_t* row = image.RowAddress(y);
        for (std::uint32_t i = 0; i < (image.Width() * image.Bpp() + 7) / 8; ++i) {
            state = state * 1103515245u + 12345u;
            row[i] = static_cast<std::uint8_t>(state >> 16);
        }
    }
}

TEST(RasterEncode, UnknownFormatsEvenWithoutStream)
{
    RasterImage image(2, 2, 24);
    RasterMemoryStream stream;
    for (std::uint32_t type : {0u, 16u, 1000u, 0xFFFFFFFFu}) {
        image.SetLastError("");
        EXPECT_FALSE(image.Encode(nullptr, type));
        EXPECT_STREQ(image.LastError(), "Encode: Unknown format");
        image.SetLastError("");
        EXPECT_FALSE(image.Encode(&stream, type));
        EXPECT_STREQ(image.LastError(), "Encode: Unknown format");
        image.SetLastError("");
        EXPECT_FALSE(image.EncodeToFile(nullptr, type));
        EXPECT_STREQ(image.LastError(), "Encode: Unknown format");
    }
    EXPECT_EQ(stream.Size(), 0);
}

TEST(RasterEncode, NullStreamAndEmptyImage)
{
    for (const Format& f : kFormats) {
        SCOPED_TRACE(f.type);
        RasterImage image(2, 2, f.bpp);
        EXPECT_FALSE(image.Encode(nullptr, f.type));
        EXPECT_STREQ(image.LastError(), "null file handler");

        image.SetLastError("");
        EXPECT_FALSE(image.EncodeToFile(nullptr, f.type));
        EXPECT_STREQ(image.LastError(), "null file handler");

        RasterImage empty;
        RasterMemoryStream stream;
        EXPECT_FALSE(empty.Encode(&stream, f.type));
        EXPECT_STREQ(empty.LastError(), "null image!!!");
        EXPECT_EQ(stream.Size(), 0);
    }
}

TEST(RasterEncode, WmfIsRefused)
{
    RasterImage image(2, 2, 24);
    RasterMemoryStream stream;
    EXPECT_FALSE(image.Encode(&stream, RASTER_TYPE_WMF));
    EXPECT_STREQ(image.LastError(), "Save WMF not supported");
    EXPECT_EQ(stream.Size(), 0);
    image.SetLastError("earlier");
    EXPECT_FALSE(image.Encode(nullptr, RASTER_TYPE_WMF));
    EXPECT_STREQ(image.LastError(), "earlier");
    RasterImage empty;
    EXPECT_FALSE(empty.Encode(&stream, RASTER_TYPE_WMF));
    EXPECT_STREQ(empty.LastError(), "Save WMF not supported");
    EXPECT_FALSE(image.EncodeToFile(nullptr, RASTER_TYPE_WMF));
    EXPECT_STREQ(image.LastError(), "null file handler");
}

TEST(RasterEncode, SuccessKeepsTheTextAndThePicture)
{
    for (const Format& f : kFormats) {
        SCOPED_TRACE(f.type);
        RasterImage image(9, 5, f.bpp);
        FillNoise(image);
        image.SetLastError("from before");
        const Bytes before = DibSnapshot(image);
        bool ok = false;
        const Bytes file = EncodeToBytes(image, f.type, &ok);
        EXPECT_TRUE(ok);
        EXPECT_FALSE(file.empty());
        EXPECT_STREQ(image.LastError(), "from before");
        EXPECT_EQ(DibSnapshot(image), before);
        EXPECT_EQ(image.info.typeId, 0u);
    }
}

TEST(RasterEncode, ZeroSizedImagesNeverCrash)
{
    for (const Format& f : kFormats) {
        for (auto [w, h] : {std::pair{0u, 0u}, std::pair{0u, 3u}, std::pair{3u, 0u}}) {
            RasterImage image(w, h, f.bpp);
            ASSERT_TRUE(image.IsValid());
            FillNoise(image);
            RasterMemoryStream stream;
            image.Encode(&stream, f.type);   // success or failure, but no fault
        }
    }
}

TEST(RasterEncode, StreamThatFailsAfterSomeBytes)
{
    for (const Format& f : kFormats) {
        RasterImage image(200, 150, f.bpp);
        FillNoise(image);
        for (std::int64_t limit : {0, 1, 17, 100, 1000}) {
            SCOPED_TRACE(testing::Message() << "type " << f.type << " limit " << limit);
            FailAfterStream stream(limit);
            image.SetLastError("");
            EXPECT_FALSE(image.Encode(&stream, f.type));
            std::string want = f.writeFailure;
            if (f.type == RASTER_TYPE_PCX && limit < 128)
                want = "cannot write PCX header";
            if (f.type == RASTER_TYPE_TIFF && limit < 8)
                want = "initialization fail";
            EXPECT_EQ(std::string(image.LastError()), want);
        }
    }
}

TEST(RasterEncode, AllocationFailuresInsideEncoders)
{
    // PCX codes into a memory stream and PNG and TIFF allocate rows: each
    // failure ends in a failed encoding, never in a truncated success.
    const std::pair<std::uint32_t, const char*> cases[] = {
        {RASTER_TYPE_PCX, "Error saving PCX file"},
        {RASTER_TYPE_PNG, "Error saving PNG file"},
        {RASTER_TYPE_TIFF, "Error saving TIFF file"},
    };
    for (const auto& [type, text] : cases) {
        RasterImage image(64, 64, 24);
        FillNoise(image);
        VectorStream stream;
        bool ok;
        {
            AllocFailure fail(0);
            ok = image.Encode(&stream, type);
        }
        EXPECT_FALSE(ok) << type;
        EXPECT_STREQ(image.LastError(), text) << type;
    }
}

using RasterSave = TempDir;

TEST_F(RasterSave, WritesTheSameBytesAsTheStream)
{
    for (const Format& f : kFormats) {
        RasterImage image(21, 13, f.bpp);
        FillNoise(image);
        const Bytes expected = EncodeToBytes(image, f.type);
        const std::string path = Path(("out" + std::to_string(f.type)).c_str());
        ASSERT_TRUE(image.Save(path.c_str(), f.type)) << f.type;
        std::FILE* file = std::fopen(path.c_str(), "rb");
        ASSERT_NE(file, nullptr);
        Bytes written(expected.size() + 16);
        written.resize(std::fread(written.data(), 1, written.size(), file));
        std::fclose(file);
        EXPECT_EQ(written, expected) << f.type;
    }
}

TEST_F(RasterSave, PathsThatCannotBeOpenedLeaveTheTextAlone)
{
    RasterImage image(4, 4, 24);
    image.SetLastError("untouched");
    const std::string missing = dir_ + "/no/such/dir/out.bmp";
    EXPECT_FALSE(image.Save(missing.c_str(), RASTER_TYPE_BMP));
    EXPECT_STREQ(image.LastError(), "untouched");
    EXPECT_FALSE(image.Save(dir_.c_str(), RASTER_TYPE_BMP));   // a directory is not a file
    EXPECT_STREQ(image.LastError(), "untouched");
    EXPECT_FALSE(image.Save(nullptr, RASTER_TYPE_BMP));
    EXPECT_STREQ(image.LastError(), "untouched");
}

using testsupport::FileSizeLimit;

// A save that fails part-way (the device takes only the first k bytes) or
// that the encoder refuses leaves the file it would have replaced byte for
// byte as it was, and no other file behind; a save that succeeds replaces it.
TEST_F(RasterSave, AFailedSaveLeavesTheExistingFileAsItWas)
{
    Bytes older(3000);
    for (std::size_t i = 0; i < older.size(); ++i)
        older[i] = static_cast<std::uint8_t>(i * 7 + 3);
    for (const Format& f : kFormats) {
        SCOPED_TRACE(testing::Message() << "type " << f.type);
        const std::string path = Path(("picture" + std::to_string(f.type) + "_" + std::to_string(f.bpp)).c_str());
        std::FILE* file = std::fopen(path.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        ASSERT_EQ(std::fwrite(older.data(), 1, older.size(), file), older.size());
        ASSERT_EQ(std::fclose(file), 0);
        chmod(path.c_str(), 0640);

        RasterImage image(200, 150, f.bpp);
        FillNoise(image);
        const Bytes encoded = EncodeToBytes(image, f.type);
        ASSERT_GT(encoded.size(), 200u);
        for (rlim_t k : {rlim_t(0), rlim_t(100), rlim_t(encoded.size() / 2)}) {
            FileSizeLimit limit(k);
            ASSERT_TRUE(limit.Active());
            EXPECT_FALSE(image.Save(path.c_str(), f.type)) << "k " << k;
        }
        // Refused before a byte is encoded: a format the library does not
        // write, and one it does not know.
        EXPECT_FALSE(image.Save(path.c_str(), RASTER_TYPE_WMF));
        EXPECT_FALSE(image.Save(path.c_str(), 99));
        EXPECT_EQ(ReadFile(path), older);
        EXPECT_EQ(FolderEntries(dir_).size(), files_.size());

        ASSERT_TRUE(image.Save(path.c_str(), f.type)) << image.LastError();
        EXPECT_EQ(ReadFile(path), encoded);
        struct stat st;
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0640u);  // the replaced file's permissions
        EXPECT_EQ(FolderEntries(dir_).size(), files_.size());
    }
}

TEST(RasterSaveDevice, FullDiskIsNeverASuccess)
{
    std::FILE* probe = std::fopen("/dev/full", "wb");
    if (!probe)
        GTEST_SKIP() << "/dev/full is not available";
    std::fclose(probe);
    for (const Format& f : kFormats) {
        // A small picture (bytes still buffered at the end) and a large one.
        for (std::uint32_t size : {4u, 200u}) {
            SCOPED_TRACE(testing::Message() << "type " << f.type << " size " << size);
            RasterImage image(size, size, f.bpp);
            FillNoise(image);
            image.SetLastError("");
            EXPECT_FALSE(image.Save("/dev/full", f.type));
            EXPECT_STRNE(image.LastError(), "");
        }
    }
}

TEST(RasterSaveDevice, EncodeToFileFlushesTheCallersFile)
{
    std::FILE* file = std::fopen("/dev/full", "wb");
    if (!file)
        GTEST_SKIP() << "/dev/full is not available";
    RasterImage image(4, 4, 24);
    EXPECT_FALSE(image.EncodeToFile(file, RASTER_TYPE_BMP));
    EXPECT_STREQ(image.LastError(), "Error saving BMP file");
    std::fclose(file);
}

} // namespace
