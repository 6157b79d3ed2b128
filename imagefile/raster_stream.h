// Byte streams under every image encoder: an abstract stream, one over a C
// standard-I/O file and one over a growable memory block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

class RasterStream {
public:
    virtual ~RasterStream() {}
    virtual bool Close() = 0;
    // Returns the number of whole items read or written.
    virtual std::size_t Read(void* buffer, std::size_t itemSize, std::size_t itemCount) = 0;
    virtual std::size_t Write(const void* buffer, std::size_t itemSize, std::size_t itemCount) = 0;
    // origin: 0 from the start, 1 from the current position, 2 from the end.
    virtual bool Seek(std::int64_t offset, int origin) = 0;
    virtual std::int64_t Tell() = 0;
    virtual std::int64_t Size() = 0;
    virtual bool Flush() = 0;
    virtual bool Eof() = 0;
    // Nonzero when the stream is in error.
    virtual std::int32_t Error() = 0;
    virtual bool PutC(std::uint8_t byte) { return Write(&byte, 1, 1) == 1; }
    // The next byte (0 to 255) or -1.
    virtual std::int32_t GetC() = 0;
};

// A stream over a C file. A stream built over a caller's file never closes
// it; only a stream built without a file owns (and would close) one.
class RasterStdioStream : public RasterStream {
public:
    explicit RasterStdioStream(std::FILE* file = nullptr) : file_(file), owns_(file == nullptr) {}
    ~RasterStdioStream() override;
    RasterStdioStream(const RasterStdioStream&) = delete;
    RasterStdioStream& operator=(const RasterStdioStream&) = delete;

    bool Close() override;
    std::size_t Read(void* buffer, std::size_t itemSize, std::size_t itemCount) override;
    std::size_t Write(const void* buffer, std::size_t itemSize, std::size_t itemCount) override;
    bool Seek(std::int64_t offset, int origin) override;
    std::int64_t Tell() override;
    std::int64_t Size() override;
    bool Flush() override;
    bool Eof() override;
    std::int32_t Error() override;
    bool PutC(std::uint8_t byte) override;
    std::int32_t GetC() override;

    std::FILE* File() const { return file_; }
    bool OwnsFile() const { return owns_; }

private:
    std::FILE* file_;
    bool owns_;
};

// A stream over a memory block that grows in steps of 4096 bytes.
class RasterMemoryStream : public RasterStream {
public:
    // An empty stream for writing: it owns a block that the first write grows.
    RasterMemoryStream();
    // A stream over a caller's block of `size` bytes; with `owns` set the
    // block (from malloc) is freed by the stream.
    RasterMemoryStream(std::uint8_t* block, std::int64_t size, bool owns);
    ~RasterMemoryStream() override;
    RasterMemoryStream(const RasterMemoryStream&) = delete;
    RasterMemoryStream& operator=(const RasterMemoryStream&) = delete;

    bool Close() override;
    std::size_t Read(void* buffer, std::size_t itemSize, std::size_t itemCount) override;
    std::size_t Write(const void* buffer, std::size_t itemSize, std::size_t itemCount) override;
    bool Seek(std::int64_t offset, int origin) override;
    std::int64_t Tell() override;
    std::int64_t Size() override;
    bool Flush() override;
    bool Eof() override;
    std::int32_t Error() override;
    bool PutC(std::uint8_t byte) override;
    std::int32_t GetC() override;

    const std::uint8_t* Data() const { return block_; }
    std::int64_t Capacity() const { return capacity_; }

private:
    // Makes room for the bytes up to `end`; false when the block cannot grow.
    bool Reserve(std::int64_t end);
    void ZeroGap();

    std::uint8_t* block_;
    std::int64_t dataSize_;   // highest position ever written
    bool owns_;
    std::int64_t position_;
    std::int64_t capacity_;   // bytes allocated
};
