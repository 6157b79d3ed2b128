// Image records shared by the engine and the application: planes of 8-bit,
// float and complex pixels and 24-bit pictures, the contiguous byte map handed
// to the motion registration, the allocation exception, and small helpers that
// copy, convert and fill records.
#pragma once

#include <cstddef>
#include <cstdint>

#include "primitives/primitives.h"

// Base of the engine's exceptions. Nothing calls its operation; handlers catch
// by type.
class BException {
public:
    virtual ~BException() = default;
    virtual void handle() = 0;
};

// Thrown when pixel rows cannot be allocated.
class MemoryException : public BException {
public:
    void handle() override;
};

// Progress hook of the engine: called with the percentage done; its result is
// ignored.
typedef int (*ProgressCallback)(int percent);

// The operation that does nothing: the engine's default progress callback.
int DoNothing(int percent);

// A record of pixel rows from vpiMalloc_8u_C1: rows are `step` bytes apart
// (the row length rounded up to 32; for planes beyond the heap's reach, at
// least that: see kept_planes.h), row r at data + r*step. An empty record
// has data null and step 0; width and height keep the last requested size.
// Records own their rows and are not copyable: copying pixels is explicit.
template <typename Pixel, int BytesPerPixel>
struct ImageRecord {
    Pixel* data = nullptr;
    int32_t step = 0;
    int32_t width = 0;
    int32_t height = 0;

    ImageRecord() = default;
    ImageRecord(const ImageRecord&) = delete;
    ImageRecord& operator=(const ImageRecord&) = delete;
    ~ImageRecord() { release(); }

    // Sets the size and takes rows for it; a size with no pixels takes
    // nothing. Throws MemoryException when the rows cannot be had (the record
    // is then empty with the requested size).
    void allocate(int w, int h);
    // Releases the rows, then allocates the new size (old pixels are lost).
    void reallocate(int w, int h)
    {
        release();
        allocate(w, h);
    }
    // Frees the rows; all four fields become 0.
    void release();
    // Reallocates only when the size differs, or when a record of this size
    // has no rows (an earlier allocation failed); otherwise keeps the pixels.
    void ensureSize(int w, int h)
    {
        if (!sameSize(w, h) || (data == nullptr && static_cast<int64_t>(w) * h != 0))
            reallocate(w, h);
    }

    bool sameSize(int w, int h) const { return width == w && height == h; }
    VpiSize size() const { return VpiSize{width, height}; }
    Pixel* row(int r) const
    {
        return reinterpret_cast<Pixel*>(reinterpret_cast<unsigned char*>(data) +
                                        static_cast<std::ptrdiff_t>(r) * step);
    }
    // Address of pixel (x, y).
    Pixel* at(int x, int y) const { return row(y) + static_cast<std::ptrdiff_t>(x) * (BytesPerPixel / static_cast<int>(sizeof(Pixel))); }
};

struct Image8u : ImageRecord<Vp8u, 1> {
    Image8u() = default;
    Image8u(int w, int h) { allocate(w, h); }
};

struct Image32f : ImageRecord<Vp32f, 4> {};

// Complex plane: (real, imaginary) float pairs.
struct Image64f : ImageRecord<Vp32fc, 8> {};

// 24-bit picture, three interleaved bytes per pixel (blue first for frames
// and results).
struct Image8uC3 : ImageRecord<Vp8u, 3> {};

// A byte plane in one contiguous block (rows without gaps) with a table of
// row pointers: the form in which planes and masks go to the registration.
struct ByteMap {
    int32_t size = 0;
    int32_t columns = 0;
    int32_t rows = 0;
    uint8_t* data = nullptr;
    uint8_t** rowPointers = nullptr;

    ByteMap() = default;
    // An empty map, then allocate; when that succeeds every byte is 0.
    ByteMap(int rows, int columns);
    ByteMap(const ByteMap&) = delete;
    ByteMap& operator=(const ByteMap&) = delete;
    ~ByteMap() { free(); }

    // Keeps the blocks that still fit: the bytes when rows and columns are
    // unchanged, the row table when rows are. False when a block cannot be
    // had (also for a size with no bytes); the missing block stays null.
    bool allocate(int rows, int columns);
    // Releases the row table and the bytes; the integers keep their values.
    void free();
};

VpiSize MakeVpiSize(int width, int height);
VpiRect MakeVpiRect(int x, int y, int width, int height);
VpiRect MakeVpiRectAt(int x, int y, VpiSize size);
void copyVpiRect(VpiRect* destination, const VpiRect* source);
// Smallest n with 2^n >= value, from 0 up to 31.
int ceilLog2(int value);
// floor(n * factor) in double precision as a width or height: 0 below 1 (and
// for NaN), INT_MAX at or beyond the int range.
int scaledExtent(int n, double factor);

void setImageValue(float value, Image32f* image);
// Copies the top and bottom `borderRows` rows over the full width, then the
// left and right `borderColumns` columns over the full height, from source to
// destination (records of one size).
void copyBorder(const Image8u* source, Image8u* destination, int borderColumns, int borderRows);
// Rounds to nearest (ties to even) with saturation to 0..255.
void convertTo8u(const Image32f* source, Image8u* destination);
void convertTo32f(const Image8u* source, Image32f* destination);
void copyImage8u(const Image8u* source, Image8u* destination);
void copyImage8uC3(const Image8uC3* source, Image8uC3* destination);
void copyImage32f(const Image32f* source, Image32f* destination);
void copyToByteMap(const Image8u* source, ByteMap* destination);
void copyFromByteMap(const ByteMap* source, Image8u* destination);
