// Choosing the coder of a format, encoding to a stream, a file or a path.
#include <cstring>
#include <optional>

#include "imagefile/raster_coders.h"
#include "imagefile/raster_image.h"
#include "imagefile/replacing_file.h"

namespace {

// Forwards every call to the stream under it and remembers whether a write,
// a single byte, a seek or a flush failed, so that a save whose bytes did not all
// reach the stream is never reported as a success.
class WriteCheckingStream final : public RasterStream {
public:
    explicit WriteCheckingStream(RasterStream& inner) : inner_(inner) {}

    bool Close() override { return inner_.Close(); }
    std::size_t Read(void* buffer, std::size_t itemSize, std::size_t itemCount) override
    {
        return inner_.Read(buffer, itemSize, itemCount);
    }
    std::size_t Write(const void* buffer, std::size_t itemSize, std::size_t itemCount) override
    {
        const std::size_t written = inner_.Write(buffer, itemSize, itemCount);
        if (written != itemCount && itemSize != 0)
            failed_ = true;
        return written;
    }
    bool Seek(std::int64_t offset, int origin) override
    {
        // Encoders seek only to place what they write: a failed seek loses
        // bytes as surely as a failed write (a full device shows up here
        // when the file's buffer is flushed).
        const bool ok = inner_.Seek(offset, origin);
        if (!ok)
            failed_ = true;
        return ok;
    }
    std::int64_t Tell() override { return inner_.Tell(); }
    std::int64_t Size() override { return inner_.Size(); }
    bool Flush() override
    {
        const bool ok = inner_.Flush();
        if (!ok)
            failed_ = true;
        return ok;
    }
    bool Eof() override { return inner_.Eof(); }
    std::int32_t Error() override { return inner_.Error(); }
    bool PutC(std::uint8_t byte) override
    {
        const bool ok = inner_.PutC(byte);
        if (!ok)
            failed_ = true;
        return ok;
    }
    std::int32_t GetC() override { return inner_.GetC(); }

    bool Failed() const { return failed_; }

private:
    RasterStream& inner_;
    bool failed_ = false;
};

bool KnownType(std::uint32_t typeId)
{
    switch (typeId) {
    case RASTER_TYPE_BMP:
    case RASTER_TYPE_JPEG:
    case RASTER_TYPE_PNG:
    case RASTER_TYPE_ICO:
    case RASTER_TYPE_TIFF:
    case RASTER_TYPE_TGA:
    case RASTER_TYPE_PCX:
    case RASTER_TYPE_WBMP:
    case RASTER_TYPE_WMF:
    case RASTER_TYPE_GIF:
    case RASTER_TYPE_JP2:
    case RASTER_TYPE_JPC:
    case RASTER_TYPE_PGX:
    case RASTER_TYPE_PNM:
    case RASTER_TYPE_RAS:
        return true;
    default:
        return false;
    }
}

// Text of a save whose bytes did not all reach their destination.
const char* WriteFailureText(std::uint32_t typeId)
{
    switch (typeId) {
    case RASTER_TYPE_BMP: return "Error saving BMP file";
    case RASTER_TYPE_GIF: return "Write Error in GIF file";
    case RASTER_TYPE_JPEG: return "Error saving JPEG file";
    case RASTER_TYPE_PNG: return "Error saving PNG file";
    case RASTER_TYPE_ICO: return "Error saving ICO file";
    case RASTER_TYPE_TIFF: return "Error saving TIFF file";
    case RASTER_TYPE_TGA: return "Error saving TGA file";
    case RASTER_TYPE_PCX: return "Error saving PCX file";
    case RASTER_TYPE_WBMP: return "Error saving WBMP file";
    case RASTER_TYPE_JP2:
    case RASTER_TYPE_JPC:
    case RASTER_TYPE_PGX:
    case RASTER_TYPE_PNM:
    case RASTER_TYPE_RAS: return "error: cannot encode image\n";
    default: return "Error saving file";
    }
}

template <class Coder, class... Extra>
bool RunCoder(RasterImage& image, RasterStream* stream, Extra... extra)
{
    Coder coder;
    coder.ShareBuffersOf(&image);
    const bool ok = coder.Encode(stream, extra...);
    if (!ok)
        image.SetLastError(coder.info.lastError);
    return ok;
}

} // namespace

bool RasterImage::CheckEncodeArgs(RasterStream* stream)
{
    if (!stream) {
        SetLastError("null file handler");
        return true;
    }
    if (!dib_) {
        SetLastError("null image!!!");
        return true;
    }
    return false;
}

bool RasterImage::Encode(RasterStream* stream, std::uint32_t typeId)
{
    if (!KnownType(typeId)) {
        SetLastError("Encode: Unknown format");
        return false;
    }
    std::optional<WriteCheckingStream> checked;
    if (stream)
        checked.emplace(*stream);
    RasterStream* target = checked ? &*checked : nullptr;

    bool ok = false;
    switch (typeId) {
    case RASTER_TYPE_BMP: ok = RunCoder<RasterImageBmp>(*this, target); break;
    case RASTER_TYPE_JPEG: ok = RunCoder<RasterImageJpeg>(*this, target); break;
    case RASTER_TYPE_PNG: ok = RunCoder<RasterImagePng>(*this, target); break;
    case RASTER_TYPE_ICO: ok = RunCoder<RasterImageIcon>(*this, target); break;
    case RASTER_TYPE_TIFF: ok = RunCoder<RasterImageTiff>(*this, target, false); break;
    case RASTER_TYPE_TGA: ok = RunCoder<RasterImageTga>(*this, target); break;
    case RASTER_TYPE_PCX: ok = RunCoder<RasterImagePcx>(*this, target); break;
    case RASTER_TYPE_WBMP: ok = RunCoder<RasterImageWbmp>(*this, target); break;
    case RASTER_TYPE_WMF: ok = RunCoder<RasterImageWmf>(*this, target); break;
    case RASTER_TYPE_GIF: ok = RunCoder<RasterImageGif>(*this, target); break;
    case RASTER_TYPE_JP2:
    case RASTER_TYPE_JPC:
    case RASTER_TYPE_PGX:
    case RASTER_TYPE_PNM:
    case RASTER_TYPE_RAS: ok = RunCoder<RasterImageJasper>(*this, target, typeId); break;
    default: break;
    }

    if (ok && checked && checked->Failed()) {
        SetLastError(WriteFailureText(typeId));
        ok = false;
    }
    return ok;
}

bool RasterImage::EncodeToFile(std::FILE* file, std::uint32_t typeId)
{
    if (!KnownType(typeId)) {
        SetLastError("Encode: Unknown format");
        return false;
    }
    if (!file) {
        SetLastError("null file handler");
        return false;
    }
    bool ok;
    {
        RasterStdioStream stream(file);
        ok = Encode(&stream, typeId);
    }
    // Bytes still buffered in the file must reach it for the save to count.
    if (ok && std::fflush(file) != 0) {
        SetLastError(WriteFailureText(typeId));
        ok = false;
    }
    return ok;
}

bool RasterImage::Save(const char* fileName, std::uint32_t typeId)
{
    if (!fileName)
        return false;
    // The picture goes to a new file that replaces the destination only when
    // it is whole: a failed save leaves an existing file untouched.
    ReplacingFile out(fileName);
    if (!out.File())
        return false;
    bool ok = EncodeToFile(out.File(), typeId);
    if (!out.Commit(ok) && ok) {
        SetLastError(WriteFailureText(typeId));
        ok = false;
    }
    return ok;
}
