// Drawing a raster image on a surface, and the copy of its bitmap block that
// goes to the clipboard. Sampling and blending are plain arithmetic on byte
// buffers; the surface supplies only its clip box, the pixels under a
// rectangle and the presentation of a finished buffer.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include "imagefile/raster_image.h"

namespace {

std::int64_t Clamp(std::int64_t v, std::int64_t low, std::int64_t high)
{
    return v < low ? low : (v > high ? high : v);
}

// One buffer of 24-bit bottom-up rows for the part of the target that lies
// in the clip box.
struct WorkBuffer {
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
    std::int32_t width = 0, height = 0;
    std::uint32_t rowBytes = 0;
    std::unique_ptr<std::uint8_t[]> pixels;

    WorkBuffer(const RasterRect& clipBox, std::int64_t x, std::int64_t y, std::int64_t cx, std::int64_t cy)
    {
        left = static_cast<std::int32_t>(Clamp(x, clipBox.left, clipBox.right));
        right = static_cast<std::int32_t>(Clamp(x + cx, clipBox.left, clipBox.right));
        top = static_cast<std::int32_t>(Clamp(y, clipBox.top, clipBox.bottom));
        bottom = static_cast<std::int32_t>(Clamp(y + cy, clipBox.top, clipBox.bottom));
        width = std::max(0, right - left);
        height = std::max(0, bottom - top);
        const std::uint64_t row = ((std::uint64_t{static_cast<std::uint32_t>(width)} * 24 + 31) / 32) * 4;
        const std::uint64_t total = row * static_cast<std::uint32_t>(height);
        rowBytes = static_cast<std::uint32_t>(row);
        // A buffer the platform could not give leaves `pixels` null: nothing
        // is composed and the presentation draws nothing.
        if (total > 0 && total <= std::numeric_limits<std::size_t>::max() / 2 && row <= 0xFFFFFFFFu)
            pixels.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(total)]());
    }
    // Buffer pixel of screen point (X, Y).
    std::uint8_t* At(std::int32_t X, std::int32_t Y) const
    {
        const std::int64_t r = static_cast<std::int64_t>(bottom) - 1 - Y;
        return pixels.get() + r * rowBytes + static_cast<std::int64_t>(X - left) * 3;
    }
};

}  // namespace

