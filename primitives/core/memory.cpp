#include "primitives/core/memory.h"

#include "primitives/core/dispatch_variants.h"

#include <climits>
#include <cstdint>
#include <cstdlib>

namespace {

VpHeapAlloc heapAlloc = &std::malloc;
VpHeapRelease heapRelease = &std::free;

constexpr std::int64_t kAlignment = 32;
// Room for the saved heap pointer below the block plus the alignment slack.
constexpr std::int64_t kOverhead = kAlignment + static_cast<std::int64_t>(sizeof(void*));

void* alignedAllocBytes(std::int64_t payload) {
    if (payload <= 0) return nullptr;
    const std::int64_t bytes = payload + kOverhead;
    if (bytes > INT_MAX) return nullptr;
    void* base = heapAlloc(static_cast<std::size_t>(bytes));
    if (!base) return nullptr;
    const std::uintptr_t first = reinterpret_cast<std::uintptr_t>(base) + sizeof(void*);
    const std::uintptr_t aligned = (first + kAlignment - 1) & ~static_cast<std::uintptr_t>(kAlignment - 1);
    void** slot = reinterpret_cast<void**>(aligned) - 1;
    *slot = base;
    return reinterpret_cast<void*>(aligned);
}

void* alignedAlloc(int count, int elementSize) {
    if (count <= 0) return nullptr;
    return alignedAllocBytes(static_cast<std::int64_t>(count) * elementSize);
}

}  // namespace

Vp8u* vpsMalloc_8u(int len) { return static_cast<Vp8u*>(alignedAlloc(len, 1)); }
Vp16s* vpsMalloc_16s(int len) { return static_cast<Vp16s*>(alignedAlloc(len, 2)); }
Vp32f* vpsMalloc_32f(int len) { return static_cast<Vp32f*>(alignedAlloc(len, 4)); }

void vpsFree(void* ptr) {
    if (!ptr) return;
    heapRelease(*(static_cast<void**>(ptr) - 1));
}

void vpSetHeapHooks(VpHeapAlloc alloc, VpHeapRelease release) {
    heapAlloc = alloc ? alloc : &std::malloc;
    heapRelease = release ? release : &std::free;
}

Vp32f* vpsMalloc_32f_px(int len) { return vpsMalloc_32f(len); }
Vp32f* vpsMalloc_32f_t7(int len) { return vpsMalloc_32f(len); }

// The image allocator does not depend on the processor level: one routine
// serves every column of its dispatch record.
Vp8u* vpiMalloc_8u_C1_px(int widthBytes, int height, int* pStep) {
    if (!pStep) return nullptr;
    if (widthBytes <= 0 || height <= 0) {
        *pStep = 0;
        return nullptr;
    }
    const std::int64_t step = (static_cast<std::int64_t>(widthBytes) + 31) & ~static_cast<std::int64_t>(31);
    if (step > INT_MAX) {
        *pStep = 0;
        return nullptr;
    }
    // The step is stored before the allocation and stays stored when it fails.
    *pStep = static_cast<int>(step);
    return static_cast<Vp8u*>(alignedAllocBytes(step * height));
}
Vp8u* vpiMalloc_8u_C1_a6(int widthBytes, int height, int* pStep) { return vpiMalloc_8u_C1_px(widthBytes, height, pStep); }
Vp8u* vpiMalloc_8u_C1_w7(int widthBytes, int height, int* pStep) { return vpiMalloc_8u_C1_px(widthBytes, height, pStep); }
Vp8u* vpiMalloc_8u_C1_t7(int widthBytes, int height, int* pStep) { return vpiMalloc_8u_C1_px(widthBytes, height, pStep); }

void vpiFree_px(void* ptr) { vpsFree(ptr); }
void vpiFree_a6(void* ptr) { vpsFree(ptr); }
void vpiFree_w7(void* ptr) { vpsFree(ptr); }
void vpiFree_t7(void* ptr) { vpsFree(ptr); }
