// PNG encoder over libpng.
#include <png.h>

#include <algorithm>
#include <cstring>

#include "imagefile/raster_coders.h"
#include "imagefile/raster_memory.h"

namespace {

void WriteData(png_structp png, png_bytep data, size_t length)
{
    auto* stream = static_cast<RasterStream*>(png_get_io_ptr(png));
    if (stream->Write(data, 1, length) != length)
        png_error(png, "Write Error");
}

void FlushData(png_structp png)
{
    auto* stream = static_cast<RasterStream*>(png_get_io_ptr(png));
    if (!stream->Flush())
        png_error(png, "Flush Error");
}

// Blocks that must be freed whichever way the encoding ends. Kept in memory
// (volatile) because libpng reports its errors with a long jump.
struct PngScratch {
    png_color* volatile palette = nullptr;
    std::uint8_t* volatile row = nullptr;
    volatile bool temporaryAlpha = false;
};

} // namespace

bool RasterImagePng::Encode(RasterStream* stream)
{
    if (CheckEncodeArgs(stream))
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) {
        SetLastError("Failed to create PNG structure");
        return false;
    }
    png_infop pngInfo = png_create_info_struct(png);
    if (!pngInfo) {
        png_destroy_write_struct(&png, nullptr);
        SetLastError("Failed to initialize PNG info structure");
        return false;
    }

    PngScratch scratch;
    if (setjmp(png_jmpbuf(png))) {
        RasterFree(scratch.palette);
        RasterFree(scratch.row);
        if (scratch.temporaryAlpha)
            FreeAlpha();
        png_destroy_write_struct(&png, &pngInfo);
        SetLastError("Error saving PNG file");
        return false;
    }
    png_set_write_fn(png, stream, WriteData, FlushData);

    const std::uint32_t width = Width();
    const std::uint32_t height = Height();
    const std::uint32_t bpp = Bpp();

    png_color_16 background{};
    background.index = 0;
    background.red = background.green = background.blue = 255;
    background.gray = 0;
    if (info.transparentIndex != -1) {
        background.red = info.transparentColour.red;
        background.green = info.transparentColour.green;
        background.blue = info.transparentColour.blue;
    }

    // Palette images: move the transparent colour to index 0, and trim the
    // palette of small images to the indices they use.
    int paletteEntries = 0;
    png_byte transparency[256];
    int transparencyEntries = 0;
    if (PaletteData()) {
        paletteEntries = static_cast<int>(header.biClrUsed);
        const std::int32_t t = info.transparentIndex;
        if (t >= 0 && t < paletteEntries) {
            transparency[0] = 0;
            transparencyEntries = 1;
            if (t != 0) {
                ExchangeIndices(0, static_cast<std::uint8_t>(t));
                info.transparentIndex = 0;
                if (info.shareOwner)
                    info.shareOwner->info.transparentIndex = 0;
            }
        }
        if (paletteEntries > 2 && std::uint64_t{width} * height < 65536) {
            int highest = 0;
            for (std::uint32_t y = 0; y < height; ++y)
                for (std::uint32_t x = 0; x < width; ++x)
                    highest = std::max<int>(highest, IndexAt(x, y));
            paletteEntries = highest + 1;
        }
        if (info.alphaFromPalette) {
            const RasterColour* palette = PaletteData();
            for (int i = 0; i < paletteEntries; ++i)
                transparency[i] = palette[i].reserved;
            transparencyEntries = paletteEntries;
        }
        scratch.palette = static_cast<png_color*>(RasterAlloc(sizeof(png_color) * static_cast<std::size_t>(paletteEntries)));
        if (!scratch.palette)
            png_error(png, "out of memory");
        for (int i = 0; i < paletteEntries; ++i) {
            const RasterColour c = PaletteEntry(static_cast<std::uint8_t>(i));
            scratch.palette[i].red = c.red;
            scratch.palette[i].green = c.green;
            scratch.palette[i].blue = c.blue;
        }
    }

    // A 24-bit image with a transparent colour gets alpha 0 on that colour,
    // in a temporary alpha plane when it has none.
    if (bpp == 24 && info.transparentIndex >= 0) {
        if (!alpha_) {
            if (!AllocAlpha())
                png_error(png, "out of memory");
            scratch.temporaryAlpha = true;
        }
        const RasterColour t = TransparentColour();
        for (std::uint32_t y = 0; y < height; ++y)
            for (std::uint32_t x = 0; x < width; ++x)
                if (ColourAt(x, y, false) == t)
                    PutAlpha(x, y, 0);
    }

    const bool withAlpha = alpha_ != nullptr;
    int colourType;
    int bitDepth;
    if (withAlpha) {
        colourType = PNG_COLOR_TYPE_RGB_ALPHA;
        bitDepth = 8;
    } else if (PaletteData()) {
        colourType = PNG_COLOR_TYPE_PALETTE;
        bitDepth = static_cast<int>(bpp);
    } else {
        colourType = PNG_COLOR_TYPE_RGB;
        bitDepth = 8;
    }
    png_set_IHDR(png, pngInfo, width, height, bitDepth, colourType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (colourType == PNG_COLOR_TYPE_PALETTE) {
        png_set_PLTE(png, pngInfo, scratch.palette, paletteEntries);
        if (transparencyEntries)
            png_set_tRNS(png, pngInfo, transparency, transparencyEntries, nullptr);
    }
    png_set_bKGD(png, pngInfo, &background);
    png_set_pHYs(png, pngInfo, static_cast<png_uint_32>(header.biXPelsPerMeter),
                 static_cast<png_uint_32>(header.biYPelsPerMeter), PNG_RESOLUTION_METER);
    png_write_info(png, pngInfo);

    if (withAlpha) {
        scratch.row = static_cast<std::uint8_t*>(RasterAlloc(std::size_t{width} * 4));
        if (!scratch.row)
            png_error(png, "out of memory");
        for (std::int64_t y = std::int64_t{height} - 1; y >= 0; --y) {
            std::uint8_t* out = scratch.row;
            for (std::uint32_t x = 0; x < width; ++x) {
                const RasterColour c = ColourAt(x, y, false);
                out[4 * x + 0] = c.red;
                out[4 * x + 1] = c.green;
                out[4 * x + 2] = c.blue;
                out[4 * x + 3] = static_cast<std::uint8_t>(AlphaAt(x, y) * info.alphaMax / 255);
            }
            png_write_row(png, out);
        }
    } else {
        scratch.row = static_cast<std::uint8_t*>(RasterAlloc(std::size_t{info.rowBytes} + 10));
        if (!scratch.row)
            png_error(png, "out of memory");
        for (std::int64_t y = std::int64_t{height} - 1; y >= 0; --y) {
            std::memcpy(scratch.row, RowAddress(static_cast<std::uint32_t>(y)), info.rowBytes);
            if (colourType == PNG_COLOR_TYPE_RGB)
                SwapRedBlue(scratch.row, info.rowBytes);
            png_write_row(png, scratch.row);
        }
    }

    if (scratch.temporaryAlpha) {
        FreeAlpha();
        scratch.temporaryAlpha = false;
    }
    png_write_end(png, pngInfo);
    RasterFree(scratch.palette);
    scratch.palette = nullptr;
    RasterFree(scratch.row);
    scratch.row = nullptr;
    png_destroy_write_struct(&png, &pngInfo);
    return true;
}
