// GIF89a encoder with its own code writers: run-length (the default), plain
// (one code per pixel) and LZW. Indexed images get a global colour table; a
// 24-bit image becomes a mosaic of 17 x 15 tiles with local colour tables.
#include <algorithm>
#include <cstring>

#include "imagefile/raster_coders.h"

namespace {

constexpr int kTileWidth = 17;
constexpr int kTileHeight = 15;
constexpr int kMaxCodeWidth = 12;
constexpr int kMaxCodes = 4096;

// Pixels a run of `count` repeats costs in codes when at most `repeatCodes`
// run codes (of 1, 2, 3 ... pixels) fit in the table.
std::uint64_t TriangleCount(std::uint64_t count, std::uint64_t repeatCodes)
{
    const std::uint64_t perGroup = repeatCodes * (repeatCodes + 1) / 2;
    std::uint64_t cost = 0;
    if (perGroup > 0) {
        cost = (count / perGroup) * repeatCodes;
        count %= perGroup;
    }
    if (count > 0) {
        // Integer square root by Newton's iteration, then single steps to the
        // smallest n with n (n + 1) / 2 >= count.
        std::uint64_t n = count;
        std::uint64_t next = (n + 1) / 2;
        while (next < n) {
            n = next;
            next = (n + count / n) / 2;
        }
        while (n > 0 && n * (n + 1) >= 2 * count)
            --n;
        while (n * (n + 1) < 2 * count)
            ++n;
        cost += n;
    }
    return cost;
}

} // namespace

void RasterImageGif::Put(const void* bytes, std::size_t count)
{
    if (count == 0)
        return;
    if (out_->Write(bytes, 1, count) != count)
        writeFailed_ = true;
}

void RasterImageGif::Put16(std::uint32_t value)
{
    const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8)};
    Put(bytes, 2);
}

bool RasterImageGif::Encode(RasterStream* stream)
{
    if (CheckEncodeArgs(stream))
        return false;
    // The file holds 16-bit sizes.
    if (Width() > 65535 || Height() > 65535) {
        SetLastError("Can't save this image as GIF");
        return false;
    }
    out_ = stream;
    writeFailed_ = false;
    bool ok = true;
    if (Bpp() > 8) {
        ok = WriteTiles();
    } else {
        WriteScreen(true);
        WriteGraphicControl();
        WriteComment();
        WriteImage(false);
        PutByte(0x3B);
    }
    if (!ok)
        return false;
    // A file whose bytes did not all reach the stream is a failed save.
    if (writeFailed_ || !stream->Flush() || stream->Error() != 0) {
        SetLastError("Write Error in GIF file");
        return false;
    }
    return true;
}

void RasterImageGif::WriteScreen(bool globalTable)
{
    Put("GIF89a", 6);
    Put16(Width());
    Put16(Height());
    const bool table = globalTable && PaletteData();
    const std::uint32_t depth = Bpp() - 1;
    PutByte(table ? static_cast<std::uint8_t>((((depth | 0xFC) << 5) & 0xFF) | depth) : 0x11);
    PutByte(0);   // background index
    PutByte(0);   // aspect ratio
    if (table) {
        for (std::uint32_t i = 0; i < header.biClrUsed; ++i) {
            const RasterColour c = PaletteEntry(static_cast<std::uint8_t>(i));
            const std::uint8_t rgb[3] = {c.red, c.green, c.blue};
            Put(rgb, 3);
        }
    }
}

void RasterImageGif::WriteGraphicControl()
{
    const std::uint8_t block[8] = {
        0x21, 0xF9, 4,
        static_cast<std::uint8_t>(((disposal & 7) << 2) | (info.transparentIndex != -1 ? 1 : 0)),
        static_cast<std::uint8_t>(info.frameDelay), static_cast<std::uint8_t>(info.frameDelay >> 8),
        static_cast<std::uint8_t>(info.transparentIndex), 0};
    Put(block, sizeof(block));
}

void RasterImageGif::WriteComment()
{
    const std::size_t length = strnlen(comment, sizeof(comment));
    if (length == 0)
        return;
    const std::uint8_t n = static_cast<std::uint8_t>(length > 255 ? 255 : length);
    const std::uint8_t head[3] = {0x21, 0xFE, n};
    Put(head, 3);
    Put(comment, n);
    PutByte(0);
}

