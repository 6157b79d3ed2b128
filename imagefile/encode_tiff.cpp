// TIFF encoder over libtiff, connected to a RasterStream by client procedures.
#include <tiffio.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "imagefile/raster_coders.h"
#include "imagefile/raster_memory.h"
#include "imagefile/tiff_stream.h"

namespace {

void SilentHandler(const char*, const char*, va_list) {}

// libtiff's messages are dropped from the start of the program: a failure
// shows only through a libtiff result.
struct SilenceLibtiff {
    SilenceLibtiff()
    {
        TIFFSetWarningHandler(SilentHandler);
        TIFFSetErrorHandler(SilentHandler);
    }
} g_silenceLibtiff;

RasterStream* StreamOf(thandle_t handle)
{
    return static_cast<RasterStream*>(handle);
}

tmsize_t RasterStreamReadProc(thandle_t handle, void* buffer, tmsize_t size)
{
    if (size <= 0)
        return 0;
    return static_cast<tmsize_t>(StreamOf(handle)->Read(buffer, 1, static_cast<std::size_t>(size)));
}

tmsize_t RasterStreamWriteProc(thandle_t handle, void* buffer, tmsize_t size)
{
    if (size <= 0)
        return 0;
    return static_cast<tmsize_t>(StreamOf(handle)->Write(buffer, 1, static_cast<std::size_t>(size)));
}

toff_t RasterTiffSeekProc(thandle_t handle, toff_t offset, int whence)
{
    if (offset == static_cast<toff_t>(-1))
        return static_cast<toff_t>(-1);
    RasterStream* stream = StreamOf(handle);
    if (!stream->Seek(static_cast<std::int64_t>(offset), whence))
        return static_cast<toff_t>(-1);
    return whence == SEEK_SET ? offset : static_cast<toff_t>(stream->Tell());
}

int RasterTiffCloseProc(thandle_t)
{
    return 0;   // the stream belongs to the caller and stays open
}

toff_t RasterTiffSizeProc(thandle_t handle)
{
    return static_cast<toff_t>(StreamOf(handle)->Size());
}

int RasterTiffMapProc(thandle_t, void**, toff_t*)
{
    return 0;
}

void RasterTiffUnmapProc(thandle_t, void*, toff_t) {}

} // namespace

TIFF* RasterTiffOpenStream(RasterStream* stream, const char* mode)
{
    // The stream is kept only as client data: a file-descriptor field (an int)
    // cannot hold a pointer.
    return TIFFClientOpen("TIFF IMAGE", mode, static_cast<thandle_t>(stream), RasterStreamReadProc,
                          RasterStreamWriteProc, RasterTiffSeekProc, RasterTiffCloseProc, RasterTiffSizeProc,
                          RasterTiffMapProc, RasterTiffUnmapProc);
}

RasterImageTiff::~RasterImageTiff()
{
    if (handle_)
        TIFFClose(handle_);
}

bool RasterImageTiff::Encode(RasterStream* stream, bool appendPage)
{
    const char* failure = nullptr;
    if (!stream) {
        failure = "null file handler";
    } else if (!dib_) {
        failure = "null image!!!";
    } else {
        if (!handle_) {
            handle_ = RasterTiffOpenStream(stream, "a");
            if (!handle_)
                failure = "initialization fail";
        }
        if (!failure) {
            if (appendPage || pageCount_ != 0)
                multiPage_ = true;
            ++pageCount_;
            if (!EncodePage(handle_, multiPage_, pageCount_)) {
                failure = "Error saving TIFF file";
            } else if (appendPage) {
                if (TIFFWriteDirectory(handle_) == 0)
                    failure = "Error saving TIFF directory";
            } else {
                TIFFClose(handle_);
                handle_ = nullptr;
                multiPage_ = false;
                pageCount_ = 0;
            }
        }
    }
    if (failure) {
        SetLastError(failure);
        if (handle_) {
            TIFFClose(handle_);
            handle_ = nullptr;
        }
        multiPage_ = false;
        pageCount_ = 0;
        return false;
    }
    return true;
}

