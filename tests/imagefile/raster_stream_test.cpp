// Byte streams over memory and over C files.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "imagefile/raster_stream.h"
#include "tests/imagefile/imagefile_test_util.h"

using namespace imagefile_test;

namespace {

TEST(RasterMemoryStream, GrowsInSteps)
{
    RasterMemoryStream one;
    EXPECT_EQ(one.Capacity(), 0);
    EXPECT_TRUE(one.PutC(7));
    EXPECT_EQ(one.Capacity(), 4096);
    std::vector<std::uint8_t> bytes(10000, 3);
    EXPECT_EQ(one.Write(bytes.data(), 1, 4095), 4095u);
    EXPECT_EQ(one.Capacity(), 4096);   // fits: nothing allocated
    EXPECT_EQ(one.Write(bytes.data(), 1, 1), 1u);
    EXPECT_EQ(one.Capacity(), 8192);
    EXPECT_EQ(one.Size(), 4097);

    RasterMemoryStream big;
    EXPECT_EQ(big.Write(bytes.data(), 4, 2500), 2500u);
    EXPECT_EQ(big.Capacity(), 12288);
    EXPECT_EQ(big.Size(), 10000);
    EXPECT_EQ(big.Tell(), 10000);
    EXPECT_EQ(big.Write(bytes.data(), 0, 5), 0u);
    EXPECT_EQ(big.Write(nullptr, 1, 5), 0u);
}

TEST(RasterMemoryStream, ReadsWholeItemsAndAdvancesByBytes)
{
    RasterMemoryStream stream;
    const std::uint8_t data[7] = {1, 2, 3, 4, 5, 6, 7};
    stream.Write(data, 1, 7);
    ASSERT_TRUE(stream.Seek(0, 0));
    std::uint8_t out[8] = {};
    EXPECT_EQ(stream.Read(out, 4, 1), 1u);
    EXPECT_EQ(stream.Tell(), 4);
    EXPECT_EQ(stream.Read(out, 4, 1), 0u);   // 3 bytes left: no whole item ...
    EXPECT_EQ(stream.Tell(), 7);             // ... but the position moved by 3
    EXPECT_EQ(out[2], 7);
    EXPECT_TRUE(stream.Eof());
    EXPECT_EQ(stream.GetC(), -1);
    ASSERT_TRUE(stream.Seek(-2, 2));
    EXPECT_EQ(stream.GetC(), 6);
    EXPECT_EQ(stream.GetC(), 7);
    EXPECT_EQ(stream.Read(nullptr, 1, 1), 0u);
}

TEST(RasterMemoryStream, SeekBeyondTheEndThenWrite)
{
    RasterMemoryStream stream;
    stream.Write("abc", 1, 3);
    EXPECT_FALSE(stream.Seek(-4, 1));
    EXPECT_FALSE(stream.Seek(0, 3));
    EXPECT_EQ(stream.Tell(), 3);
    ASSERT_TRUE(stream.Seek(10, 2));
    EXPECT_EQ(stream.Tell(), 13);
    EXPECT_EQ(stream.Error(), 1);
    EXPECT_TRUE(stream.Eof());
    std::uint8_t byte = 0;
    EXPECT_EQ(stream.Read(&byte, 1, 1), 0u);
    EXPECT_TRUE(stream.PutC('z'));
    EXPECT_EQ(stream.Size(), 14);
    EXPECT_EQ(stream.Error(), 0);
    // The bytes skipped over read back as zero.
    for (int i = 3; i < 13; ++i)
        EXPECT_EQ(stream.Data()[i], 0) << i;
    EXPECT_EQ(stream.Data()[13], 'z');
    EXPECT_TRUE(stream.Flush());
}

TEST(RasterMemoryStream, ClosedStreamAndFailedGrowth)
{
    RasterMemoryStream stream;
    stream.Write("hello", 1, 5);
    {
        AllocFailure fail(0);
        std::vector<std::uint8_t> big(5000, 1);
        EXPECT_EQ(stream.Write(big.data(), 1, big.size()), 0u);
        EXPECT_EQ(stream.Size(), 5);
        EXPECT_EQ(stream.Tell(), 5);
        EXPECT_EQ(std::memcmp(stream.Data(), "hello", 5), 0);
    }
    EXPECT_TRUE(stream.Close());
    std::uint8_t byte = 0;
    EXPECT_EQ(stream.Read(&byte, 1, 1), 0u);
    EXPECT_EQ(stream.Write(&byte, 1, 1), 0u);
    EXPECT_FALSE(stream.Seek(0, 0));
    EXPECT_EQ(stream.Tell(), -1);
    EXPECT_EQ(stream.Size(), -1);
    EXPECT_FALSE(stream.Flush());
    EXPECT_TRUE(stream.Eof());
    EXPECT_EQ(stream.Error(), -1);
    EXPECT_FALSE(stream.PutC(1));
    EXPECT_EQ(stream.GetC(), -1);
    EXPECT_TRUE(stream.Close());
}

TEST(RasterMemoryStream, OverACallersBlock)
{
    std::uint8_t block[4] = {9, 8, 7, 6};
    {
        RasterMemoryStream stream(block, 4, false);
        EXPECT_EQ(stream.Size(), 4);
        EXPECT_EQ(stream.GetC(), 9);
        ASSERT_TRUE(stream.Seek(4, 0));
        EXPECT_TRUE(stream.PutC(5));   // grows into a block of its own
        EXPECT_EQ(stream.Size(), 5);
        EXPECT_EQ(stream.Data()[0], 9);
        EXPECT_EQ(stream.Data()[4], 5);
    }
    EXPECT_EQ(block[0], 9);   // the caller's block is neither changed nor freed
}

TEST(RasterStdioStream, NeverClosesACallersFile)
{
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    {
        RasterStdioStream stream(file);
        EXPECT_FALSE(stream.OwnsFile());
        EXPECT_EQ(stream.Write("abcdef", 1, 6), 6u);
        EXPECT_TRUE(stream.PutC('g'));
        EXPECT_TRUE(stream.Flush());
        ASSERT_TRUE(stream.Seek(2, 0));
        EXPECT_EQ(stream.Size(), 7);
        EXPECT_EQ(stream.Tell(), 2);   // Size leaves the position where it was
        EXPECT_EQ(stream.GetC(), 'c');
        std::uint8_t out[4] = {};
        EXPECT_EQ(stream.Read(out, 2, 2), 2u);
        EXPECT_EQ(out[3], 'g');
        EXPECT_EQ(stream.GetC(), -1);
        EXPECT_TRUE(stream.Eof());
        EXPECT_EQ(stream.Error(), 0);
        EXPECT_TRUE(stream.Close());
    }
    // Still open: both the close and the destructor left it alone.
    EXPECT_EQ(std::fputc('x', file), 'x');
    EXPECT_EQ(std::fclose(file), 0);
}

TEST(RasterStdioStream, WithoutAFile)
{
    RasterStdioStream stream;
    EXPECT_TRUE(stream.OwnsFile());
    std::uint8_t byte = 0;
    EXPECT_TRUE(stream.Close());
    EXPECT_EQ(stream.Read(&byte, 1, 1), 0u);
    EXPECT_EQ(stream.Write(&byte, 1, 1), 0u);
    EXPECT_FALSE(stream.Seek(0, 0));
    EXPECT_EQ(stream.Tell(), 0);
    EXPECT_EQ(stream.Size(), -1);
    EXPECT_FALSE(stream.Flush());
    EXPECT_TRUE(stream.Eof());
    EXPECT_EQ(stream.Error(), -1);
    EXPECT_FALSE(stream.PutC(1));
    EXPECT_EQ(stream.GetC(), -1);
}

TEST(RasterStdioStream, FullDeviceShowsOnFlush)
{
    std::FILE* file = std::fopen("/dev/full", "wb");
    if (!file)
        GTEST_SKIP() << "/dev/full is not available";
    RasterStdioStream stream(file);
    stream.Write("abc", 1, 3);
    EXPECT_FALSE(stream.Flush());
    EXPECT_NE(stream.Error(), 0);
    std::fclose(file);
}

} // namespace
