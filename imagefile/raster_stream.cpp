#include "imagefile/raster_stream.h"

#include "imagefile/raster_memory.h"

#include <sys/types.h>

#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

constexpr std::int64_t kGrowStep = 4096;

// item size x item count, or false when the product does not fit.
bool ByteCount(std::size_t itemSize, std::size_t itemCount, std::int64_t& bytes)
{
    if (itemSize != 0 && itemCount > static_cast<std::size_t>(std::numeric_limits<std::int64_t>::max()) / itemSize)
        return false;
    bytes = static_cast<std::int64_t>(itemSize * itemCount);
    return true;
}

} // namespace

// ---------------------------------------------------------------- stdio stream

RasterStdioStream::~RasterStdioStream()
{
    if (file_ && owns_)
        std::fclose(file_);
}

bool RasterStdioStream::Close()
{
    if (!file_ || !owns_)
        return true;
    const int rc = std::fclose(file_);
    file_ = nullptr;
    return rc == 0;
}

std::size_t RasterStdioStream::Read(void* buffer, std::size_t itemSize, std::size_t itemCount)
{
    if (!file_)
        return 0;
    return std::fread(buffer, itemSize, itemCount, file_);
}

std::size_t RasterStdioStream::Write(const void* buffer, std::size_t itemSize, std::size_t itemCount)
{
    if (!file_)
        return 0;
    return std::fwrite(buffer, itemSize, itemCount, file_);
}

bool RasterStdioStream::Seek(std::int64_t offset, int origin)
{
    if (!file_)
        return false;
    return fseeko(file_, static_cast<off_t>(offset), origin) == 0;
}

std::int64_t RasterStdioStream::Tell()
{
    if (!file_)
        return 0;
    return static_cast<std::int64_t>(ftello(file_));
}

std::int64_t RasterStdioStream::Size()
{
    if (!file_)
        return -1;
    const off_t here = ftello(file_);
    fseeko(file_, 0, SEEK_END);
    const off_t end = ftello(file_);
    fseeko(file_, here, SEEK_SET);
    return static_cast<std::int64_t>(end);
}

bool RasterStdioStream::Flush()
{
    if (!file_)
        return false;
    return std::fflush(file_) == 0;
}

bool RasterStdioStream::Eof()
{
    if (!file_)
        return true;
    return std::feof(file_) != 0;
}

std::int32_t RasterStdioStream::Error()
{
    if (!file_)
        return -1;
    return std::ferror(file_) != 0 ? 1 : 0;
}

bool RasterStdioStream::PutC(std::uint8_t byte)
{
    if (!file_)
        return false;
    return std::fputc(byte, file_) == byte;
}

std::int32_t RasterStdioStream::GetC()
{
    if (!file_)
        return -1;
    return std::fgetc(file_);
}

// --------------------------------------------------------------- memory stream

RasterMemoryStream::RasterMemoryStream()
    : block_(nullptr), dataSize_(0), owns_(true), position_(0), capacity_(0)
{
    // An empty but present block, so that the first write finds a block to grow.
    block_ = static_cast<std::uint8_t*>(RasterAlloc(1));
}

RasterMemoryStream::RasterMemoryStream(std::uint8_t* block, std::int64_t size, bool owns)
    : block_(block), dataSize_(size < 0 ? 0 : size), owns_(owns), position_(0),
      capacity_(size < 0 ? 0 : size)
{
}

RasterMemoryStream::~RasterMemoryStream()
{
    if (block_ && owns_)
        RasterFree(block_);
}

