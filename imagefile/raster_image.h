// The raster image: a device-independent bitmap in one heap block (40-byte
// bitmap information header, palette, bottom-up rows padded to 4 bytes) plus
// a record of information about it, and its file encoders.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "imagefile/raster_stream.h"

static_assert(std::endian::native == std::endian::little,
              "the bitmap block is kept in little-endian byte order");

// The 40-byte bitmap information header, fixed-width fields only.
struct BITMAPINFOHEADER {
    std::uint32_t biSize;
    std::int32_t biWidth;
    std::int32_t biHeight;
    std::uint16_t biPlanes;
    std::uint16_t biBitCount;
    std::uint32_t biCompression;
    std::uint32_t biSizeImage;
    std::int32_t biXPelsPerMeter;
    std::int32_t biYPelsPerMeter;
    std::uint32_t biClrUsed;
    std::uint32_t biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40, "the bitmap information header is 40 bytes");

// One palette entry or colour: blue, green, red, reserved (or alpha).
struct RasterColour {
    std::uint8_t blue;
    std::uint8_t green;
    std::uint8_t red;
    std::uint8_t reserved;
    friend bool operator==(const RasterColour&, const RasterColour&) = default;
};
static_assert(sizeof(RasterColour) == 4);

// Image type ids: the format argument of RasterImage::Encode and Save.
enum RasterImageType : std::uint32_t {
    RASTER_TYPE_NONE = 0,
    RASTER_TYPE_BMP = 1,
    RASTER_TYPE_GIF = 2,
    RASTER_TYPE_JPEG = 3,
    RASTER_TYPE_PNG = 4,
    RASTER_TYPE_ICO = 5,
    RASTER_TYPE_TIFF = 6,
    RASTER_TYPE_TGA = 7,
    RASTER_TYPE_PCX = 8,
    RASTER_TYPE_WBMP = 9,
    RASTER_TYPE_WMF = 10,
    RASTER_TYPE_JP2 = 11,
    RASTER_TYPE_JPC = 12,
    RASTER_TYPE_PGX = 13,
    RASTER_TYPE_PNM = 14,
    RASTER_TYPE_RAS = 15,
};

// Upper bound of (width x height x bpp) / 256.
inline constexpr std::uint64_t RASTERIMAGE_MAX_MEMORY = 256000000;

class RasterImage;

// A rectangle in device pixels: left and top inside, right and bottom outside.
struct RasterRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};

// What RasterImage::Draw needs of a drawing surface (a window, a widget, a
// picture in memory). Coordinates are device pixels, y growing downwards.
// Pixel buffers are 24-bit bottom-up rows (blue, green, red): row 0 is the
// bottom screen row of the rectangle.
class RasterDrawTarget {
public:
    enum class ClipMode { Intersect, Unite };
    virtual ~RasterDrawTarget() = default;
    // The bounding box of the current clip region.
    virtual RasterRect ClipBox() const = 0;
    // Intersects the clip region with `rect`, or adds `rect` to it.
    virtual void CombineClip(const RasterRect& rect, ClipMode mode) = 0;
    // Copies what the surface shows under the rectangle into `pixels`;
    // false when it cannot.
    virtual bool ReadPixels(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height,
                            std::uint8_t* pixels, std::uint32_t rowBytes) = 0;
    // Shows the rows with their top-left corner at (left, top), within the
    // clip region. `pixels` null: nothing is shown.
    virtual void PutPixels(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height,
                           const std::uint8_t* pixels, std::uint32_t rowBytes) = 0;
};

// A copy of an image's bitmap block (header, palette, rows) that its
// receiver owns: what goes to the clipboard as a device-independent bitmap.
struct RasterGlobalBlock {
    std::unique_ptr<std::uint8_t[]> bytes;
    std::size_t size = 0;
    explicit operator bool() const { return bytes != nullptr; }
};

struct RasterImageInfo {
    std::uint32_t rowBytes = 0;              // bytes per stored row
    std::uint8_t* pixelData = nullptr;       // stored row 0 inside the bitmap block
    RasterImage* shareOwner = nullptr;       // image whose buffers are borrowed
    std::uint32_t typeId = 0;
    char lastError[256] = {};                // text of the last failure
    std::int32_t progress = 0;               // percentage written while cropping
    std::int32_t transparentIndex = -1;      // -1: none
    RasterColour transparentColour = {};
    std::uint8_t quality = 90;               // JPEG quality, JPEG-2000 rate in hundredths
    std::uint16_t frameDelay = 0;
    std::int32_t dpiX = 96;
    std::int32_t dpiY = 96;
    std::int32_t selectionBox[4] = {};
    std::uint8_t alphaMax = 255;             // opacity scale of every alpha value
    std::uint8_t alphaFromPalette = 0;       // reserved byte of each entry is its alpha
    std::uint8_t enabled = 1;
    std::int32_t offsetX = 0;
    std::int32_t offsetY = 0;
    std::uint32_t codecOptions = 0;          // per-format option bits
    RasterColour cachedColour = {};
    std::uint8_t cachedIndex = 0;
    std::uint8_t cacheValid = 0;
    std::int32_t layerCount = 0;
};

