// Helpers shared by the image-file tests.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include <dirent.h>
#include <stdlib.h>

#include <gtest/gtest.h>

#include "imagefile/raster_image.h"
#include "imagefile/raster_memory.h"

namespace imagefile_test {

// Turns allocation failures on for the lifetime of the object.
struct AllocFailure {
    explicit AllocFailure(std::int64_t successes) { RasterSetAllocFailure(successes); }
    ~AllocFailure() { RasterSetAllocFailure(-1); }
};

// A memory stream that accepts `limit` bytes in all and refuses the rest: a
// write that crosses the limit stores the bytes that fit and reports the
// whole items stored.
class FailAfterStream : public RasterMemoryStream {
public:
    explicit FailAfterStream(std::int64_t limit) : limit_(limit) {}
    std::size_t Write(const void* buffer, std::size_t itemSize, std::size_t itemCount) override
    {
        if (itemSize == 0 || itemCount == 0)
            return 0;
        const std::int64_t want = static_cast<std::int64_t>(itemSize * itemCount);
        const std::int64_t room = limit_ - written_;
        const std::int64_t take = want < room ? want : (room > 0 ? room : 0);
        if (take > 0)
            RasterMemoryStream::Write(buffer, 1, static_cast<std::size_t>(take));
        written_ += take;
        return static_cast<std::size_t>(take) / itemSize;
    }
    bool PutC(std::uint8_t byte) override { return Write(&byte, 1, 1) == 1; }

private:
    std::int64_t limit_;
    std::int64_t written_ = 0;
};

// A stream over a std::vector: it takes nothing from the image library's
// heap, so it keeps working while that heap is made to fail.
class VectorStream : public RasterStream {
public:
    bool Close() override { return true; }
    std::size_t Read(void* buffer, std::size_t itemSize, std::size_t itemCount) override
    {
        if (itemSize == 0 || position_ >= bytes.size())
            return 0;
        const std::size_t n = std::min(itemSize * itemCount, bytes.size() - position_);
        std::memcpy(buffer, bytes.data() + position_, n);
        position_ += n;
        return n / itemSize;
    }
    std::size_t Write(const void* buffer, std::size_t itemSize, std::size_t itemCount) override
    {
        const std::size_t n = itemSize * itemCount;
        if (position_ + n > bytes.size())
            bytes.resize(position_ + n);
        std::memcpy(bytes.data() + position_, buffer, n);
        position_ += n;
        return itemCount;
    }
    bool Seek(std::int64_t offset, int origin) override
    {
        const std::int64_t base = origin == 0 ? 0 : origin == 1 ? static_cast<std::int64_t>(position_)
                                                                : static_cast<std::int64_t>(bytes.size());
        if (base + offset < 0)
            return false;
        position_ = static_cast<std::size_t>(base + offset);
        return true;
    }
    std::int64_t Tell() override { return static_cast<std::int64_t>(position_); }
    std::int64_t Size() override { return static_cast<std::int64_t>(bytes.size()); }
    bool Flush() override { return true; }
    bool Eof() override { return position_ >= bytes.size(); }
    std::int32_t Error() override { return 0; }
    std::int32_t GetC() override
    {
        std::uint8_t b;
        return Read(&b, 1, 1) == 1 ? b : -1;
    }

    std::vector<std::uint8_t> bytes;

private:
    std::size_t position_ = 0;
};

inline std::vector<std::uint8_t> StreamBytes(RasterMemoryStream& stream)
{
    const std::int64_t size = stream.Size();
    if (size <= 0)
        return {};
    return std::vector<std::uint8_t>(stream.Data(), stream.Data() + size);
}

// Encodes into memory; `ok` receives the result.
inline std::vector<std::uint8_t> EncodeToBytes(RasterImage& image, std::uint32_t typeId, bool* ok = nullptr)
{
    RasterMemoryStream stream;
    const bool result = image.Encode(&stream, typeId);
    if (ok)
        *ok = result;
    return StreamBytes(stream);
}

// Encodes the image as typeId, expecting success (the image's last error is
// shown otherwise).
inline std::vector<std::uint8_t> EncodeOk(RasterImage& image, std::uint32_t type)
{
    bool ok = false;
    std::vector<std::uint8_t> file = EncodeToBytes(image, type, &ok);
    EXPECT_TRUE(ok) << image.LastError();
    return file;
}

// Peak signal-to-noise ratio of two 8-bit sample runs in dB: 99 when they are
// equal, 0 when their sizes differ or they are empty.
inline double Psnr(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b)
{
    if (a.size() != b.size() || a.empty())
        return 0.0;
    double sum = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const double d = double(a[i]) - double(b[i]);
        sum += d * d;
    }
    return sum == 0.0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 * double(a.size()) / sum);
}

inline std::uint32_t Le16(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return b.at(at) | (b.at(at + 1) << 8);
}

inline std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return Le16(b, at) | (Le16(b, at + 2) << 16);
}

inline void AppendLe16(std::vector<std::uint8_t>& b, std::uint32_t v)
{
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}

inline void AppendLe32(std::vector<std::uint8_t>& b, std::uint32_t v)
{
    AppendLe16(b, v);
    AppendLe16(b, v >> 16);
}

// A 24-bit image whose stored pixel (x, y) is blue = x * 16 + 1, green = y * 16 + 2,
// red = (x + y) * 8 + 3 (all bytes distinct from the zero padding).
inline void FillPattern24(RasterImage& image)
{
    for (std::uint32_t y = 0; y < image.Height(); ++y) {
        std::uint8_t* row = image.RowAddress(y);
        for (std::uint32_t x = 0; x < image.Width(); ++x) {
            row[3 * x + 0] = static_cast<std::uint8_t>(x * 16 + 1);
            row[3 * x + 1] = static_cast<std::uint8_t>(y * 16 + 2);
            row[3 * x + 2] = static_cast<std::uint8_t>((x + y) * 8 + 3);
        }
    }
}

inline RasterColour Bgr(std::uint8_t b, std::uint8_t g, std::uint8_t r, std::uint8_t reserved = 0)
{
    return RasterColour{b, g, r, reserved};
}

// A snapshot of an image's bitmap block, to check that encoding left it alone.
inline std::vector<std::uint8_t> DibSnapshot(const RasterImage& image)
{
    if (!image.DibBlock())
        return {};
    return std::vector<std::uint8_t>(image.DibBlock(), image.DibBlock() + image.DibBlockSize());
}

// A fresh folder under /tmp for each test, removed with all it holds.
class TempDir : public testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/imagefile_test_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    std::string Path(const char* name)
    {
        files_.push_back(dir_ + "/" + name);
        return files_.back();
    }
    std::string dir_;
    std::vector<std::string> files_;
};

inline std::vector<std::uint8_t> ReadFile(const std::string& path)
{
    std::vector<std::uint8_t> bytes;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        std::uint8_t buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
            bytes.insert(bytes.end(), buffer, buffer + n);
        std::fclose(file);
    }
    return bytes;
}

// The names in a folder, without "." and "..".
inline std::vector<std::string> FolderEntries(const std::string& dir)
{
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                names.push_back(e->d_name);
        closedir(d);
    }
    return names;
}

} // namespace imagefile_test