bool RasterImageTiff::EncodePage(TIFF* tif, bool multiPage, std::int32_t page)
{
    const std::uint32_t width = Width();
    const std::uint32_t height = Height();
    const std::uint32_t bpp = Bpp();

    std::uint16_t samples = bpp == 24 ? 3 : 1;
    std::uint32_t bits = bpp;
    if (bpp == 24 && alpha_) {
        bits = 32;
        samples = 4;
    }
    const std::uint16_t bitsPerSample = static_cast<std::uint16_t>(bits / samples);

    std::uint16_t photometric;
    if (bits == 1) {
        // Index 0 is written as white. The caller's image is brought into
        // that order: entries 0 and 1 exchanged and the pixel bits inverted
        // (the bits and bytes after the last pixel of a row stay as they
        // are); the picture stays the same.
        if (LumaDifference(PaletteEntry(0), PaletteEntry(1)) < 0) {
            const RasterColour first = PaletteEntry(0);
            PutPaletteEntry(0, PaletteEntry(1));
            PutPaletteEntry(1, first);
            const std::size_t fullBytes = width / 8;
            const std::uint8_t lastMask = static_cast<std::uint8_t>(0xFF00 >> (width % 8));
            for (std::uint32_t y = 0; y < height; ++y) {
                std::uint8_t* row = RowAddress(y);
                for (std::size_t i = 0; i < fullBytes; ++i)
                    row[i] = static_cast<std::uint8_t>(~row[i]);
                if (lastMask)
                    row[fullBytes] ^= lastMask;
            }
        }
        photometric = PHOTOMETRIC_MINISWHITE;
    } else if (bits == 4 || bits == 8) {
        photometric = IsGreyRamp() ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_PALETTE;
    } else {
        photometric = PHOTOMETRIC_RGB;
    }
    const bool indexAndAlpha = bpp == 8 && alpha_;
    if (indexAndAlpha)
        samples = 2;

    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bitsPerSample);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, photometric);
    if (samples == 4 || indexAndAlpha) {
        // The sample beyond the colour is declared as (unassociated) alpha.
        const std::uint16_t extra[1] = {EXTRASAMPLE_UNASSALPHA};
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, extra);
    }
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    std::uint32_t rowsPerStrip = TIFFDefaultStripSize(tif, static_cast<std::uint32_t>(-1));
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, static_cast<double>(info.dpiX));
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, static_cast<double>(info.dpiY));
    TIFFSetField(tif, TIFFTAG_SUBFILETYPE, multiPage ? FILETYPE_PAGE : 0);
    if (multiPage) {
        TIFFSetField(tif, TIFFTAG_PAGENUMBER, static_cast<std::uint16_t>(page), static_cast<std::uint16_t>(page));
        char name[32];
        std::snprintf(name, sizeof(name), "Page %d", page);
        TIFFSetField(tif, TIFFTAG_PAGENAME, name);
    }
    if (photometric == PHOTOMETRIC_PALETTE) {
        std::uint16_t red[256] = {};
        std::uint16_t green[256] = {};
        std::uint16_t blue[256] = {};
        for (int i = 0; i < 256; ++i) {
            const RasterColour c = PaletteEntry(static_cast<std::uint8_t>(i));
            red[i] = static_cast<std::uint16_t>(c.red * 257);
            green[i] = static_cast<std::uint16_t>(c.green * 257);
            blue[i] = static_cast<std::uint16_t>(c.blue * 257);
        }
        TIFFSetField(tif, TIFFTAG_COLORMAP, red, green, blue);
    }
    std::uint32_t compression = info.codecOptions;
    if (compression == 0) {
        if (bits == 1)
            compression = COMPRESSION_CCITTFAX4;
        else if (bits == 8)
            compression = COMPRESSION_PACKBITS;
        else if (bits == 24 || bits == 32)
            compression = COMPRESSION_JPEG;
        else
            compression = COMPRESSION_NONE;
    }
    TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
    if (compression == COMPRESSION_LZW && bits >= 8)
        TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    if (compression == COMPRESSION_JPEG) {
        TIFFSetField(tif, TIFFTAG_JPEGQUALITY, static_cast<int>(info.quality));
        rowsPerStrip = ((rowsPerStrip + 7) / 8) * 8;
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    }

    // Every row goes through a buffer of its own: some libtiff codecs (the
    // horizontal predictor) change the row they are given.
    std::size_t rowSize = info.rowBytes;
    if (indexAndAlpha)
        rowSize = std::size_t{width} * 2;
    else if (bits == 32)
        rowSize = std::size_t{width} * 4;
    auto* row = static_cast<std::uint8_t*>(RasterAlloc(rowSize));
    if (!row)
        return false;
    bool ok = true;
    for (std::uint32_t r = 0; r < height && ok; ++r) {
        const std::uint32_t y = height - 1 - r;
        const std::uint8_t* stored = RowAddress(y);
        if (indexAndAlpha) {
            for (std::uint32_t x = 0; x < width; ++x) {
                row[2 * x] = IndexAt(x, y);
                row[2 * x + 1] = AlphaAt(x, y);
            }
        } else if (bits == 32) {
            for (std::uint32_t x = 0; x < width; ++x) {
                row[4 * x + 0] = stored[3 * x + 2];
                row[4 * x + 1] = stored[3 * x + 1];
                row[4 * x + 2] = stored[3 * x + 0];
                row[4 * x + 3] = AlphaAt(x, y);
            }
        } else {
            std::memcpy(row, stored, info.rowBytes);
            if (bits == 24)
                SwapRedBlue(row, info.rowBytes);
        }
        ok = TIFFWriteScanline(tif, row, r, 0) != -1;
    }
    RasterFree(row);
    return ok;
}