class RasterImage {
public:
    explicit RasterImage(std::uint32_t typeId = 0);
    RasterImage(std::uint32_t width, std::uint32_t height, std::uint32_t bpp, std::uint32_t typeId = 0);
    virtual ~RasterImage();
    RasterImage(const RasterImage&) = delete;
    RasterImage& operator=(const RasterImage&) = delete;

    // Lifetime and buffers.
    void ResetToDefaults(std::uint32_t typeId);
    bool Destroy();
    std::uint8_t* Create(std::uint32_t width, std::uint32_t height, std::uint32_t bpp, std::uint32_t typeId);
    bool CreateFromBuffer(const std::uint8_t* source, std::uint32_t width, std::uint32_t height,
                          std::uint32_t bpp, std::uint32_t bytesPerLine, bool flip);
    bool TakeOver(RasterImage& source);
    void ShareBuffersOf(RasterImage* source);
    bool Crop(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
              RasterImage* destination = nullptr);

    // Geometry.
    std::uint8_t* RowAddress(std::uint32_t row) const;
    std::uint64_t DibBlockSize() const;
    bool ContainsPoint(std::int64_t x, std::int64_t y) const;
    std::uint32_t Width() const { return static_cast<std::uint32_t>(header.biWidth); }
    std::uint32_t Height() const { return static_cast<std::uint32_t>(header.biHeight); }
    std::uint32_t Bpp() const { return header.biBitCount; }
    bool IsValid() const { return dib_ != nullptr; }

    // Palette.
    std::uint32_t PaletteBytes() const { return header.biClrUsed * 4u; }
    RasterColour* PaletteData() const;
    RasterColour PaletteEntry(std::uint8_t index) const;
    bool PaletteEntryRgb(std::uint8_t index, std::uint8_t* red, std::uint8_t* green, std::uint8_t* blue) const;
    void PutPaletteEntry(std::uint8_t index, RasterColour colour);
    void CopyPaletteFrom(const RasterColour* entries, std::uint32_t count);
    void MakeGreyRamp();
    bool IsGreyRamp() const;
    void ExchangeIndices(std::uint8_t a, std::uint8_t b);
    std::uint8_t NearestPaletteIndex(RasterColour colour);
    bool PaletteHasAlpha() const;

    // Pixels (x from the left, y the stored row: 0 is the bottom of the picture).
    std::uint8_t IndexAt(std::int64_t x, std::int64_t y) const;
    void PutIndex(std::int64_t x, std::int64_t y, std::uint8_t index);
    RasterColour ColourAt(std::int64_t x, std::int64_t y, bool withAlpha) const;
    void SwapRedBlue(std::uint8_t* buffer, std::int64_t length) const;

    // Alpha plane and transparency.
    bool AllocAlpha();
    void FreeAlpha();
    void PutAlpha(std::int64_t x, std::int64_t y, std::uint8_t value);
    std::uint8_t AlphaAt(std::int64_t x, std::int64_t y) const;
    std::uint8_t* AlphaPlane() const { return alpha_; }
    RasterColour TransparentColour() const;
    std::uint32_t ColourTypeMask() const;
    static std::int32_t LumaDifference(RasterColour a, RasterColour b);
    void FreeSelection();

    // Encoding into a stream, an open file or a new file by name.
    bool Encode(RasterStream* stream, std::uint32_t typeId);
    bool EncodeToFile(std::FILE* file, std::uint32_t typeId);
    bool Save(const char* fileName, std::uint32_t typeId);
    bool CheckEncodeArgs(RasterStream* stream);

    // Drawing on a surface at (x, y), cx x cy pixels (negative: the image's
    // own width or height), stretched by nearest-neighbour sampling when the
    // size differs, within `clip` when given. 1 when drawn, 0 when refused.
    int Draw(RasterDrawTarget* dc, std::int32_t x, std::int32_t y, std::int32_t cx = -1, std::int32_t cy = -1,
             const RasterRect* clip = nullptr) const;
    // The bitmap block copied into a zero-initialised block of
    // DibBlockSize() bytes; empty for an image without block or when the
    // block cannot be had.
    RasterGlobalBlock CopyToGlobalHandle() const;

    std::uint8_t* DibBlock() const { return dib_; }
    const char* LastError() const { return info.lastError; }
    void SetLastError(const char* text);

    BITMAPINFOHEADER header;   // the record's own copy of the header
    RasterImageInfo info;

protected:
    std::uint8_t* dib_ = nullptr;         // header + palette + pixel rows
    std::uint8_t* selection_ = nullptr;   // never filled by this system
    std::uint8_t* alpha_ = nullptr;       // width x height opacity bytes, bottom-up
    RasterImage** layers_ = nullptr;      // info.layerCount entries

private:
    void CopyRecordFrom(const RasterImage& source);
};

// A cursor over the stored rows of an image.
struct RasterRowWalker {
    explicit RasterRowWalker(const RasterImage& image)
        : column(0), row(0), rowAddress(image.RowAddress(0)), image(&image) {}
    // Stands on the top row of the picture (the last stored row).
    void FromTop()
    {
        column = 0;
        row = static_cast<std::int64_t>(image->Height()) - 1;
        rowAddress = row >= 0 ? image->RowAddress(static_cast<std::uint32_t>(row)) : nullptr;
    }
    std::int64_t column;
    std::int64_t row;
    std::uint8_t* rowAddress;
    const RasterImage* image;
};
