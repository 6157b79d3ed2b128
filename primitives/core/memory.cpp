#include "primitives/core/memory.h"

#include <climits>
#include <cstdint>
#include <cstdlib>

namespace {

VpHeapAlloc heapAlloc = &std::malloc;
VpHeapRelease heapRelease = &std::free;

constexpr std::int64_t kAlignment = 32;
// Room for the saved heap pointer below the block plus the alignment slack.
constexpr std::int64_t kOverhead = kAlignment + static_cast<std::int64_t>(sizeof(void*));

void* alignedAlloc(int count, int elementSize) {
    if (count <= 0) return nullptr;
    const std::int64_t bytes = static_cast<std::int64_t>(count) * elementSize + kOverhead;
    if (bytes > INT_MAX) return nullptr;
    void* base = heapAlloc(static_cast<std::size_t>(bytes));
    if (!base) return nullptr;
    const std::uintptr_t first = reinterpret_cast<std::uintptr_t>(base) + sizeof(void*);
    const std::uintptr_t aligned = (first + kAlignment - 1) & ~static_cast<std::uintptr_t>(kAlignment - 1);
    void** slot = reinterpret_cast<void**>(aligned) - 1;
    *slot = base;
    return reinterpret_cast<void*>(aligned);
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
