// The in-place schemes of the erosion and dilation, shared by every level:
// result rows are kept aside and an image row is written back only once no
// later output reads it. The level supplies its row routine and row copy.
#pragma once

#include <algorithm>
#include <cstddef>

#include "primitives/core/memory.h"
#include "primitives/core/vp_types.h"

namespace morph_in_place {

inline Vp32f* rowAt(Vp32f* base, int step, std::ptrdiff_t y) {
    return reinterpret_cast<Vp32f*>(reinterpret_cast<Vp8u*>(base) + y * step);
}

// One result row: 4W bytes rounded up to a multiple of 16.
inline long long resultRowBytes(int width) { return (4LL * width + 15) & ~15LL; }

// 3x3 erosion in place. `row(window, step, dstRow, W)` computes one output
// row from the top-left pixel of its first window; `copy(src, dst, W)` moves
// W floats. Two result rows alternate: image row y-2 is written back just
// before output row y (which reads rows y-1..y+1) is computed.
template <class Row, class Copy>
VpStatus erode3x3(Vp32f* pSrcDst, int step, VpiSize roiSize, Row row, Copy copy) {
    const int W = roiSize.width;
    const int H = roiSize.height;
    const long long rowBytes = resultRowBytes(W);
    if (2 * rowBytes > 0x7fffffffLL) return vpStsMemAllocErr;
    Vp8u* block = vpsMalloc_8u(static_cast<int>(2 * rowBytes));
    if (!block) return vpStsMemAllocErr;
    Vp32f* rows[2] = {reinterpret_cast<Vp32f*>(block), reinterpret_cast<Vp32f*>(block + rowBytes)};
    auto window = [&](int y) { return rowAt(pSrcDst, step, y - 1) - 1; };

    row(window(0), step, rows[0], W);
    if (H > 1) row(window(1), step, rows[1], W);
    for (int y = 2; y < H; ++y) {
        Vp32f* r = rows[y & 1];
        copy(r, rowAt(pSrcDst, step, y - 2), W);
        row(window(y), step, r, W);
    }
    if (H > 1) {
        copy(rows[(H - 2) & 1], rowAt(pSrcDst, step, H - 2), W);
        copy(rows[(H - 1) & 1], rowAt(pSrcDst, step, H - 1), W);
    } else {
        copy(rows[0], rowAt(pSrcDst, step, 0), W);
    }
    vpsFree(block);
    return vpStsNoErr;
}

// Erosion or dilation with a mask, in place, over a ring of anchor.y + 1
// result rows: image row y - R is written back just before output row y is
// computed, when no later output reads it any more. `row(window, step,
// dstRow, W)` computes one output row from the top-left pixel of its window.
template <class Row, class Copy>
VpStatus maskRing(Vp32f* pSrcDst, int step, VpiSize roiSize, VpiPoint anchor, Row row, Copy copy) {
    const int W = roiSize.width;
    const int H = roiSize.height;
    const int R = anchor.y + 1;
    const long long rowBytes = resultRowBytes(W);
    if (rowBytes * R > 0x7fffffffLL) return vpStsMemAllocErr;
    Vp8u* ring = vpsMalloc_8u(static_cast<int>(rowBytes * R));
    if (!ring) return vpStsMemAllocErr;
    auto ringRow = [&](int y) { return reinterpret_cast<Vp32f*>(ring + (y % R) * rowBytes); };
    auto window = [&](int y) { return rowAt(pSrcDst, step, y - anchor.y) - anchor.x; };

    const int first = std::min(R, H);
    for (int y = 0; y < first; ++y) row(window(y), step, ringRow(y), W);
    for (int y = R; y < H; ++y) {
        copy(ringRow(y), rowAt(pSrcDst, step, y - R), W);
        row(window(y), step, ringRow(y), W);
    }
    for (int y = H - first; y < H; ++y) copy(ringRow(y), rowAt(pSrcDst, step, y), W);
    vpsFree(ring);
    return vpStsNoErr;
}

}  // namespace morph_in_place
