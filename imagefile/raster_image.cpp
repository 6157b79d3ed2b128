#include "imagefile/raster_image.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <type_traits>

#include "imagefile/raster_memory.h"

static_assert(std::is_trivially_copyable_v<RasterImageInfo>);
static_assert(std::is_trivially_copyable_v<BITMAPINFOHEADER>);

namespace {

constexpr std::int32_t kDefaultPelsPerMeter = 3780;   // 96 dots per inch

std::uint32_t PaletteEntriesFor(std::uint32_t bpp)
{
    switch (bpp) {
    case 1: return 2;
    case 4: return 16;
    case 8: return 256;
    default: return 0;
    }
}

std::uint64_t RowBytesFor(std::uint64_t width, std::uint64_t bpp)
{
    return ((width * bpp + 31) / 32) * 4;
}

} // namespace

RasterImage::RasterImage(std::uint32_t typeId)
{
    ResetToDefaults(typeId);
}

RasterImage::RasterImage(std::uint32_t width, std::uint32_t height, std::uint32_t bpp, std::uint32_t typeId)
{
    ResetToDefaults(typeId);
    Create(width, height, bpp, typeId);
}

RasterImage::~RasterImage()
{
    Destroy();
}

void RasterImage::ResetToDefaults(std::uint32_t typeId)
{
    header = BITMAPINFOHEADER{};
    header.biXPelsPerMeter = kDefaultPelsPerMeter;
    header.biYPelsPerMeter = kDefaultPelsPerMeter;
    info = RasterImageInfo{};
    info.typeId = typeId;
    dib_ = nullptr;
    selection_ = nullptr;
    alpha_ = nullptr;
    layers_ = nullptr;
}

bool RasterImage::Destroy()
{
    if (info.shareOwner)
        return false;
    if (layers_) {
        for (std::int32_t i = 0; i < info.layerCount; ++i)
            delete layers_[i];
        RasterFree(layers_);
        layers_ = nullptr;
    }
    RasterFree(selection_);
    selection_ = nullptr;
    RasterFree(alpha_);
    alpha_ = nullptr;
    RasterFree(dib_);
    dib_ = nullptr;
    // The record stays readable; only the pointer into the freed block goes.
    info.pixelData = nullptr;
    return true;
}

void RasterImage::SetLastError(const char* text)
{
    std::strncpy(info.lastError, text ? text : "", sizeof(info.lastError) - 1);
    info.lastError[sizeof(info.lastError) - 1] = '\0';
}

std::uint8_t* RasterImage::Create(std::uint32_t width, std::uint32_t height, std::uint32_t bpp, std::uint32_t typeId)
{
    if (!Destroy())
        return nullptr;

    if (bpp <= 1)
        bpp = 1;
    else if (bpp <= 4)
        bpp = 4;
    else if (bpp <= 8)
        bpp = 8;
    else
        bpp = 24;

    // The limit on the full product, in 64 bits; beyond it the header's
    // 32-bit fields could not describe the image either.
    const std::uint64_t pixels = std::uint64_t{width} * height;
    const std::uint64_t rowBytes = RowBytesFor(width, bpp);
    const std::uint64_t entries = PaletteEntriesFor(bpp);
    const std::uint64_t imageBytes = rowBytes * height;
    const std::uint64_t blockBytes = 40 + entries * 4 + imageBytes;
    const bool tooLarge = pixels > std::numeric_limits<std::uint64_t>::max() / 24 ||
                          pixels * bpp / 256 > RASTERIMAGE_MAX_MEMORY ||
                          width > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max()) ||
                          height > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max()) ||
                          blockBytes + 14 > std::numeric_limits<std::uint32_t>::max();
    if (tooLarge) {
        SetLastError("RASTERIMAGE_MAX_MEMORY exceeded");
        return nullptr;
    }

    info.rowBytes = static_cast<std::uint32_t>(rowBytes);
    info.typeId = typeId;
    header.biSize = 40;
    header.biWidth = static_cast<std::int32_t>(width);
    header.biHeight = static_cast<std::int32_t>(height);
    header.biPlanes = 1;
    header.biBitCount = static_cast<std::uint16_t>(bpp);
    header.biCompression = 0;
    header.biSizeImage = static_cast<std::uint32_t>(imageBytes);
    header.biClrUsed = static_cast<std::uint32_t>(entries);
    header.biClrImportant = 0;

    // Cleared as a whole: the palette starts black and the padding bytes at
    // the end of every row are zero.
    dib_ = static_cast<std::uint8_t*>(RasterCalloc(static_cast<std::size_t>(blockBytes)));
    if (!dib_) {
        SetLastError("RasterImage::Create can't allocate memory");
        return nullptr;
    }
    std::memcpy(dib_, &header, sizeof(header));
    info.pixelData = dib_ + 40 + entries * 4;
    return dib_;
}