bool RasterMemoryStream::Reserve(std::int64_t end)
{
    if (end <= capacity_)
        return true;
    const std::int64_t steps = (end - capacity_ + kGrowStep - 1) / kGrowStep;
    if (steps > (std::numeric_limits<std::int64_t>::max() - capacity_) / kGrowStep)
        return false;
    const std::int64_t newCapacity = capacity_ + steps * kGrowStep;
    if (static_cast<std::uint64_t>(newCapacity) > std::numeric_limits<std::size_t>::max())
        return false;
    void* grown;
    if (block_ && owns_) {
        grown = RasterRealloc(block_, static_cast<std::size_t>(newCapacity));
    } else {
        // A caller's block is copied into an own one before it grows.
        grown = RasterAlloc(static_cast<std::size_t>(newCapacity));
        if (grown && block_ && dataSize_ > 0)
            std::memcpy(grown, block_, static_cast<std::size_t>(dataSize_ < capacity_ ? dataSize_ : capacity_));
    }
    if (!grown)
        return false;   // the old block and its data stay as they were
    block_ = static_cast<std::uint8_t*>(grown);
    owns_ = true;
    capacity_ = newCapacity;
    return true;
}

void RasterMemoryStream::ZeroGap()
{
    // A write after a seek beyond the end leaves no unwritten bytes behind it.
    if (position_ > dataSize_)
        std::memset(block_ + dataSize_, 0, static_cast<std::size_t>(position_ - dataSize_));
}

bool RasterMemoryStream::Close()
{
    if (block_ && owns_) {
        RasterFree(block_);
        block_ = nullptr;
        dataSize_ = 0;
        capacity_ = 0;
        position_ = 0;
    }
    return true;
}

std::size_t RasterMemoryStream::Read(void* buffer, std::size_t itemSize, std::size_t itemCount)
{
    if (!block_ || !buffer)
        return 0;
    std::int64_t bytes = 0;
    if (!ByteCount(itemSize, itemCount, bytes) || bytes == 0 || position_ > dataSize_)
        return 0;
    const std::int64_t left = dataSize_ - position_;
    const std::int64_t n = bytes < left ? bytes : left;
    if (n > 0)
        std::memcpy(buffer, block_ + position_, static_cast<std::size_t>(n));
    position_ += n;
    return static_cast<std::size_t>(n) / itemSize;
}

std::size_t RasterMemoryStream::Write(const void* buffer, std::size_t itemSize, std::size_t itemCount)
{
    if (!block_ || !buffer)
        return 0;
    std::int64_t bytes = 0;
    if (!ByteCount(itemSize, itemCount, bytes) || bytes == 0)
        return 0;
    if (position_ > std::numeric_limits<std::int64_t>::max() - bytes || !Reserve(position_ + bytes))
        return 0;
    ZeroGap();
    std::memcpy(block_ + position_, buffer, static_cast<std::size_t>(bytes));
    position_ += bytes;
    if (position_ > dataSize_)
        dataSize_ = position_;
    return itemCount;
}

bool RasterMemoryStream::Seek(std::int64_t offset, int origin)
{
    if (!block_)
        return false;
    std::int64_t base;
    switch (origin) {
    case 0: base = 0; break;
    case 1: base = position_; break;
    case 2: base = dataSize_; break;
    default: return false;
    }
    if ((offset > 0 && base > std::numeric_limits<std::int64_t>::max() - offset))
        return false;
    const std::int64_t target = base + offset;
    if (target < 0)
        return false;
    position_ = target;
    return true;
}

std::int64_t RasterMemoryStream::Tell()
{
    return block_ ? position_ : -1;
}

std::int64_t RasterMemoryStream::Size()
{
    return block_ ? dataSize_ : -1;
}

bool RasterMemoryStream::Flush()
{
    return block_ != nullptr;
}

bool RasterMemoryStream::Eof()
{
    return !block_ || position_ >= dataSize_;
}

std::int32_t RasterMemoryStream::Error()
{
    if (!block_)
        return -1;
    return position_ > dataSize_ ? 1 : 0;
}

bool RasterMemoryStream::PutC(std::uint8_t byte)
{
    if (!block_)
        return false;
    if (position_ == std::numeric_limits<std::int64_t>::max() || !Reserve(position_ + 1))
        return false;
    ZeroGap();
    block_[position_++] = byte;
    if (position_ > dataSize_)
        dataSize_ = position_;
    return true;
}

std::int32_t RasterMemoryStream::GetC()
{
    if (Eof())
        return -1;
    return block_[position_++];
}
