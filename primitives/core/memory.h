// The primitives' aligned allocator: 32-byte aligned blocks whose heap address
// sits in the pointer-sized word just below the returned address.
#pragma once

#include <cstddef>

#include "primitives/core/vp_types.h"

Vp8u* vpsMalloc_8u(int len);
Vp16s* vpsMalloc_16s(int len);
Vp32f* vpsMalloc_32f(int len);
void vpsFree(void* ptr);

// Heap under the allocator. Tests replace it to inject allocation failures
// and to count live blocks; nullptr arguments restore malloc and free.
typedef void* (*VpHeapAlloc)(std::size_t bytes);
typedef void (*VpHeapRelease)(void* block);
void vpSetHeapHooks(VpHeapAlloc alloc, VpHeapRelease release);