bool RasterImage::CreateFromBuffer(const std::uint8_t* source, std::uint32_t width, std::uint32_t height,
                                   std::uint32_t bpp, std::uint32_t bytesPerLine, bool flip)
{
    if (!source || (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32))
        return false;
    if (!Create(width, height, bpp, 0))
        return false;
    if (bpp < 24)
        MakeGreyRamp();
    if (bpp == 32 && !AllocAlpha()) {
        Destroy();
        SetLastError("RasterImage::Create can't allocate memory");
        return false;
    }

    // Only the bytes that hold pixels are copied; the padding stays zero, and
    // no source row is read beyond its bytes per line.
    const std::uint64_t pixelBytes = (std::uint64_t{width} * (bpp == 32 ? 24 : bpp) + 7) / 8;
    for (std::uint32_t i = 0; i < height; ++i) {
        const std::uint8_t* src = source + std::uint64_t{i} * bytesPerLine;
        const std::uint32_t row = flip ? height - 1 - i : i;
        std::uint8_t* dst = RowAddress(row);
        if (bpp == 32) {
            const std::uint64_t count = std::min<std::uint64_t>(width, bytesPerLine / 4);
            std::uint8_t* alphaRow = alpha_ + std::uint64_t{row} * width;
            for (std::uint64_t x = 0; x < count; ++x) {
                dst[3 * x + 0] = src[4 * x + 0];
                dst[3 * x + 1] = src[4 * x + 1];
                dst[3 * x + 2] = src[4 * x + 2];
                alphaRow[x] = src[4 * x + 3];
            }
        } else {
            std::memcpy(dst, src, static_cast<std::size_t>(std::min<std::uint64_t>(pixelBytes, bytesPerLine)));
        }
    }
    return true;
}

void RasterImage::CopyRecordFrom(const RasterImage& source)
{
    header = source.header;
    info = source.info;
}

bool RasterImage::TakeOver(RasterImage& source)
{
    if (&source == this)
        return true;
    if (!Destroy())
        return false;
    CopyRecordFrom(source);
    dib_ = source.dib_;
    selection_ = source.selection_;
    alpha_ = source.alpha_;
    layers_ = source.layers_;
    std::memset(static_cast<void*>(&source.header), 0, sizeof(source.header));
    std::memset(static_cast<void*>(&source.info), 0, sizeof(source.info));
    source.dib_ = nullptr;
    source.selection_ = nullptr;
    source.alpha_ = nullptr;
    source.layers_ = nullptr;
    return true;
}

void RasterImage::ShareBuffersOf(RasterImage* source)
{
    if (!source || source == this)
        return;
    // Buffers this record owned would otherwise be lost.
    Destroy();
    CopyRecordFrom(*source);
    dib_ = source->dib_;
    selection_ = source->selection_;
    alpha_ = source->alpha_;
    layers_ = source->layers_;
    info.shareOwner = source;
}

