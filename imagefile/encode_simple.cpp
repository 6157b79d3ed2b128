// Encoders that write their formats byte by byte: BMP, TGA, PCX, WBMP, ICO,
// and the refusal of WMF. All multi-byte numbers are little-endian.
#include <cstring>
#include <vector>

#include "imagefile/raster_coders.h"
#include "imagefile/raster_memory.h"

namespace {

void Put16(std::uint8_t* p, std::uint32_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::uint8_t* p, std::uint32_t v)
{
    Put16(p, v);
    Put16(p + 2, v >> 16);
}

// Run-length coder of PCX lines that takes one value at a time. It keeps the
// last byte and the length of the pending run.
class PcxLineCoder {
public:
    explicit PcxLineCoder(RasterStream& out) : out_(out) {}

    void Feed(int value)
    {
        if (value != last_ && count_ != 0) {
            if (count_ == 1 && last_ < 192) {
                Put(last_);
            } else {
                Put(192 + count_);
                Put(last_);
            }
            count_ = 0;
        } else if (count_ == 63) {
            Put(255);
            Put(last_);
            count_ = 0;
        }
        last_ = value;
        ++count_;
    }

    // Flushes the pending run (a value no byte equals) and, for an odd
    // width, pads the line to its even byte count.
    void EndLine(bool oddWidth)
    {
        Feed(oddWidth ? -2 : -1);
        if (oddWidth)
            Put(0);
        last_ = 0;
        count_ = 0;
    }

    bool Ok() const { return ok_; }

    // Codes a whole line of bytes at once.
    void CodeBuffer(const std::uint8_t* line, std::size_t n)
    {
        if (n == 0)
            return;
        int runByte = line[0];
        int length = 1;
        for (std::size_t i = 1; i < n; ++i) {
            if (line[i] == runByte && length < 63) {
                ++length;
            } else {
                PutRun(runByte, length);
                runByte = line[i];
                length = 1;
            }
        }
        PutRun(runByte, length);
    }

private:
    void PutRun(int byte, int length)
    {
        if (length > 1 || byte >= 192)
            Put(192 + length);
        Put(byte);
    }

    void Put(int byte)
    {
        if (!out_.PutC(static_cast<std::uint8_t>(byte)))
            ok_ = false;
    }

