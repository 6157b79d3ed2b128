// Pixel rows of the image records. Blocks below kHeapBlockLimit come from the
// C heap, which keeps them when they are freed (see image.cpp). Larger blocks
// are ones the heap would map afresh for every allocation and return to the
// system when freed, so every capture would fault their pages in again: these
// are kept here when freed and handed out again for a request of the same
// rows, or of rows a little smaller (with the block's own step), within the
// captures of one output grid size. When a capture of
// another grid size starts, the kept blocks go back to the system before it
// allocates anything.
#pragma once

#include <cstddef>
#include <cstdint>

#include "primitives/primitives.h"

// The largest block the C heap serves from its own memory (the most its
// mmap threshold can be set to on 64-bit systems).
constexpr std::size_t kHeapBlockLimit = std::size_t{32} << 20;

// Rows of `rowBytes` bytes each, as vpiMalloc_8u_C1 (step: the row length
// rounded up to 32), or a kept block that holds them (step: the block's, at
// least that). Null when the rows cannot be had.
Vp8u* takePlaneRows(int rowBytes, int rows, int* step);
// Gives rows from takePlaneRows back: a large block is kept for reuse while
// the grid size of its capture lasts, any other goes to vpiFree.
void givePlaneRows(void* rows);
// A capture of a gridWidth x gridHeight output grid starts: kept blocks of
// another grid size, and those the previous capture did not take, are
// released.
void startCapturePlanes(int gridWidth, int gridHeight);
// Bytes of the kept blocks not in use: a capture of the current grid size
// reuses them, one of another size releases them first.
std::uint64_t keptPlaneBytes();