bool RasterImage::Crop(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
                       RasterImage* destination)
{
    if (!dib_)
        return false;
    const std::int64_t width = Width();
    const std::int64_t height = Height();
    auto clamp = [](std::int64_t v, std::int64_t hi) { return v < 0 ? 0 : (v > hi ? hi : v); };
    std::int64_t l = clamp(left, width);
    std::int64_t r = clamp(right, width);
    std::int64_t s = height - clamp(top, height);
    std::int64_t e = height - clamp(bottom, height);
    if (l == r || s == e)
        return false;
    if (l > r)
        std::swap(l, r);
    if (s > e)
        std::swap(s, e);
    const std::int64_t newWidth = r - l;
    const std::int64_t newHeight = e - s;
    const std::uint32_t bpp = Bpp();

    RasterImage tmp(info.typeId);
    if (!tmp.Create(static_cast<std::uint32_t>(newWidth), static_cast<std::uint32_t>(newHeight), bpp, info.typeId))
        return false;
    tmp.CopyPaletteFrom(PaletteData(), header.biClrUsed);
    tmp.info.transparentIndex = info.transparentIndex;
    tmp.info.transparentColour = info.transparentColour;

    for (std::int64_t y = s; y < e; ++y) {
        info.progress = static_cast<std::int32_t>((y * 100) / e);
        const std::int64_t k = y - s;
        if (bpp == 1 || bpp == 4) {
            for (std::int64_t j = 0; j < newWidth; ++j)
                tmp.PutIndex(j, k, IndexAt(l + j, y));
        } else {
            const std::uint8_t* src = RowAddress(static_cast<std::uint32_t>(y)) + (bpp * l) / 8;
            std::memcpy(tmp.RowAddress(static_cast<std::uint32_t>(k)), src,
                        static_cast<std::size_t>((bpp * newWidth) / 8));
        }
    }

    if (alpha_) {
        if (!tmp.AllocAlpha())
            return false;
        for (std::int64_t k = 0; k < newHeight; ++k)
            std::memcpy(tmp.alpha_ + k * newWidth, alpha_ + (s + k) * width + l, static_cast<std::size_t>(newWidth));
    }

    RasterImage* target = destination ? destination : this;
    return target->TakeOver(tmp);
}

std::uint8_t* RasterImage::RowAddress(std::uint32_t row) const
{
    if (!dib_)
        return nullptr;
    std::uint32_t storedSize;
    std::memcpy(&storedSize, dib_, sizeof(storedSize));
    std::uint8_t* pixels = dib_ + PaletteBytes() + storedSize;
    if (row == 0)
        return pixels;
    if (row >= Height())
        return nullptr;
    return pixels + std::uint64_t{row} * info.rowBytes;
}

std::uint64_t RasterImage::DibBlockSize() const
{
    return std::uint64_t{header.biSize} + PaletteBytes() + header.biSizeImage;
}

bool RasterImage::ContainsPoint(std::int64_t x, std::int64_t y) const
{
    return x >= 0 && x < static_cast<std::int64_t>(Width()) && y >= 0 && y < static_cast<std::int64_t>(Height());
}

RasterColour* RasterImage::PaletteData() const
{
    if (!dib_ || header.biClrUsed == 0)
        return nullptr;
    return reinterpret_cast<RasterColour*>(dib_ + header.biSize);
}

RasterColour RasterImage::PaletteEntry(std::uint8_t index) const
{
    const RasterColour* palette = PaletteData();
    if (!palette || index >= header.biClrUsed)
        return RasterColour{};
    return palette[index];
}

bool RasterImage::PaletteEntryRgb(std::uint8_t index, std::uint8_t* red, std::uint8_t* green, std::uint8_t* blue) const
{
    const RasterColour* palette = PaletteData();
    if (!palette || index >= header.biClrUsed)
        return false;
    *red = palette[index].red;
    *green = palette[index].green;
    *blue = palette[index].blue;
    return true;
}

void RasterImage::PutPaletteEntry(std::uint8_t index, RasterColour colour)
{
    RasterColour* palette = PaletteData();
    if (!palette || index >= header.biClrUsed)
        return;
    palette[index] = colour;
    info.cacheValid = 0;
}

void RasterImage::CopyPaletteFrom(const RasterColour* entries, std::uint32_t count)
{
    RasterColour* palette = PaletteData();
    if (!entries || !palette)
        return;
    std::memcpy(palette, entries, std::min(header.biClrUsed, count) * sizeof(RasterColour));
    info.cacheValid = 0;
}

