// The JPEG-2000 family: JP2 and JPC code streams through OpenJPEG, and the
// uncompressed PGX, PNM and RAS files written directly. Colour images are
// written as red, green, blue; images whose palette is the identity grey
// ramp as one grey component (the palette index is the grey value).
#include <openjpeg.h>

#include <cstdio>
#include <cstring>

#include "imagefile/raster_coders.h"
#include "imagefile/raster_memory.h"

namespace {

// OpenJPEG's output procedures over a RasterStream (its user data).
OPJ_SIZE_T RasterOpjWriteProc(void* buffer, OPJ_SIZE_T count, void* user)
{
    auto* stream = static_cast<RasterStream*>(user);
    if (stream->Write(buffer, 1, count) != count)
        return static_cast<OPJ_SIZE_T>(-1);
    return count;
}

OPJ_OFF_T RasterOpjSkipProc(OPJ_OFF_T count, void* user)
{
    auto* stream = static_cast<RasterStream*>(user);
    return stream->Seek(count, SEEK_CUR) ? count : -1;
}

OPJ_BOOL RasterJasperSeekProc(OPJ_OFF_T position, void* user)
{
    auto* stream = static_cast<RasterStream*>(user);
    return stream->Seek(position, SEEK_SET) ? OPJ_TRUE : OPJ_FALSE;
}

void Silent(const char*, void*) {}

// Resolution levels: the default 6, fewer for images under 32 pixels so
// that the smallest level still holds a pixel.
OPJ_UINT32 ResolutionsFor(std::uint32_t width, std::uint32_t height)
{
    std::uint32_t side = width < height ? width : height;
    OPJ_UINT32 levels = 1;
    while (levels < 6 && side >= 2) {
        side /= 2;
        ++levels;
    }
    return levels;
}

void PutBigEndian32(std::uint8_t* p, std::uint32_t v)
{
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}

constexpr const char* kCannotEncode = "error: cannot encode image\n";

} // namespace

bool RasterImageJasper::Encode(RasterStream* stream, std::uint32_t typeId)
{
    if (CheckEncodeArgs(stream))
        return false;
    if (PaletteData() && !IsGreyRamp()) {
        SetLastError("JasPer can save only RGB or GrayScale images");
        return false;
    }
    const bool grey = PaletteData() != nullptr;
    const char* failure = nullptr;
    switch (typeId) {
    case RASTER_TYPE_JP2:
    case RASTER_TYPE_JPC:
        failure = EncodeJpeg2000(stream, typeId == RASTER_TYPE_JP2, grey);
        break;
    case RASTER_TYPE_PGX:
    case RASTER_TYPE_PNM:
    case RASTER_TYPE_RAS:
        failure = EncodeUncompressed(stream, typeId, grey);
        break;
    default:
        failure = "Encode: Unknown format";
        break;
    }
    if (failure) {
        SetLastError(failure);
        return false;
    }
    return true;
}

const char* RasterImageJasper::EncodeJpeg2000(RasterStream* stream, bool jp2, bool grey)
{
    const std::uint32_t width = Width();
    const std::uint32_t height = Height();
    const OPJ_UINT32 components = grey ? 1 : 3;

    opj_cparameters_t parameters;
    opj_set_default_encoder_parameters(&parameters);
    parameters.tcp_numlayers = 1;
    parameters.cp_disto_alloc = 1;
    // The rate is a fraction of the uncompressed size; OpenJPEG takes the
    // compression ratio. Quality 100 and above is lossless (ratio 0); quality
    // 0 is taken as the smallest rate, 0.01.
    if (info.quality >= 100) {
        parameters.tcp_rates[0] = 0.0f;
    } else {
        const float rate = static_cast<float>(info.quality == 0 ? 1 : info.quality) * 0.01f;
        parameters.tcp_rates[0] = 1.0f / rate;
    }
    parameters.numresolution = static_cast<int>(ResolutionsFor(width, height));
    parameters.tcp_mct = static_cast<char>(grey ? 0 : 1);

    opj_codec_t* codec = opj_create_compress(jp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K);
    if (!codec)
        return "cannot initialize jasper";
    opj_set_info_handler(codec, Silent, nullptr);
    opj_set_warning_handler(codec, Silent, nullptr);
    opj_set_error_handler(codec, Silent, nullptr);

    opj_image_cmptparm_t parts[3];
    std::memset(parts, 0, sizeof(parts));
    for (OPJ_UINT32 c = 0; c < components; ++c) {
        parts[c].dx = 1;
        parts[c].dy = 1;
        parts[c].w = width;
        parts[c].h = height;
        parts[c].prec = 8;
        parts[c].sgnd = 0;
    }
    opj_image_t* image = opj_image_create(components, parts, grey ? OPJ_CLRSPC_GRAY : OPJ_CLRSPC_SRGB);
    if (!image) {
        opj_destroy_codec(codec);
        return "error : jas_image_create";
    }
    image->x0 = 0;
    image->y0 = 0;
    image->x1 = width;
    image->y1 = height;
    // Top row of the picture first.
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::size_t row = std::size_t{height - 1 - y} * width;
        for (std::uint32_t x = 0; x < width; ++x) {
            if (grey) {
                image->comps[0].data[row + x] = IndexAt(x, y);
            } else {
                const RasterColour c = ColourAt(x, y, false);
                image->comps[0].data[row + x] = c.red;
                image->comps[1].data[row + x] = c.green;
                image->comps[2].data[row + x] = c.blue;
            }
        }
    }

    const char* failure = nullptr;
    opj_stream_t* output = nullptr;
    if (!opj_setup_encoder(codec, &parameters, image)) {
        failure = kCannotEncode;
    } else {
        output = opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_FALSE);
        if (!output) {
            failure = "error: cannot open standard output";
        } else {
            opj_stream_set_user_data(output, stream, nullptr);
            opj_stream_set_write_function(output, RasterOpjWriteProc);
            opj_stream_set_skip_function(output, RasterOpjSkipProc);
            opj_stream_set_seek_function(output, RasterJasperSeekProc);
            const bool ok = opj_start_compress(codec, image, output) && opj_encode(codec, output) &&
                            opj_end_compress(codec, output);
            if (!ok)
                failure = kCannotEncode;
        }
    }
    if (output)
        opj_stream_destroy(output);
    opj_destroy_codec(codec);
    opj_image_destroy(image);
    return failure;
}

