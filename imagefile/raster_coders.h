// The format coders: each borrows the buffers of the image being encoded
// (RasterImage::ShareBuffersOf) and writes it to a stream.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagefile/raster_image.h"

struct tiff;

class RasterImageBmp : public RasterImage {
public:
    RasterImageBmp() : RasterImage(RASTER_TYPE_BMP) {}
    bool Encode(RasterStream* stream);
};

class RasterImageGif : public RasterImage {
public:
    RasterImageGif() : RasterImage(RASTER_TYPE_GIF) {}
    bool Encode(RasterStream* stream);

    char comment[256] = {};        // written as a comment block when not empty
    std::uint8_t disposal = 0;     // disposal method of the graphic-control block

private:
    static constexpr int kHashSize = 5003;

    bool WriteTiles();
    void WriteScreen(bool globalTable);
    void WriteGraphicControl();
    void WriteComment();
    void WriteImage(bool localTable);

    // Palette indices from the top row of the picture down; -1 at the end.
    void ResetReader();
    int NextPixel();

    // The three code writers.
    void WritePlain(int initBits);
    void WriteLzw(int initBits);
    void WriteRunLength(int initBits);

    // Code output of the plain and LZW writers.
    void StartCodes(int initBits);
    void Output(int code);
    void FlushCodeBlock();
    void ClearHash();

    void Put(const void* bytes, std::size_t count);
    void PutByte(std::uint8_t byte) { Put(&byte, 1); }
    void Put16(std::uint32_t value);

    RasterStream* out_ = nullptr;
    bool writeFailed_ = false;

    // Pixel reader.
    std::int64_t readerColumn_ = 0;
    std::int64_t readerRow_ = 0;
    std::int64_t readerLeft_ = 0;

    // Code writer state.
    std::uint32_t accumulator_ = 0;
    int accumulatedBits_ = 0;
    int codeWidth_ = 0;
    int maxCode_ = 0;
    int freeCode_ = 0;
    bool clearFlag_ = false;
    int initBits_ = 0;
    int clearCode_ = 0;
    int endCode_ = 0;
    std::int32_t hashTable_[kHashSize] = {};
    std::uint16_t codeTable_[kHashSize] = {};
    std::uint8_t block_[256] = {};
    int blockLength_ = 0;
};

class RasterImageJpeg : public RasterImage {
public:
    RasterImageJpeg() : RasterImage(RASTER_TYPE_JPEG) {}
    bool Encode(RasterStream* stream);

    std::uint8_t extras[256] = {};   // per-image extras; the encoder does not read them
    std::int32_t smoothing = 0;      // smoothing factor used with option bit 0x40
};

class RasterImagePng : public RasterImage {
public:
    RasterImagePng() : RasterImage(RASTER_TYPE_PNG) {}
    bool Encode(RasterStream* stream);
};

class RasterImageIcon : public RasterImage {
public:
    RasterImageIcon() : RasterImage(RASTER_TYPE_ICO) {}
    bool Encode(RasterStream* stream);
};

class RasterImageTiff : public RasterImage {
public:
    RasterImageTiff() : RasterImage(RASTER_TYPE_TIFF) {}
    ~RasterImageTiff() override;
    bool Encode(RasterStream* stream, bool appendPage);

private:
    bool EncodePage(struct tiff* handle, bool multiPage, std::int32_t page);

    struct tiff* handle_ = nullptr;
    bool multiPage_ = false;
    std::int32_t pageCount_ = 0;
};

// The JPEG-2000 family: JP2 and JPC through OpenJPEG, PGX, PNM and RAS
// written directly.
class RasterImageJasper : public RasterImage {
public:
    RasterImageJasper() : RasterImage(RASTER_TYPE_NONE) {}
    bool Encode(RasterStream* stream, std::uint32_t typeId);

private:
    const char* EncodeJpeg2000(RasterStream* stream, bool jp2, bool grey);
    const char* EncodeUncompressed(RasterStream* stream, std::uint32_t typeId, bool grey);
};

class RasterImageTga : public RasterImage {
public:
    RasterImageTga() : RasterImage(RASTER_TYPE_TGA) {}
    bool Encode(RasterStream* stream);
};

class RasterImagePcx : public RasterImage {
public:
    RasterImagePcx() : RasterImage(RASTER_TYPE_PCX) {}
    bool Encode(RasterStream* stream);
};

class RasterImageWbmp : public RasterImage {
public:
    RasterImageWbmp() : RasterImage(RASTER_TYPE_WBMP) {}
    bool Encode(RasterStream* stream);
};

class RasterImageWmf : public RasterImage {
public:
    RasterImageWmf() : RasterImage(RASTER_TYPE_WMF) {}
    bool Encode(RasterStream* stream);
};