void RasterImage::MakeGreyRamp()
{
    RasterColour* palette = PaletteData();
    const std::uint32_t n = header.biClrUsed;
    if (!palette || n < 2)
        return;
    const std::uint32_t step = 255 / (n - 1);
    for (std::uint32_t i = 0; i < n; ++i) {
        const auto v = static_cast<std::uint8_t>(i * step);
        palette[i].blue = v;
        palette[i].green = v;
        palette[i].red = v;
    }
    info.cacheValid = 0;
}

bool RasterImage::IsGreyRamp() const
{
    const RasterColour* palette = PaletteData();
    if (!palette)
        return false;
    for (std::uint32_t i = 0; i < header.biClrUsed; ++i) {
        if (palette[i].blue != i || palette[i].green != i || palette[i].red != i)
            return false;
    }
    return true;
}

void RasterImage::ExchangeIndices(std::uint8_t a, std::uint8_t b)
{
    if (!PaletteData())
        return;
    const RasterColour entryA = PaletteEntry(a);
    const RasterColour entryB = PaletteEntry(b);
    PutPaletteEntry(a, entryB);
    PutPaletteEntry(b, entryA);
    const std::int64_t width = Width();
    const std::int64_t height = Height();
    for (std::int64_t y = 0; y < height; ++y) {
        for (std::int64_t x = 0; x < width; ++x) {
            const std::uint8_t index = IndexAt(x, y);
            if (index == a)
                PutIndex(x, y, b);
            else if (index == b)
                PutIndex(x, y, a);
        }
    }
}

std::uint8_t RasterImage::NearestPaletteIndex(RasterColour colour)
{
    const RasterColour* palette = PaletteData();
    if (!palette)
        return 0;
    if (info.cacheValid && info.cachedColour == colour)
        return info.cachedIndex;
    info.cachedColour = colour;
    info.cacheValid = 1;
    const std::uint32_t n = std::min<std::uint32_t>(header.biClrImportant ? header.biClrImportant : header.biClrUsed,
                                                    header.biClrUsed);
    std::int64_t best = 200000;
    std::uint32_t bestIndex = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        const std::int64_t db = palette[i].blue - colour.blue;
        const std::int64_t dg = palette[i].green - colour.green;
        const std::int64_t dr = palette[i].red - colour.red;
        const std::int64_t distance = db * db + dg * dg + dr * dr;
        if (distance < best) {
            best = distance;
            bestIndex = i;
            if (distance == 0)
                break;
        }
    }
    info.cachedIndex = static_cast<std::uint8_t>(bestIndex);
    return info.cachedIndex;
}

bool RasterImage::PaletteHasAlpha() const
{
    const RasterColour* palette = PaletteData();
    if (!palette)
        return false;
    for (std::uint32_t i = 0; i < header.biClrUsed; ++i) {
        if (palette[i].reserved != 0)
            return true;
    }
    return false;
}

std::uint8_t RasterImage::IndexAt(std::int64_t x, std::int64_t y) const
{
    if (!dib_ || header.biClrUsed == 0)
        return 0;
    if (!ContainsPoint(x, y)) {
        if (info.transparentIndex != -1)
            return static_cast<std::uint8_t>(info.transparentIndex);
        // An image without pixels has no first pixel byte to read.
        return header.biSizeImage ? RowAddress(0)[0] : 0;
    }
    const std::uint8_t b = RowAddress(static_cast<std::uint32_t>(y))[(x * Bpp()) / 8];
    switch (Bpp()) {
    case 8: return b;
    case 4: return (b >> ((x % 2 == 0) ? 4 : 0)) & 15;
    case 1: return (b >> (7 - x % 8)) & 1;
    default: return 0;
    }
}

