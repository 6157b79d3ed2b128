#include <gtest/gtest.h>

#include <cstdlib>

#include "engine/image.h"
#include "engine/kept_planes.h"

namespace {

// Counts the blocks the heap hooks hand out and take back; the rows of a
// large plane are never touched, so they take address space only.
int g_taken = 0;
int g_freed = 0;
void* countingAlloc(std::size_t bytes)
{
    ++g_taken;
    return std::malloc(bytes);
}
void countingRelease(void* block)
{
    ++g_freed;
    std::free(block);
}

class KeptPlanes : public ::testing::Test {
protected:
    // 36 MB of float rows: beyond what the heap keeps.
    static constexpr int kWidth = 3000;
    static constexpr int kHeight = 3000;
    static constexpr std::uint64_t kBytes = std::uint64_t{kWidth} * 4 * kHeight;

    void SetUp() override
    {
        // A grid size no other test uses: nothing kept from before.
        startCapturePlanes(1, 1);
        startCapturePlanes(1, 1);
        ASSERT_EQ(keptPlaneBytes(), 0u);
        g_taken = g_freed = 0;
        vpSetHeapHooks(countingAlloc, countingRelease);
    }
    void TearDown() override { vpSetHeapHooks(nullptr, nullptr); }
};

TEST_F(KeptPlanes, ALargePlaneIsReusedWithinItsGridSize)
{
    startCapturePlanes(100, 100);
    Vp32f* first = nullptr;
    {
        Image32f plane;
        plane.allocate(kWidth, kHeight);
        first = plane.data;
    }
    EXPECT_EQ(keptPlaneBytes(), kBytes);
    EXPECT_EQ(g_freed, 0);
    // The next capture of the same grid size takes the same block back.
    startCapturePlanes(100, 100);
    {
        Image32f plane;
        plane.allocate(kWidth, kHeight);
        EXPECT_EQ(plane.data, first);
        EXPECT_EQ(plane.step, kWidth * 4);
        EXPECT_EQ(keptPlaneBytes(), 0u);
    }
    EXPECT_EQ(g_taken, 1);
    // A capture that does not take it keeps it for the one after; then it goes.
    startCapturePlanes(100, 100);
    EXPECT_EQ(keptPlaneBytes(), kBytes);
    startCapturePlanes(100, 100);
    EXPECT_EQ(keptPlaneBytes(), 0u);
    EXPECT_EQ(g_freed, 1);
}

// A slightly smaller plane takes a kept block with the block's step; one
// much smaller gets a block of its own.
TEST_F(KeptPlanes, ASmallerPlaneTakesAKeptBlockThatHoldsIt)
{
    startCapturePlanes(100, 100);
    Vp32f* block = nullptr;
    {
        Image32f grid;
        grid.allocate(kWidth, 2 * kHeight);
        block = grid.data;
    }
    {
        Image32f cropped;
        cropped.allocate(kWidth - 16, 2 * kHeight - 16);
        EXPECT_EQ(cropped.data, block);
        EXPECT_EQ(cropped.step, kWidth * 4);
    }
    {
        Image32f half;
        half.allocate(kWidth, kHeight);
        EXPECT_NE(half.data, block);
        EXPECT_EQ(half.step, kWidth * 4);
    }
    EXPECT_EQ(g_taken, 2);
}

TEST_F(KeptPlanes, AnotherGridSizeReleasesThem)
{
    startCapturePlanes(100, 100);
    {
        Image32f idle, shown;
        idle.allocate(kWidth, kHeight);
        shown.allocate(kWidth, kHeight);
        idle.release();
        EXPECT_EQ(keptPlaneBytes(), kBytes);
        // The idle block goes before the new capture allocates; the one in
        // use goes as soon as it is given back.
        startCapturePlanes(200, 100);
        EXPECT_EQ(keptPlaneBytes(), 0u);
        EXPECT_EQ(g_freed, 1);
    }
    EXPECT_EQ(g_freed, 2);
    EXPECT_EQ(keptPlaneBytes(), 0u);
}

TEST_F(KeptPlanes, SmallPlanesGoBackToTheHeap)
{
    startCapturePlanes(100, 100);
    {
        Image32f plane;
        plane.allocate(640, 480);
    }
    EXPECT_EQ(g_freed, 1);
    EXPECT_EQ(keptPlaneBytes(), 0u);
}

}  // namespace
