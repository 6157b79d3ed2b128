// The format coders: each borrows the buffers of the image being encoded
// (RasterImage::ShareBuffersOf) and writes it to a stream.
#pragma once

#include <cstdint>

#include "imagefile/raster_image.h"

struct tiff;

class RasterImageBmp : public RasterImage {
public:
    RasterImageBmp() : RasterImage(RASTER_TYPE_BMP) {}
    bool Encode(RasterStream* stream);
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
