// JPEG encoder over libjpeg.
#include <algorithm>
#include <cstring>

#include "imagefile/jpeg_stream.h"

#include <jerror.h>

#include "imagefile/raster_coders.h"

namespace {

constexpr std::size_t kBufferBytes = sizeof(RasterJpegStreamManager::buffer);

RasterJpegStreamManager* ManagerOf(j_compress_ptr cinfo)
{
    return reinterpret_cast<RasterJpegStreamManager*>(cinfo->dest);
}

RasterJpegStreamManager* ManagerOf(j_decompress_ptr cinfo)
{
    return reinterpret_cast<RasterJpegStreamManager*>(reinterpret_cast<char*>(cinfo->src) -
                                                      offsetof(RasterJpegStreamManager, src));
}

void TermSource(j_decompress_ptr) {}

// Compresses the image; every libjpeg error comes back here through the
// long jump. Only plain records live in this frame.
bool CompressJpeg(RasterImageJpeg& image, RasterStream* stream)
{
    jpeg_compress_struct cinfo;
    std::memset(static_cast<void*>(&cinfo), 0, sizeof(cinfo));
    RasterJpegErrorManager errors;
    RasterJpegStreamManager manager;
    cinfo.err = errors.Init(image.info.lastError);
    if (setjmp(errors.jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    manager.Init(stream);
    cinfo.dest = &manager.dest;

    const bool grey = image.PaletteData() != nullptr;
    cinfo.image_width = image.Width();
    cinfo.image_height = image.Height();
    cinfo.input_components = grey ? 1 : 3;
    cinfo.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    const std::uint32_t options = image.info.codecOptions;
    if (options & 0x04)
        jpeg_set_colorspace(&cinfo, JCS_GRAYSCALE);
    if (options & 0x40)
        cinfo.smoothing_factor = image.smoothing;
    jpeg_set_quality(&cinfo, image.info.quality, (options & 0x01) ? TRUE : FALSE);
    cinfo.density_unit = 1;
    cinfo.X_density = static_cast<UINT16>(image.info.dpiX);
    cinfo.Y_density = static_cast<UINT16>(image.info.dpiY);
    jpeg_start_compress(&cinfo, TRUE);

    // 1- and 4-bit images (whose palette is the identity ramp) are widened
    // to one sample per pixel: the index is the grey value.
    const std::uint32_t rowBytes = image.info.rowBytes;
    const bool widen = image.Bpp() < 8;
    const JDIMENSION sampleCount = std::max<JDIMENSION>(rowBytes, image.Width()) + 8;
    JSAMPARRAY rows = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE, sampleCount, 1);

    RasterRowWalker walker(image);
    walker.FromTop();
    while (cinfo.next_scanline < cinfo.image_height) {
        if (widen) {
            for (std::uint32_t x = 0; x < image.Width(); ++x)
                rows[0][x] = image.IndexAt(x, walker.row);
        } else {
            std::memcpy(rows[0], walker.rowAddress, rowBytes);
            if (!grey)
                image.SwapRedBlue(rows[0], rowBytes);
        }
        walker.rowAddress -= rowBytes;
        --walker.row;
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

} // namespace

void RasterJpegStreamManager::Init(RasterStream* target)
{
    std::memset(static_cast<void*>(this), 0, sizeof(*this));
    stream = target;
    dest.init_destination = InitDestination;
    dest.empty_output_buffer = EmptyOutputBuffer;
    dest.term_destination = TermDestination;
    src.init_source = InitSource;
    src.fill_input_buffer = FillInputBuffer;
    src.skip_input_data = SkipInputData;
    src.resync_to_restart = jpeg_resync_to_restart;
    src.term_source = TermSource;
    src.next_input_byte = nullptr;
    src.bytes_in_buffer = 0;
}

void RasterJpegStreamManager::InitDestination(j_compress_ptr cinfo)
{
    RasterJpegStreamManager* m = ManagerOf(cinfo);
    m->dest.next_output_byte = m->buffer;
    m->dest.free_in_buffer = kBufferBytes;
}

boolean RasterJpegStreamManager::EmptyOutputBuffer(j_compress_ptr cinfo)
{
    RasterJpegStreamManager* m = ManagerOf(cinfo);
    if (m->stream->Write(m->buffer, 1, kBufferBytes) != kBufferBytes)
        ERREXIT(cinfo, JERR_FILE_WRITE);
    m->dest.next_output_byte = m->buffer;
    m->dest.free_in_buffer = kBufferBytes;
    return TRUE;
}

void RasterJpegStreamManager::TermDestination(j_compress_ptr cinfo)
{
    RasterJpegStreamManager* m = ManagerOf(cinfo);
    const std::size_t count = kBufferBytes - m->dest.free_in_buffer;
    // A short write fails as well as a write of nothing.
    if (count != 0 && m->stream->Write(m->buffer, 1, count) != count)
        ERREXIT(cinfo, JERR_FILE_WRITE);
    m->stream->Flush();
    if (m->stream->Error() != 0)
        ERREXIT(cinfo, JERR_FILE_WRITE);
}

void RasterJpegStreamManager::InitSource(j_decompress_ptr cinfo)
{
    ManagerOf(cinfo)->startOfFile = TRUE;
}

boolean RasterJpegStreamManager::FillInputBuffer(j_decompress_ptr cinfo)
{
    RasterJpegStreamManager* m = ManagerOf(cinfo);
    std::size_t count = m->stream->Read(m->buffer, 1, kBufferBytes);
    if (count == 0) {
        if (m->startOfFile)
            ERREXIT(cinfo, JERR_INPUT_EMPTY);
        WARNMS(cinfo, JWRN_JPEG_EOF);
        // An end-of-image marker lets the decoder finish.
        m->buffer[0] = 0xFF;
        m->buffer[1] = JPEG_EOI;
        count = 2;
    }
    m->src.next_input_byte = m->buffer;
    m->src.bytes_in_buffer = count;
    m->startOfFile = FALSE;
    return TRUE;
}

void RasterJpegStreamManager::SkipInputData(j_decompress_ptr cinfo, long count)
{
    RasterJpegStreamManager* m = ManagerOf(cinfo);
    if (count <= 0)
        return;
    std::size_t left = static_cast<std::size_t>(count);
    while (left > m->src.bytes_in_buffer) {
        left -= m->src.bytes_in_buffer;
        FillInputBuffer(cinfo);
    }
    m->src.next_input_byte += left;
    m->src.bytes_in_buffer -= left;
}

jpeg_error_mgr* RasterJpegErrorManager::Init(char* errorText)
{
    jpeg_error_mgr* standard = jpeg_std_error(&pub);
    pub.error_exit = ErrorExit;
    lastError = errorText;
    return standard;
}

void RasterJpegErrorManager::ErrorExit(j_common_ptr cinfo)
{
    auto* manager = reinterpret_cast<RasterJpegErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, manager->lastError);
    std::longjmp(manager->jump, 1);
}

bool RasterImageJpeg::Encode(RasterStream* stream)
{
    if (CheckEncodeArgs(stream))
        return false;
    if (PaletteData() && !IsGreyRamp()) {
        SetLastError("JPEG can save only RGB or GreyScale images");
        return false;
    }
    return CompressJpeg(*this, stream);
}
