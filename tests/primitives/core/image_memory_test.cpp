#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdlib>

#include "primitives/primitives.h"

namespace {

int liveBlocks = 0;
bool failNext = false;
void* countingAlloc(std::size_t bytes) {
    if (failNext) return nullptr;
    ++liveBlocks;
    return std::malloc(bytes);
}
void countingRelease(void* block) {
    --liveBlocks;
    std::free(block);
}

struct CountedHeap {
    CountedHeap() {
        liveBlocks = 0;
        failNext = false;
        vpSetHeapHooks(&countingAlloc, &countingRelease);
    }
    ~CountedHeap() { vpSetHeapHooks(nullptr, nullptr); }
};

TEST(ImageMemory, StepIsTheRowLengthRoundedUpTo32) {
    CountedHeap heap;
    const struct {
        int width, step;
    } cases[] = {{100, 128}, {96, 96}, {1, 32}, {32, 32}, {33, 64}, {720 * 3, 2176}};
    for (const auto& c : cases) {
        int step = -1;
        Vp8u* p = vpiMalloc_8u_C1(c.width, 10, &step);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(step, c.step) << c.width;
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % 32, 0u);
        p[static_cast<std::size_t>(step) * 10 - 1] = 1;  // the whole block is usable
        vpiFree(p);
    }
    EXPECT_EQ(liveBlocks, 0);
}

TEST(ImageMemory, BadArgumentsGiveNullAndAZeroStep) {
    CountedHeap heap;
    EXPECT_EQ(vpiMalloc_8u_C1(100, 10, nullptr), nullptr);
    int step = 77;
    EXPECT_EQ(vpiMalloc_8u_C1(0, 10, &step), nullptr);
    EXPECT_EQ(step, 0);
    step = 77;
    EXPECT_EQ(vpiMalloc_8u_C1(10, -1, &step), nullptr);
    EXPECT_EQ(step, 0);
    EXPECT_EQ(liveBlocks, 0);
}

TEST(ImageMemory, OversizedRequestsGiveNullWithoutOverflow) {
    CountedHeap heap;
    int step = 0;
    EXPECT_EQ(vpiMalloc_8u_C1(INT_MAX, 1, &step), nullptr);  // the step itself would not fit
    EXPECT_EQ(step, 0);
    EXPECT_EQ(vpiMalloc_8u_C1(65536, 65536, &step), nullptr);  // step * height beyond 32 bits
    EXPECT_EQ(step, 65536);
    EXPECT_EQ(vpiMalloc_8u_C1(INT_MAX - 31, 1, &step), nullptr);  // the block with its overhead passes INT_MAX
    EXPECT_EQ(step, INT_MAX - 31);
    EXPECT_EQ(liveBlocks, 0);
}

TEST(ImageMemory, AFailedHeapKeepsTheStep) {
    CountedHeap heap;
    failNext = true;
    int step = 0;
    EXPECT_EQ(vpiMalloc_8u_C1(100, 4, &step), nullptr);
    EXPECT_EQ(step, 128);
    EXPECT_EQ(liveBlocks, 0);
}

TEST(ImageMemory, ReleasesBlocksOfEveryAllocator) {
    CountedHeap heap;
    vpiFree(vpsMalloc_32f(7));
    vpiFree(vpsMalloc_32f_px(3));
    vpsFree(vpsMalloc_32f_t7(3));
    int step = 0;
    vpsFree(vpiMalloc_8u_C1(5, 5, &step));
    vpiFree(nullptr);
    EXPECT_EQ(liveBlocks, 0);
    EXPECT_EQ(vpsMalloc_32f_px(0), nullptr);
    EXPECT_EQ(vpsMalloc_32f_t7(-2), nullptr);
    EXPECT_EQ(liveBlocks, 0);
}

}  // namespace
