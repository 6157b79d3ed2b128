#include "engine/kept_planes.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

struct KeptBlock {
    void* rows;
    int rowBytes;
    int rowCount;
    int step;
    bool inUse;
    // The capture that last took the block, and the grid size it was taken
    // for (KeptBlocks::grid when it was taken).
    unsigned lastCapture;
    unsigned grid;
};

struct KeptBlocks {
    std::mutex mutex;
    std::vector<KeptBlock> blocks;
    int gridWidth = 0;
    int gridHeight = 0;
    unsigned capture = 0;
    // Counts the changes of grid size.
    unsigned grid = 0;
};

// Never destroyed: records released while the program exits may still give
// their rows back.
KeptBlocks& kept()
{
    static KeptBlocks* const blocks = new KeptBlocks;
    return *blocks;
}

std::uint64_t stepFor(int rowBytes) { return (static_cast<std::uint64_t>(rowBytes) + 31) & ~std::uint64_t{31}; }

std::uint64_t bytesOf(const KeptBlock& b)
{
    return static_cast<std::uint64_t>(b.step) * static_cast<std::uint64_t>(b.rowCount);
}

bool isLarge(int rowBytes, int rows)
{
    return rowBytes > 0 && rows > 0 && stepFor(rowBytes) * static_cast<std::uint64_t>(rows) >= kHeapBlockLimit;
}

// The free block for rows of `rowBytes` x `rows`: one taken for the same rows,
// else the smallest that holds them with its own step and is not much larger
// (planes a little smaller than the grid, such as the cropped planes of the
// composition, reuse grid planes instead of adding blocks of their own).
KeptBlock* findFree(std::vector<KeptBlock>& blocks, int rowBytes, int rows)
{
    const std::uint64_t wanted = stepFor(rowBytes) * static_cast<std::uint64_t>(rows);
    KeptBlock* best = nullptr;
    for (KeptBlock& b : blocks) {
        if (b.inUse)
            continue;
        if (b.rowBytes == rowBytes && b.rowCount == rows)
            return &b;
        if (static_cast<std::uint64_t>(b.step) >= stepFor(rowBytes) && b.rowCount >= rows &&
            2 * bytesOf(b) <= 3 * wanted && (best == nullptr || bytesOf(b) < bytesOf(*best)))
            best = &b;
    }
    return best;
}

}  // namespace

Vp8u* takePlaneRows(int rowBytes, int rows, int* step)
{
    if (!isLarge(rowBytes, rows))
        return vpiMalloc_8u_C1(rowBytes, rows, step);
    KeptBlocks& k = kept();
    {
        std::lock_guard<std::mutex> lock(k.mutex);
        if (KeptBlock* b = findFree(k.blocks, rowBytes, rows)) {
            b->inUse = true;
            b->lastCapture = k.capture;
            *step = b->step;
            return static_cast<Vp8u*>(b->rows);
        }
    }
    Vp8u* fresh = vpiMalloc_8u_C1(rowBytes, rows, step);
    std::lock_guard<std::mutex> lock(k.mutex);
    // Outside a capture nothing is kept: there is no grid size to tell when
    // the block is no longer wanted.
    if (fresh != nullptr && k.gridWidth > 0)
        k.blocks.push_back(KeptBlock{fresh, rowBytes, rows, *step, true, k.capture, k.grid});
    return fresh;
}

void givePlaneRows(void* rows)
{
    if (rows == nullptr)
        return;
    KeptBlocks& k = kept();
    {
        std::lock_guard<std::mutex> lock(k.mutex);
        const auto b = std::find_if(k.blocks.begin(), k.blocks.end(), [&](const KeptBlock& x) { return x.rows == rows; });
        if (b != k.blocks.end()) {
            // A block of an earlier grid size would wait for requests that no
            // longer come.
            if (b->grid == k.grid) {
                b->inUse = false;
                return;
            }
            k.blocks.erase(b);
        }
    }
    vpiFree(rows);
}

void startCapturePlanes(int gridWidth, int gridHeight)
{
    KeptBlocks& k = kept();
    std::vector<void*> released;
    {
        std::lock_guard<std::mutex> lock(k.mutex);
        const bool sameGrid = gridWidth == k.gridWidth && gridHeight == k.gridHeight;
        ++k.capture;
        if (!sameGrid)
            ++k.grid;
        k.gridWidth = gridWidth;
        k.gridHeight = gridHeight;
        // Blocks still in use (the planes of the picture shown) stay listed
        // until they are given back.
        const auto unwanted = [&](const KeptBlock& b) {
            return !b.inUse && (!sameGrid || b.lastCapture + 1 < k.capture);
        };
        for (const KeptBlock& b : k.blocks)
            if (unwanted(b))
                released.push_back(b.rows);
        k.blocks.erase(std::remove_if(k.blocks.begin(), k.blocks.end(), unwanted), k.blocks.end());
    }
    for (void* rows : released)
        vpiFree(rows);
}

std::uint64_t keptPlaneBytes()
{
    KeptBlocks& k = kept();
    std::lock_guard<std::mutex> lock(k.mutex);
    std::uint64_t bytes = 0;
    for (const KeptBlock& b : k.blocks)
        if (!b.inUse)
            bytes += bytesOf(b);
    return bytes;
}