void RasterImageGif::WriteImage(bool localTable)
{
    ResetReader();
    PutByte(0x2C);
    Put16(static_cast<std::uint32_t>(info.offsetX));
    Put16(static_cast<std::uint32_t>(info.offsetY));
    Put16(Width());
    Put16(Height());
    PutByte(localTable ? static_cast<std::uint8_t>(0x80 + (Bpp() - 1)) : 0);
    if (localTable) {
        for (int i = 0; i < 256; ++i) {
            const RasterColour c = PaletteEntry(static_cast<std::uint8_t>(i));
            const std::uint8_t rgb[3] = {c.red, c.green, c.blue};
            Put(rgb, 3);
        }
    }
    const int codeSize = Bpp() == 1 ? 2 : static_cast<int>(Bpp());
    PutByte(static_cast<std::uint8_t>(codeSize));
    switch (info.codecOptions) {
    case 1: WritePlain(codeSize + 1); break;
    case 2: WriteLzw(codeSize + 1); break;
    default: WriteRunLength(codeSize + 1); break;
    }
    PutByte(0);
}

bool RasterImageGif::WriteTiles()
{
    const std::int64_t width = Width();
    const std::int64_t height = Height();
    WriteScreen(false);
    WriteComment();

    RasterImageGif tile;
    tile.out_ = out_;
    for (std::int64_t y0 = 0; y0 < height; y0 += kTileHeight) {
        for (std::int64_t x0 = 0; x0 < width; x0 += kTileWidth) {
            const std::int64_t tw = std::min<std::int64_t>(kTileWidth, width - x0);
            const std::int64_t th = std::min<std::int64_t>(kTileHeight, height - y0);
            if (!tile.IsValid() || tile.Width() != tw || tile.Height() != th) {
                if (!tile.Create(static_cast<std::uint32_t>(tw), static_cast<std::uint32_t>(th), 8, RASTER_TYPE_GIF)) {
                    SetLastError(tile.LastError());
                    return false;
                }
            }
            if (info.transparentIndex >= 0) {
                tile.info.transparentIndex = 0;
                tile.PutPaletteEntry(0, TransparentColour());
            }
            // Every pixel gets an entry of its own; equal colours share the
            // first entry that holds them.
            for (std::int64_t r = 0; r < th; ++r) {
                for (std::int64_t c = 0; c < tw; ++c) {
                    const auto entry = static_cast<std::uint8_t>(kTileWidth * r + 1 + c);
                    const RasterColour colour = ColourAt(x0 + c, height - y0 - th + r, true);
                    tile.PutPaletteEntry(entry, colour);
                    tile.PutIndex(c, r, tile.NearestPaletteIndex(colour));
                }
            }
            tile.info.offsetX = static_cast<std::int32_t>(x0);
            tile.info.offsetY = static_cast<std::int32_t>(y0);
            tile.WriteGraphicControl();
            tile.WriteImage(true);
        }
    }
    PutByte(0x3B);
    writeFailed_ = writeFailed_ || tile.writeFailed_;
    return true;
}

void RasterImageGif::ResetReader()
{
    readerColumn_ = 0;
    readerRow_ = static_cast<std::int64_t>(Height()) - 1;
    readerLeft_ = static_cast<std::int64_t>(Width()) * Height();
}

int RasterImageGif::NextPixel()
{
    if (readerLeft_ <= 0)
        return -1;
    const int index = IndexAt(readerColumn_, readerRow_);
    if (++readerColumn_ == static_cast<std::int64_t>(Width())) {
        readerColumn_ = 0;
        --readerRow_;
    }
    --readerLeft_;
    return index;
}

// ---------------------------------------------------- plain and LZW writers

void RasterImageGif::StartCodes(int initBits)
{
    initBits_ = initBits;
    codeWidth_ = initBits;
    maxCode_ = (1 << initBits) - 1;
    clearFlag_ = false;
    clearCode_ = 1 << (initBits - 1);
    endCode_ = clearCode_ + 1;
    freeCode_ = clearCode_ + 2;
    accumulator_ = 0;
    accumulatedBits_ = 0;
    blockLength_ = 0;
}

void RasterImageGif::FlushCodeBlock()
{
    if (blockLength_ > 0) {
        PutByte(static_cast<std::uint8_t>(blockLength_));
        Put(block_, static_cast<std::size_t>(blockLength_));
        blockLength_ = 0;
    }
}