    RasterStream& out_;
    int last_ = 0;
    int count_ = 0;
    bool ok_ = true;
};

// A number in the multi-byte form of WBMP: seven bits per byte, the most
// significant group first, the high bit set on every byte but the last.
void PutWbmpNumber(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    std::uint8_t groups[5];
    int n = 0;
    do {
        groups[n++] = static_cast<std::uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (n > 1)
        out.push_back(static_cast<std::uint8_t>(groups[--n] | 0x80));
    out.push_back(groups[0]);
}

} // namespace

// ------------------------------------------------------------------------ BMP

bool RasterImageBmp::Encode(RasterStream* stream)
{
    if (CheckEncodeArgs(stream))
        return false;
    std::uint8_t fileHeader[14] = {'B', 'M'};
    Put32(fileHeader + 2, static_cast<std::uint32_t>(14 + DibBlockSize()));
    Put32(fileHeader + 10, 14 + header.biSize + PaletteBytes());
    std::memcpy(dib_, &header, sizeof(header));
    stream->Write(fileHeader, 14, 1);
    stream->Write(dib_, static_cast<std::size_t>(DibBlockSize()), 1);
    return true;
}

// ------------------------------------------------------------------------ TGA

bool RasterImageTga::Encode(RasterStream* stream)
{
    if (CheckEncodeArgs(stream))
        return false;
    const std::uint32_t bpp = Bpp();
    if (bpp < 8) {
        SetLastError("Bit depth must be 8 or 24");
        return false;
    }
    // The header holds 16-bit sizes.
    if (Width() > 65535 || Height() > 65535) {
        SetLastError("Can't save this image as TGA");
        return false;
    }
    const bool indexed = bpp == 8;
    const bool withAlpha = bpp == 24 && alpha_ != nullptr;

    std::uint8_t head[18] = {};
    head[1] = indexed ? 1 : 0;
    head[2] = indexed ? 1 : 2;
    Put16(head + 5, indexed ? 256 : 0);
    head[7] = indexed ? 24 : 0;
    Put16(head + 12, Width());
    Put16(head + 14, Height());
    head[16] = static_cast<std::uint8_t>(withAlpha ? 32 : bpp);
    stream->Write(head, 18, 1);

    if (indexed) {
        std::uint8_t map[768];
        for (int i = 0; i < 256; ++i) {
            const RasterColour c = PaletteEntry(static_cast<std::uint8_t>(i));
            map[3 * i + 0] = c.blue;
            map[3 * i + 1] = c.green;
            map[3 * i + 2] = c.red;
        }
        stream->Write(map, 768, 1);
    }

    const std::uint32_t width = Width();
    if (withAlpha) {
        std::vector<std::uint8_t> row(std::size_t{width} * 4);
        for (std::uint32_t y = 0; y < Height(); ++y) {
            const std::uint8_t* src = RowAddress(y);
            const std::uint8_t* a = alpha_ + std::uint64_t{y} * width;
            for (std::uint32_t x = 0; x < width; ++x) {
                row[4 * x + 0] = src[3 * x + 0];
                row[4 * x + 1] = src[3 * x + 1];
                row[4 * x + 2] = src[3 * x + 2];
                row[4 * x + 3] = static_cast<std::uint8_t>(a[x] * info.alphaMax / 255);
            }
            stream->Write(row.data(), row.size(), 1);
        }
    } else {
        const std::size_t bytes = std::size_t{bpp / 8} * width;
        for (std::uint32_t y = 0; y < Height(); ++y)
            stream->Write(RowAddress(y), bytes, 1);
    }
    return true;
}

// ------------------------------------------------------------------------ PCX

bool RasterImagePcx::Encode(RasterStream* stream)
{
    if (CheckEncodeArgs(stream))
        return false;
    const std::uint32_t bpp = Bpp();
    const std::uint32_t width = Width();
    const std::uint32_t height = Height();
    std::uint64_t lineBytes = (bpp >= 8) ? width : (std::uint64_t{width} + 7) / 8;
    lineBytes += lineBytes & 1;
    // The header holds width - 1, height - 1 and the bytes per line in 16 bits.
    if (lineBytes > 65535 || width > 65536 || height > 65536) {
        SetLastError("Can't save this image as PCX");
        return false;
    }
    int planes = 1;
    if (bpp == 24)
        planes = alpha_ ? 4 : 3;
    else if (bpp == 4)
        planes = 4;

    std::uint8_t head[128] = {};
    head[0] = 10;
    head[1] = 5;
    head[2] = 1;
    head[3] = bpp >= 8 ? 8 : 1;
    Put16(head + 8, width - 1);
    Put16(head + 10, height - 1);
    Put16(head + 12, static_cast<std::uint32_t>(info.dpiX));
    Put16(head + 14, static_cast<std::uint32_t>(info.dpiY));
    if (bpp == 4) {
        for (int i = 0; i < 16; ++i) {
            const RasterColour c = PaletteEntry(static_cast<std::uint8_t>(i));
            head[16 + 3 * i + 0] = c.red;
            head[16 + 3 * i + 1] = c.green;
            head[16 + 3 * i + 2] = c.blue;
        }
    } else if (bpp == 1) {
        head[19] = head[20] = head[21] = 255;
    }
    head[65] = static_cast<std::uint8_t>(planes);
    Put16(head + 66, static_cast<std::uint32_t>(lineBytes));
    Put16(head + 68, bpp == 24 ? 1 : 0);
    if (stream->Write(head, 128, 1) == 0) {
        SetLastError("cannot write PCX header");
        return false;
    }

    RasterMemoryStream lines;
    PcxLineCoder coder(lines);
    const bool oddWidth = (width & 1) != 0;
    if (bpp == 24) {
        for (std::int64_t y = std::int64_t{height} - 1; y >= 0; --y) {
            const std::uint8_t* row = RowAddress(static_cast<std::uint32_t>(y));
            static constexpr int kChannel[3] = {2, 1, 0};   // red, green, blue
            for (int p = 0; p < planes; ++p) {
                for (std::uint32_t x = 0; x < width; ++x) {
                    if (p < 3)
                        coder.Feed(row[3 * x + kChannel[p]]);
                    else
                        coder.Feed(AlphaAt(x, y));
                }
                coder.EndLine(oddWidth);
            }
        }
    } else if (bpp == 8) {
        for (std::int64_t y = std::int64_t{height} - 1; y >= 0; --y) {
            const std::uint8_t* row = RowAddress(static_cast<std::uint32_t>(y));
            for (std::uint32_t x = 0; x < width; ++x)
                coder.Feed(row[x]);
            coder.EndLine(oddWidth);
        }
    } else {
        // The header declares 0 black and 1 white for 1-bit images.
        const bool invert = bpp == 1 && LumaDifference(PaletteEntry(0), PaletteEntry(1)) > 0;
        std::vector<std::uint8_t> indices(width);
        std::vector<std::uint8_t> line(static_cast<std::size_t>(lineBytes));
        for (std::int64_t y = std::int64_t{height} - 1; y >= 0; --y) {
            for (std::uint32_t x = 0; x < width; ++x) {
                const std::uint8_t i = IndexAt(x, y);
                indices[x] = invert ? static_cast<std::uint8_t>(1 - i) : i;
            }
            for (int p = 0; p < planes; ++p) {
                std::fill(line.begin(), line.end(), 0);
                for (std::uint32_t x = 0; x < width; ++x) {
                    if ((indices[x] >> p) & 1)
                        line[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
                }
                coder.CodeBuffer(line.data(), line.size());
            }
        }
    }
    if (!coder.Ok()) {
        SetLastError("Error saving PCX file");
        return false;
    }

    const std::int64_t size = lines.Size();
    if (size > 0)
        stream->Write(lines.Data(), static_cast<std::size_t>(size), 1);
    if (bpp == 8) {
        stream->PutC(12);
        std::uint8_t map[768];
        for (int i = 0; i < 256; ++i) {
            const RasterColour c = PaletteEntry(static_cast<std::uint8_t>(i));
            map[3 * i + 0] = c.red;
            map[3 * i + 1] = c.green;
            map[3 * i + 2] = c.blue;
        }
        stream->Write(map, 768, 1);
    }
    return true;
}

// ----------------------------------------------------------------------- WBMP

bool RasterImageWbmp::Encode(RasterStream* stream)
{
    if (CheckEncodeArgs(stream))
        return false;
    if (Width() > 255 || Height() > 255 || Bpp() != 1) {
        SetLastError("Can't save this image as WBMP");
        return false;
    }
    std::vector<std::uint8_t> head = {0, 0};
    PutWbmpNumber(head, Width());
    PutWbmpNumber(head, Height());
    stream->Write(head.data(), head.size(), 1);

    const std::size_t bytes = (std::size_t{Width()} + 7) / 8;
    RasterRowWalker walker(*this);
    walker.FromTop();
    for (std::uint32_t r = 0; r < Height(); ++r) {
        stream->Write(walker.rowAddress, bytes, 1);
        walker.rowAddress -= info.rowBytes;
    }
    return true;
}

// ------------------------------------------------------------------------ ICO

bool RasterImageIcon::Encode(RasterStream* stream)
{
    if (CheckEncodeArgs(stream))
        return false;
    const std::uint32_t width = Width();
    const std::uint32_t height = Height();
    if (width > 255 || height > 255) {
        SetLastError("Can't save this image as icon");
        return false;
    }
    if (Bpp() <= 8 && !PaletteData())
        return false;

    const std::uint32_t maskRow = ((width + 31) / 32) * 4;
    const std::uint32_t maskSize = height * maskRow;
    const bool bits32 = Bpp() == 24 && alpha_ != nullptr;
    const std::uint32_t colourSize = bits32 ? width * height * 4 : header.biSizeImage;
    const std::uint32_t bitCount = bits32 ? 32 : Bpp();

    std::uint8_t head[62] = {};
    Put16(head + 2, 1);
    Put16(head + 4, 1);
    head[6] = static_cast<std::uint8_t>(width);
    head[7] = static_cast<std::uint8_t>(height);
    head[8] = static_cast<std::uint8_t>(header.biClrUsed);
    Put16(head + 12, bitCount);
    Put32(head + 14, 40 + PaletteBytes() + colourSize + maskSize);
    Put32(head + 18, 22);
    Put32(head + 22, 40);
    Put32(head + 26, width);
    Put32(head + 30, 2 * height);
    Put16(head + 34, 1);
    Put16(head + 36, bitCount);
    Put32(head + 42, colourSize);
    stream->Write(head, sizeof(head), 1);
    if (PaletteBytes())
        stream->Write(PaletteData(), PaletteBytes(), 1);

    if (bits32) {
        std::vector<std::uint8_t> row(std::size_t{width} * 4);
        for (std::uint32_t y = 0; y < height; ++y) {
            const std::uint8_t* src = RowAddress(y);
            for (std::uint32_t x = 0; x < width; ++x) {
                row[4 * x + 0] = src[3 * x + 0];
                row[4 * x + 1] = src[3 * x + 1];
                row[4 * x + 2] = src[3 * x + 2];
                row[4 * x + 3] = AlphaAt(x, y);
            }
            stream->Write(row.data(), row.size(), 1);
        }
    } else if (header.biSizeImage) {
        stream->Write(RowAddress(0), header.biSizeImage, 1);
    }

    auto* mask = static_cast<std::uint8_t*>(RasterCalloc(maskSize));
    if (!mask)
        return false;
    const RasterColour t = TransparentColour();
    const bool paletteAlpha = PaletteHasAlpha();
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            const bool transparent = (alpha_ && AlphaAt(x, y) == 0) ||
                                     (paletteAlpha && ColourAt(x, y, true).reserved == 0) ||
                                     (info.transparentIndex != -1 && ColourAt(x, y, false) == t);
            if (transparent)
                mask[y * maskRow + x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
        }
    }
    if (maskSize)
        stream->Write(mask, maskSize, 1);
    RasterFree(mask);
    return true;
}

// ------------------------------------------------------------------------ WMF

bool RasterImageWmf::Encode(RasterStream* stream)
{
    if (stream)
        SetLastError("Save WMF not supported");
    return false;
}