const char* RasterImageJasper::EncodeUncompressed(RasterStream* stream, std::uint32_t typeId, bool grey)
{
    if (typeId == RASTER_TYPE_PGX && !grey)
        return "PGX can save only GrayScale images";
    const std::uint32_t width = Width();
    const std::uint32_t height = Height();
    const std::uint64_t samples = std::uint64_t{width} * (grey ? 1 : 3);

    char text[64];
    std::uint8_t rasHeader[32];
    const void* head = text;
    std::size_t headBytes;
    std::uint64_t rowBytes = samples;
    if (typeId == RASTER_TYPE_PGX) {
        headBytes = static_cast<std::size_t>(std::snprintf(text, sizeof(text), "PG ML + 8 %u %u\n", width, height));
    } else if (typeId == RASTER_TYPE_PNM) {
        headBytes = static_cast<std::size_t>(
            std::snprintf(text, sizeof(text), "%s\n%u %u\n255\n", grey ? "P5" : "P6", width, height));
    } else {
        // Sun raster: eight big-endian numbers, standard type, no colour map;
        // rows padded to an even length, colours as blue, green, red.
        rowBytes = (samples + 1) & ~std::uint64_t{1};
        const std::uint64_t length = rowBytes * height;
        if (length > 0xFFFFFFFFu)
            return kCannotEncode;
        PutBigEndian32(rasHeader + 0, 0x59A66A95u);
        PutBigEndian32(rasHeader + 4, width);
        PutBigEndian32(rasHeader + 8, height);
        PutBigEndian32(rasHeader + 12, grey ? 8 : 24);
        PutBigEndian32(rasHeader + 16, static_cast<std::uint32_t>(length));
        PutBigEndian32(rasHeader + 20, 1);
        PutBigEndian32(rasHeader + 24, 0);
        PutBigEndian32(rasHeader + 28, 0);
        head = rasHeader;
        headBytes = sizeof(rasHeader);
    }

    auto* row = static_cast<std::uint8_t*>(RasterCalloc(static_cast<std::size_t>(rowBytes)));
    if (!row)
        return "error : can't allocate memory";
    bool ok = stream->Write(head, 1, headBytes) == headBytes;
    const bool blueFirst = typeId == RASTER_TYPE_RAS;
    for (std::int64_t y = std::int64_t{height} - 1; y >= 0 && ok; --y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            if (grey) {
                row[x] = IndexAt(x, y);
            } else {
                const RasterColour c = ColourAt(x, y, false);
                row[3 * x + 0] = blueFirst ? c.blue : c.red;
                row[3 * x + 1] = c.green;
                row[3 * x + 2] = blueFirst ? c.red : c.blue;
            }
        }
        if (rowBytes > 0)
            ok = stream->Write(row, 1, static_cast<std::size_t>(rowBytes)) == rowBytes;
    }
    RasterFree(row);
    return ok ? nullptr : kCannotEncode;
}
