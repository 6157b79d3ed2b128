// Heap hooks for the FFT tests: counts live blocks and allocations and can
// fail the n-th allocation from now on.
#pragma once

#include <cstdlib>

#include "primitives/core/memory.h"

namespace heapprobe {

inline int& live() { static int v = 0; return v; }
inline int& allocations() { static int v = 0; return v; }
inline int& failAt() { static int v = 0; return v; }  // 0: never

inline void* alloc(std::size_t bytes) {
    ++allocations();
    if (failAt() != 0 && allocations() == failAt()) return nullptr;
    void* p = std::malloc(bytes);
    if (p) ++live();
    return p;
}
inline void release(void* p) {
    if (p) --live();
    std::free(p);
}

// Installs the counting hooks for the lifetime of the object.
struct Scope {
    explicit Scope(int failAtAllocation = 0) {
        live() = 0;
        allocations() = 0;
        failAt() = failAtAllocation;
        vpSetHeapHooks(&alloc, &release);
    }
    ~Scope() { vpSetHeapHooks(nullptr, nullptr); }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;
};

}  // namespace heapprobe
