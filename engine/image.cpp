#include "engine/image.h"

#include "engine/kept_planes.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#if defined(__GLIBC__)
#include <malloc.h>
#endif
#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

void MemoryException::handle() { DoNothing(0); }

int DoNothing(int) { return 0; }

namespace {

// The end of the heap before the first plane: nothing below it is advised
// (see adviseHugePages).
std::uintptr_t g_heapFloor = 0;

// A capture allocates and frees planes of a few megabytes each, of the same
// sizes from frame to frame and capture to capture. By default the C heap
// maps such blocks afresh for every allocation and returns them to the
// system when they are freed, so every plane's first writes fault its pages
// in again. Served from the heap and kept there when freed, a released plane's
// pages are reused by the next plane of its size (blocks beyond the heap's
// reach are kept by kept_planes.cpp). Asked once, before the first plane;
// nothing changes in what the allocator returns or refuses. The heap grows
// by at least 64 MB at a time (address space only: untouched pages take no
// memory).

bool keepReleasedPlanesInProcess()
{
#if defined(__linux__)
    g_heapFloor = reinterpret_cast<std::uintptr_t>(sbrk(0));
#endif
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, static_cast<int>(kHeapBlockLimit));
    mallopt(M_TRIM_THRESHOLD, INT_MAX);
    mallopt(M_TOP_PAD, 64 * 1024 * 1024);
#endif
    return true;
}

// The first writes into fresh memory fault its pages in one by one: the
// first capture of a process paid some 50 000 faults for its planes and for
// the other work memory of the run. Where the system offers transparent huge
// pages on request, a large plane asks for them over its own 2 MB regions and
// over the rest of the heap up to its current end (a block outside the heap
// asks only over the 2 MB regions that lie wholly inside it): the heap grows with a
// generous pad (M_TOP_PAD), so the blocks that the run takes next (its other
// planes and the registration's work memory) also lie in advised regions, and
// one fault maps 2 MB. Where the system does not offer them the advice is
// refused or ignored and nothing changes; it never alters what the allocator
// returns.
constexpr std::size_t kHugeAdviceBytes = std::size_t{256} << 10;

void adviseHugePages(void* block, std::size_t bytes)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (bytes < kHugeAdviceBytes)
        return;
    constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;
    auto down = [](std::uintptr_t a) { return a & ~(kHuge - 1); };
    auto up = [](std::uintptr_t a) { return (a + kHuge - 1) & ~(kHuge - 1); };
    const std::uintptr_t heapFloor = up(g_heapFloor);
    const std::uintptr_t heapEnd = down(reinterpret_cast<std::uintptr_t>(sbrk(0)));
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(block);
    std::uintptr_t first = up(start);
    std::uintptr_t end = down(start + bytes);
    if (start >= heapFloor && start < heapEnd) {
        // In the heap: the plane's partial regions too, and the heap above it.
        first = down(start) > heapFloor ? down(start) : heapFloor;
        end = heapEnd;
    }
    if (end > first)
        madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#else
    (void)block;
    (void)bytes;
#endif
}

}  // namespace

template <typename Pixel, int BytesPerPixel>
void ImageRecord<Pixel, BytesPerPixel>::allocate(int w, int h)
{
    static const bool planesKept = keepReleasedPlanesInProcess();
    (void)planesKept;
    if (data != nullptr)
        release();
    width = w;
    height = h;
    data = nullptr;
    step = 0;
    if (static_cast<int64_t>(w) * h == 0)
        return;
    const int64_t rowBytes = static_cast<int64_t>(w) * BytesPerPixel;
    // Negative sizes and rows the allocator cannot express are refused as a
    // failed allocation.
    if (w < 0 || h < 0 || rowBytes > INT_MAX)
        throw MemoryException();
    int s = 0;
    Vp8u* rows = takePlaneRows(static_cast<int>(rowBytes), h, &s);
    if (rows == nullptr)
        throw MemoryException();
    data = reinterpret_cast<Pixel*>(rows);
    step = s;
    adviseHugePages(rows, static_cast<std::size_t>(s) * static_cast<std::size_t>(h));
}

template <typename Pixel, int BytesPerPixel>
void ImageRecord<Pixel, BytesPerPixel>::release()
{
    givePlaneRows(data);
    data = nullptr;
    step = 0;
    width = 0;
    height = 0;
}

template struct ImageRecord<Vp8u, 1>;
template struct ImageRecord<Vp32f, 4>;
template struct ImageRecord<Vp32fc, 8>;
template struct ImageRecord<Vp8u, 3>;

ByteMap::ByteMap(int r, int c)
{
    if (allocate(r, c))
        std::memset(data, 0, static_cast<std::size_t>(size));
}