int RasterImage::Draw(RasterDrawTarget* dc, std::int32_t x, std::int32_t y, std::int32_t cx, std::int32_t cy,
                      const RasterRect* clip) const
{
    if (!dib_ || !dc || cx == 0 || cy == 0 || !info.enabled)
        return 0;
    const std::int64_t width = Width();
    const std::int64_t height = Height();
    std::int64_t cx64 = cx < 0 ? width : cx;
    std::int64_t cy64 = cy < 0 ? height : cy;

    RasterRect remembered{};
    if (clip) {
        remembered = dc->ClipBox();
        dc->CombineClip(*clip, RasterDrawTarget::ClipMode::Intersect);
    }

    const bool blending = info.transparentIndex != -1 || alpha_ != nullptr || info.alphaFromPalette != 0;
    const bool natural = cx64 == width && cy64 == height;
    const bool indexed = Bpp() < 24;
    const RasterColour transparent = TransparentColour();

    // Source colour of stored pixel (column, row).
    auto sourceColour = [&](std::int64_t column, std::int64_t row) {
        if (indexed)
            return PaletteEntry(IndexAt(column, row));
        const std::uint8_t* p = RowAddress(static_cast<std::uint32_t>(row)) + column * 3;
        return RasterColour{p[0], p[1], p[2], 0};
    };

    if (!blending && natural && !indexed) {
        // The image's own rows go to the surface as they are.
        dc->PutPixels(x, y, static_cast<std::int32_t>(width), static_cast<std::int32_t>(height),
                      header.biSizeImage ? RowAddress(0) : nullptr, info.rowBytes);
    } else {
        WorkBuffer buffer(dc->ClipBox(), x, y, cx64, cy64);
        const float rx = static_cast<float>(width) / static_cast<float>(cx64);
        const float ry = static_cast<float>(height) / static_cast<float>(cy64);
        // Stored pixel under screen point (X, Y).
        auto sample = [&](std::int32_t X, std::int32_t Y, std::int64_t* column, std::int64_t* row) {
            if (natural) {
                *column = static_cast<std::int64_t>(X) - x;
                *row = height - 1 - (static_cast<std::int64_t>(Y) - y);
            } else {
                *column = static_cast<std::int64_t>(
                    std::floor(static_cast<float>(static_cast<std::int64_t>(X) - x) * rx));
                *row = height - static_cast<std::int64_t>(
                                    std::ceil(static_cast<float>(static_cast<std::int64_t>(Y) + 1 - y) * ry));
                // Single-precision products may land one past an edge.
                *column = Clamp(*column, 0, width - 1);
                *row = Clamp(*row, 0, height - 1);
            }
        };
        if (buffer.pixels && width > 0 && height > 0) {
            if (blending &&
                !dc->ReadPixels(buffer.left, buffer.top, buffer.width, buffer.height, buffer.pixels.get(),
                                buffer.rowBytes)) {
                // The background stays as the zero-filled buffer.
            }
            for (std::int32_t Y = buffer.top; Y < buffer.bottom; ++Y) {
                for (std::int32_t X = buffer.left; X < buffer.right; ++X) {
                    std::int64_t column, row;
                    sample(X, Y, &column, &row);
                    const RasterColour s = sourceColour(column, row);
                    std::uint8_t* b = buffer.At(X, Y);
                    if (!blending) {
                        b[0] = s.blue;
                        b[1] = s.green;
                        b[2] = s.red;
                        continue;
                    }
                    unsigned a = alpha_ ? AlphaAt(column, row) : 255u;
                    a = ((info.alphaMax + 1u) * a) >> 8;
                    if (indexed && info.alphaFromPalette)
                        a = ((s.reserved + 1u) * a) >> 8;
                    if (info.transparentIndex != -1) {
                        const bool isTransparent =
                            indexed ? IndexAt(column, row) == static_cast<std::uint8_t>(info.transparentIndex)
                                    : (s.blue == transparent.blue && s.green == transparent.green &&
                                       s.red == transparent.red && transparent.reserved == 0);
                        if (isTransparent)
                            continue;
                    }
                    if (a == 0)
                        continue;
                    if (a == 255) {
                        b[0] = s.blue;
                        b[1] = s.green;
                        b[2] = s.red;
                        continue;
                    }
                    b[0] = static_cast<std::uint8_t>((s.blue * a + b[0] * (255u - a)) >> 8);
                    b[1] = static_cast<std::uint8_t>((s.green * a + b[1] * (255u - a)) >> 8);
                    b[2] = static_cast<std::uint8_t>((s.red * a + b[2] * (255u - a)) >> 8);
                }
            }
        }
        dc->PutPixels(buffer.left, buffer.top, buffer.width, buffer.height,
                      (width > 0 && height > 0) ? buffer.pixels.get() : nullptr, buffer.rowBytes);
    }

    if (clip)
        dc->CombineClip(remembered, RasterDrawTarget::ClipMode::Unite);
    return 1;
}

RasterGlobalBlock RasterImage::CopyToGlobalHandle() const
{
    RasterGlobalBlock block;
    if (!dib_)
        return block;
    const std::uint64_t size = DibBlockSize();
    if (size == 0 || size > std::numeric_limits<std::size_t>::max() / 2)
        return block;
    block.bytes.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(size)]());
    if (!block.bytes)
        return block;
    block.size = static_cast<std::size_t>(size);
    std::memcpy(block.bytes.get(), dib_, block.size);
    return block;
}
