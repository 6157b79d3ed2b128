// Heap of the raster image and its encoders. Every block that the image
// library allocates itself goes through these functions, so that tests can
// make an allocation fail.
#pragma once

#include <cstddef>
#include <cstdint>

void* RasterAlloc(std::size_t bytes);
void* RasterCalloc(std::size_t bytes);   // cleared to zero
void* RasterRealloc(void* block, std::size_t bytes);
void RasterFree(void* block);

// Test hook: the next `successes` allocations succeed and every later one
// fails, until the hook is called again; a negative value turns failures off.
void RasterSetAllocFailure(std::int64_t successes);