void RasterImageGif::Output(int code)
{
    accumulator_ &= (1u << accumulatedBits_) - 1;
    accumulator_ |= static_cast<std::uint32_t>(code) << accumulatedBits_;
    accumulatedBits_ += codeWidth_;
    while (accumulatedBits_ >= 8) {
        block_[blockLength_++] = static_cast<std::uint8_t>(accumulator_ & 0xFF);
        if (blockLength_ >= 254)
            FlushCodeBlock();
        accumulator_ >>= 8;
        accumulatedBits_ -= 8;
    }
    // The next code may need a wider field, or the table starts again.
    if (freeCode_ > maxCode_ || clearFlag_) {
        if (clearFlag_) {
            codeWidth_ = initBits_;
            maxCode_ = (1 << codeWidth_) - 1;
            clearFlag_ = false;
        } else {
            ++codeWidth_;
            maxCode_ = codeWidth_ == kMaxCodeWidth ? kMaxCodes : (1 << codeWidth_) - 1;
        }
    }
    if (code == endCode_) {
        while (accumulatedBits_ > 0) {
            block_[blockLength_++] = static_cast<std::uint8_t>(accumulator_ & 0xFF);
            if (blockLength_ >= 254)
                FlushCodeBlock();
            accumulator_ >>= 8;
            accumulatedBits_ -= 8;
        }
        accumulatedBits_ = 0;
        FlushCodeBlock();
    }
}

void RasterImageGif::WritePlain(int initBits)
{
    StartCodes(initBits);
    Output(clearCode_);
    for (int pixel = NextPixel(); pixel >= 0; pixel = NextPixel()) {
        Output(pixel);
        if (freeCode_ < kMaxCodes) {
            ++freeCode_;
        } else {
            freeCode_ = clearCode_ + 2;
            clearFlag_ = true;
            Output(clearCode_);
        }
    }
    Output(endCode_);
}

void RasterImageGif::ClearHash()
{
    for (std::int32_t& entry : hashTable_)
        entry = -1;
}

void RasterImageGif::WriteLzw(int initBits)
{
    StartCodes(initBits);
    int shift = 0;
    for (long size = kHashSize; size < 65536; size *= 2)
        ++shift;
    shift = 8 - shift;
    ClearHash();
    Output(clearCode_);

    int prefix = NextPixel();
    if (prefix < 0) {
        Output(endCode_);
        return;
    }
    for (int c = NextPixel(); c >= 0; c = NextPixel()) {
        const std::int32_t key = (c << kMaxCodeWidth) + prefix;
        int i = (c << shift) ^ prefix;
        if (hashTable_[i] == key) {
            prefix = codeTable_[i];
            continue;
        }
        bool found = false;
        if (hashTable_[i] >= 0) {
            const int step = i == 0 ? 1 : kHashSize - i;
            do {
                i -= step;
                if (i < 0)
                    i += kHashSize;
                if (hashTable_[i] == key) {
                    prefix = codeTable_[i];
                    found = true;
                    break;
                }
            } while (hashTable_[i] > 0);
        }
        if (found)
            continue;
        Output(prefix);
        prefix = c;
        if (freeCode_ < kMaxCodes) {
            codeTable_[i] = static_cast<std::uint16_t>(freeCode_++);
            hashTable_[i] = key;
        } else {
            ClearHash();
            freeCode_ = clearCode_ + 2;
            clearFlag_ = true;
            Output(clearCode_);
        }
    }
    Output(prefix);
    Output(endCode_);
}

// ------------------------------------------------------- run-length writer

