#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>

#include "primitives/primitives.h"

namespace {

int heapCalls = 0;
void* countingAlloc(std::size_t bytes) {
    ++heapCalls;
    return std::malloc(bytes);
}

TEST(AlignedMemory, NonPositiveCountsGiveNullWithoutTouchingTheHeap) {
    vpSetHeapHooks(&countingAlloc, nullptr);
    heapCalls = 0;
    EXPECT_EQ(vpsMalloc_8u(0), nullptr);
    EXPECT_EQ(vpsMalloc_16s(-1), nullptr);
    EXPECT_EQ(vpsMalloc_32f(0), nullptr);
    EXPECT_EQ(heapCalls, 0);
    vpSetHeapHooks(nullptr, nullptr);
}

TEST(AlignedMemory, BlocksAreAlignedAndKeepTheirHeapAddressBelow) {
    for (int n = 1; n < 200; n += 7) {
        Vp8u* a = vpsMalloc_8u(n);
        Vp16s* b = vpsMalloc_16s(n);
        Vp32f* c = vpsMalloc_32f(n);
        for (void* p : {static_cast<void*>(a), static_cast<void*>(b), static_cast<void*>(c)}) {
            ASSERT_NE(p, nullptr);
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % 32, 0u);
            void* base = *(static_cast<void**>(p) - 1);
            EXPECT_LT(reinterpret_cast<std::uintptr_t>(base), reinterpret_cast<std::uintptr_t>(p));
        }
        a[n - 1] = 1;
        c[n - 1] = 1.0f;
        vpsFree(a);
        vpsFree(b);
        vpsFree(c);
    }
    vpsFree(nullptr);
}

TEST(AlignedMemory, OversizedRequestsGiveNull) {
    EXPECT_EQ(vpsMalloc_32f(0x7fffffff), nullptr);
    EXPECT_EQ(vpsMalloc_8u(0x7fffffff), nullptr);
}

}  // namespace