void RasterImage::PutIndex(std::int64_t x, std::int64_t y, std::uint8_t index)
{
    if (!dib_ || header.biClrUsed == 0 || !ContainsPoint(x, y))
        return;
    std::uint8_t& b = RowAddress(static_cast<std::uint32_t>(y))[(x * Bpp()) / 8];
    switch (Bpp()) {
    case 8:
        b = index;
        break;
    case 4: {
        const int shift = (x % 2 == 0) ? 4 : 0;
        b = static_cast<std::uint8_t>((b & ~(15 << shift)) | ((index & 15) << shift));
        break;
    }
    case 1: {
        const int shift = static_cast<int>(7 - x % 8);
        b = static_cast<std::uint8_t>((b & ~(1 << shift)) | ((index & 1) << shift));
        break;
    }
    default:
        break;
    }
}

RasterColour RasterImage::ColourAt(std::int64_t x, std::int64_t y, bool withAlpha) const
{
    RasterColour c = info.transparentColour;
    if (dib_ && ContainsPoint(x, y)) {
        if (header.biClrUsed) {
            c = PaletteEntry(IndexAt(x, y));
        } else {
            const std::uint8_t* p = RowAddress(static_cast<std::uint32_t>(y)) + x * 3;
            c.blue = p[0];
            c.green = p[1];
            c.red = p[2];
        }
        if (alpha_ && withAlpha)
            c.reserved = AlphaAt(x, y);
        return c;
    }
    if (info.transparentIndex != -1) {
        if (Bpp() < 24)
            return PaletteEntry(static_cast<std::uint8_t>(info.transparentIndex));
        return info.transparentColour;
    }
    // Pixel (0, 0) stands for every point outside; an image without pixels
    // answers its transparent colour.
    if (dib_ && ContainsPoint(0, 0))
        return ColourAt(0, 0, true);
    return c;
}

void RasterImage::SwapRedBlue(std::uint8_t* buffer, std::int64_t length) const
{
    if (header.biClrUsed != 0 || !buffer)
        return;
    length = std::min<std::int64_t>(length, info.rowBytes);
    // Whole groups of three only: nothing past `length` is touched.
    for (std::int64_t i = 0; i + 2 < length; i += 3)
        std::swap(buffer[i], buffer[i + 2]);
}

bool RasterImage::AllocAlpha()
{
    if (!alpha_) {
        const std::uint64_t bytes = std::uint64_t{Width()} * Height();
        alpha_ = static_cast<std::uint8_t*>(RasterAlloc(static_cast<std::size_t>(bytes)));
        if (alpha_)
            std::memset(alpha_, 255, static_cast<std::size_t>(bytes));
    }
    return alpha_ != nullptr;
}

void RasterImage::FreeAlpha()
{
    RasterFree(alpha_);
    alpha_ = nullptr;
}

void RasterImage::PutAlpha(std::int64_t x, std::int64_t y, std::uint8_t value)
{
    if (alpha_ && ContainsPoint(x, y))
        alpha_[y * static_cast<std::int64_t>(Width()) + x] = value;
}

std::uint8_t RasterImage::AlphaAt(std::int64_t x, std::int64_t y) const
{
    if (!alpha_ || !ContainsPoint(x, y))
        return 0;
    return alpha_[y * static_cast<std::int64_t>(Width()) + x];
}

RasterColour RasterImage::TransparentColour() const
{
    if (Bpp() < 24 && info.transparentIndex != -1)
        return PaletteEntry(static_cast<std::uint8_t>(info.transparentIndex));
    return info.transparentColour;
}

std::uint32_t RasterImage::ColourTypeMask() const
{
    if (alpha_)
        return 4;
    return Bpp() <= 8 ? 1 : 2;
}

std::int32_t RasterImage::LumaDifference(RasterColour a, RasterColour b)
{
    const std::int32_t lumaA = (117 * a.blue + 601 * a.green + 306 * a.red) >> 10;
    const std::int32_t lumaB = (117 * b.blue + 601 * b.green + 306 * b.red) >> 10;
    return lumaA - lumaB;
}

void RasterImage::FreeSelection()
{
    RasterFree(selection_);
    selection_ = nullptr;
    info.selectionBox[0] = header.biWidth;
    info.selectionBox[1] = 0;
    info.selectionBox[2] = 0;
    info.selectionBox[3] = header.biHeight;
}
