// The primitives' aligned allocator: 32-byte aligned blocks whose heap address
// sits in the pointer-sized word just below the returned address.
#pragma once

#include <cstddef>

#include "primitives/core/vp_types.h"

Vp8u* vpsMalloc_8u(int len);
Vp16s* vpsMalloc_16s(int len);
Vp32f* vpsMalloc_32f(int len);
void vpsFree(void* ptr);

// The float allocator as the level code calls it: px, a6 and w7 code use the
// _px routine, t7 code the _t7 one. Both are vpsMalloc_32f.
Vp32f* vpsMalloc_32f_px(int len);
Vp32f* vpsMalloc_32f_t7(int len);

// Image rows are allocated with the dispatched entries vpiMalloc_8u_C1 (row
// length in bytes, rows, receives the step: the row length rounded up to a
// multiple of 32) and released with vpiFree; both are declared in primitives.h.

// Heap under the allocator. Tests replace it to inject allocation failures
// and to count live blocks; nullptr arguments restore malloc and free.
typedef void* (*VpHeapAlloc)(std::size_t bytes);
typedef void (*VpHeapRelease)(void* block);
void vpSetHeapHooks(VpHeapAlloc alloc, VpHeapRelease release);