// Sends only codes that a decoder's table is sure to hold for runs of one
// repeated index, so the stream is valid without a dictionary.
void RasterImageGif::WriteRunLength(int initBits)
{
    const int clearCode = 1 << (initBits - 1);
    const int endCode = clearCode + 1;
    const int baseCode = endCode + 1;
    const int widthInit = initBits;
    const std::int64_t growInit = clearCode - 1;
    const std::int64_t clearInit = initBits <= 3 ? 9 : clearCode - 2;
    const std::int64_t limit = kMaxCodes - 3 - clearCode;

    std::uint32_t bits = 0;
    int heldBits = 0;
    std::uint8_t block[256];
    int blockLength = 0;

    int width = widthInit;
    std::int64_t count = 0;
    std::int64_t growAt = growInit;
    std::int64_t clearAt = clearInit;
    int tableIndex = 0;
    std::int64_t tableLength = 0;
    bool justCleared = true;

    auto writeBlock = [&] {
        PutByte(static_cast<std::uint8_t>(blockLength));
        Put(block, static_cast<std::size_t>(blockLength));
        blockLength = 0;
    };
    auto sendBits = [&](int code) {
        bits |= static_cast<std::uint32_t>(code) << heldBits;
        heldBits += width;
        while (heldBits >= 8) {
            block[blockLength++] = static_cast<std::uint8_t>(bits & 0xFF);
            if (blockLength >= 255)
                writeBlock();
            bits >>= 8;
            heldBits -= 8;
        }
    };
    auto reset = [&] {
        width = widthInit;
        growAt = growInit;
        clearAt = clearInit;
        count = 0;
        tableLength = 0;
        justCleared = true;
    };
    auto emit = [&](int code) {
        justCleared = false;
        sendBits(code);
        ++count;
        if (count >= growAt) {
            ++width;
            growAt += std::int64_t{1} << (width - 1);
        }
        if (count >= clearAt) {
            sendBits(clearCode);
            reset();
        }
    };
    auto restoreClearAt = [&] {
        clearAt = clearInit;
        if (count >= clearAt) {
            sendBits(clearCode);
            reset();
        }
    };
    auto flushFromClear = [&](int index, std::int64_t n) {
        clearAt = limit;
        tableIndex = index;
        std::int64_t k = 1;
        while (n > 0) {
            if (k == 1) {
                tableLength = 1;
                emit(index);
                n -= 1;
            } else if (n >= k) {
                tableLength = k;
                emit(baseCode + static_cast<int>(k) - 2);
                n -= k;
            } else if (n == 1) {
                ++tableLength;
                emit(index);
                n = 0;
            } else {
                ++tableLength;
                emit(baseCode + static_cast<int>(n) - 2);
                n = 0;
            }
            k = count == 0 ? 1 : k + 1;
        }
        restoreClearAt();
    };
    auto clearThenFlush = [&](int index, std::int64_t n) {
        sendBits(clearCode);
        reset();
        flushFromClear(index, n);
    };
    auto flushRun = [&](int index, std::int64_t n) {
        if (n == 1) {
            emit(index);
            return;
        }
        if (justCleared) {
            flushFromClear(index, n);
        } else if (tableLength < 2 || tableIndex != index) {
            // Clear or repeat the single index, whichever is cheaper.
            if (1 + static_cast<std::int64_t>(TriangleCount(static_cast<std::uint64_t>(n), limit)) < n) {
                clearThenFlush(index, n);
            } else {
                for (; n > 0; --n)
                    emit(index);
            }
        } else {
            std::int64_t repeats = n / tableLength;
            std::int64_t left = n % tableLength;
            std::int64_t extra = left ? 1 : 0;
            if (count + repeats + extra > limit) {
                repeats = limit - count;
                left = n - repeats * tableLength;
                extra = 1 + static_cast<std::int64_t>(TriangleCount(static_cast<std::uint64_t>(left), limit));
            }
            if (1 + static_cast<std::int64_t>(TriangleCount(static_cast<std::uint64_t>(n), limit)) < repeats + extra) {
                clearThenFlush(index, n);
                return;
            }
            clearAt = limit;
            for (; repeats > 0; --repeats)
                emit(baseCode + static_cast<int>(tableLength) - 2);
            if (left) {
                if (justCleared)
                    flushFromClear(index, left);
                else if (left == 1)
                    emit(index);
                else
                    emit(baseCode + static_cast<int>(left) - 2);
            }
            restoreClearAt();
        }
    };

    reset();
    sendBits(clearCode);
    int runIndex = 0;
    std::int64_t runLength = 0;
    for (;;) {
        const int pixel = NextPixel();
        if (runLength > 0 && pixel != runIndex) {
            flushRun(runIndex, runLength);
            runLength = 0;
        }
        if (pixel < 0)
            break;
        if (pixel == runIndex && runLength > 0) {
            ++runLength;
        } else {
            runIndex = pixel;
            runLength = 1;
        }
    }
    sendBits(endCode);
    if (heldBits > 0) {
        block[blockLength++] = static_cast<std::uint8_t>(bits & 0xFF);
        if (blockLength >= 255)
            writeBlock();
    }
    if (blockLength > 0)
        writeBlock();
}