bool ByteMap::allocate(int r, int c)
{
    if (r != rows || c != columns) {
        std::free(data);
        data = nullptr;
        if (r != rows) {
            std::free(rowPointers);
            rowPointers = nullptr;
        }
    }
    columns = c;
    rows = r;
    const int64_t bytes = static_cast<int64_t>(r) * c;
    if (r <= 0 || c <= 0 || bytes > INT_MAX) {
        size = 0;
        std::free(data);
        data = nullptr;
        std::free(rowPointers);
        rowPointers = nullptr;
        return false;
    }
    size = static_cast<int32_t>(bytes);
    if (data == nullptr) {
        data = static_cast<uint8_t*>(std::malloc(static_cast<std::size_t>(size)));
        if (data == nullptr)
            return false;
    }
    if (rowPointers == nullptr) {
        rowPointers = static_cast<uint8_t**>(std::malloc(sizeof(uint8_t*) * static_cast<std::size_t>(r)));
        if (rowPointers == nullptr)
            return false;
    }
    for (int i = 0; i < r; ++i)
        rowPointers[i] = data + static_cast<std::ptrdiff_t>(i) * c;
    return true;
}

void ByteMap::free()
{
    std::free(rowPointers);
    rowPointers = nullptr;
    std::free(data);
    data = nullptr;
}

VpiSize MakeVpiSize(int width, int height) { return VpiSize{width, height}; }

VpiRect MakeVpiRect(int x, int y, int width, int height) { return VpiRect{x, y, width, height}; }

VpiRect MakeVpiRectAt(int x, int y, VpiSize size) { return VpiRect{x, y, size.width, size.height}; }

void copyVpiRect(VpiRect* destination, const VpiRect* source) { *destination = *source; }

int ceilLog2(int value)
{
    int n = 0;
    while (n < 31 && (int64_t{1} << n) < value)
        ++n;
    return n;
}

int scaledExtent(int n, double factor)
{
    const double v = std::floor(static_cast<double>(n) * factor);
    if (!(v >= 1.0))
        return 0;
    if (v >= static_cast<double>(INT_MAX))
        return INT_MAX;
    return static_cast<int>(v);
}

void setImageValue(float value, Image32f* image)
{
    if (image->data != nullptr)
        vpiSet_32f_C1R(value, image->data, image->step, image->size());
}

void copyBorder(const Image8u* source, Image8u* destination, int borderColumns, int borderRows)
{
    const int w = source->width < destination->width ? source->width : destination->width;
    const int h = source->height < destination->height ? source->height : destination->height;
    if (source->data == nullptr || destination->data == nullptr || w <= 0 || h <= 0)
        return;
    const int b = borderRows < 0 ? 0 : (borderRows > h ? h : borderRows);
    const int a = borderColumns < 0 ? 0 : (borderColumns > w ? w : borderColumns);
    for (int r = 0; r < b; ++r) {
        std::memcpy(destination->row(r), source->row(r), static_cast<std::size_t>(w));
        std::memcpy(destination->row(h - 1 - r), source->row(h - 1 - r), static_cast<std::size_t>(w));
    }
    for (int r = 0; r < h; ++r) {
        const Vp8u* s = source->row(r);
        Vp8u* d = destination->row(r);
        for (int c = 0; c < a; ++c) {
            d[c] = s[c];
            d[w - 1 - c] = s[w - 1 - c];
        }
    }
}

namespace {

// Sizes destination like source, then runs the primitive
// run(sourceData, sourceStep, destinationData, destinationStep, size) over the
// whole image when both records have samples.
template <class Source, class Destination, class Primitive>
void resizeAndRun(const Source* source, Destination* destination, Primitive run)
{
    destination->ensureSize(source->width, source->height);
    if (source->data != nullptr && destination->data != nullptr)
        run(source->data, source->step, destination->data, destination->step, source->size());
}

}  // namespace

void convertTo8u(const Image32f* source, Image8u* destination)
{
    resizeAndRun(source, destination, [](const Vp32f* s, int sStep, Vp8u* d, int dStep, VpiSize size) {
        vpiConvert_32f8u_C1R(s, sStep, d, dStep, size, vpRndNear);
    });
}

void convertTo32f(const Image8u* source, Image32f* destination)
{
    resizeAndRun(source, destination, vpiConvert_8u32f_C1R);
}

void copyImage8u(const Image8u* source, Image8u* destination)
{
    if (source != destination)
        resizeAndRun(source, destination, vpiCopy_8u_C1R);
}

void copyImage8uC3(const Image8uC3* source, Image8uC3* destination)
{
    if (source != destination)
        resizeAndRun(source, destination, vpiCopy_8u_C3R);
}

void copyImage32f(const Image32f* source, Image32f* destination)
{
    if (source != destination)
        resizeAndRun(source, destination, vpiCopy_32f_C1R);
}

void copyToByteMap(const Image8u* source, ByteMap* destination)
{
    if (destination->columns != source->width || destination->rows != source->height ||
        destination->data == nullptr || destination->rowPointers == nullptr) {
        if (!destination->allocate(source->height, source->width))
            return;
    }
    if (source->data == nullptr)
        return;
    for (int r = 0; r < source->height; ++r)
        std::memcpy(destination->rowPointers[r], source->row(r), static_cast<std::size_t>(source->width));
}

void copyFromByteMap(const ByteMap* source, Image8u* destination)
{
    if (!destination->sameSize(source->columns, source->rows))
        destination->reallocate(source->columns, source->rows);
    if (source->data == nullptr || destination->data == nullptr)
        return;
    for (int r = 0; r < source->rows; ++r)
        std::memcpy(destination->row(r), source->data + static_cast<std::ptrdiff_t>(r) * source->columns,
                    static_cast<std::size_t>(source->columns));
}
