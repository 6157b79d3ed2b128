#include "imagefile/raster_memory.h"

#include <atomic>
#include <cstdlib>

namespace {
std::atomic<std::int64_t> g_allocsLeft{-1};

bool AllocationAllowed()
{
    std::int64_t left = g_allocsLeft.load(std::memory_order_relaxed);
    while (left >= 0) {
        if (left == 0)
            return false;
        if (g_allocsLeft.compare_exchange_weak(left, left - 1, std::memory_order_relaxed))
            return true;
    }
    return true;
}
} // namespace

void* RasterAlloc(std::size_t bytes)
{
    if (!AllocationAllowed())
        return nullptr;
    return std::malloc(bytes == 0 ? 1 : bytes);
}

void* RasterCalloc(std::size_t bytes)
{
    if (!AllocationAllowed())
        return nullptr;
    return std::calloc(bytes == 0 ? 1 : bytes, 1);
}

void* RasterRealloc(void* block, std::size_t bytes)
{
    if (!AllocationAllowed())
        return nullptr;
    return std::realloc(block, bytes == 0 ? 1 : bytes);
}

void RasterFree(void* block)
{
    std::free(block);
}

void RasterSetAllocFailure(std::int64_t successes)
{
    g_allocsLeft.store(successes < 0 ? -1 : successes, std::memory_order_relaxed);
}
