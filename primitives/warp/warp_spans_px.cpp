// px destination clipping and row spans: which destination pixels a warp writes.
// Pixel (x, y) is written when the point (x, y) lies inside the destination
// quadrangle clipped to the destination rectangle.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "primitives/core/memory.h"
#include "primitives/warp/warp_px.h"

namespace {

// Appends a vertex unless the buffer is full. A convex polygon never fills it;
// the test only keeps a polygon bent by rounding from running past the buffer.
inline void emit(WarpPoint* dst, int& n, double x, double y) {
    if (n < kWarpPolygonCapacity - 1) dst[n++] = WarpPoint{x, y};
}

// One edge pass. Axis Y clips against a horizontal line (top and bottom), axis X
// against a vertical one. KeepGreater keeps the side with larger coordinates.
// The boundary itself counts as inside.
template <bool AxisY, bool KeepGreater>
void clipPass(const WarpPoint* srcIn, WarpPoint* dst, int* count, double bound, int line) {
    const int n = *count;
    const double b = line;
    const bool untouched = KeepGreater ? bound >= b : bound <= b;
    if (untouched) {
        std::copy(srcIn, srcIn + n, dst);
        return;
    }
    // Ring closed by a copy of vertex 0 after the last vertex.
    WarpPoint src[kWarpPolygonCapacity + 1];
    std::copy(srcIn, srcIn + n, src);
    src[n] = src[0];
    auto coord = [](const WarpPoint& p) { return AxisY ? p.y : p.x; };
    auto inside = [](double v, double lim) { return KeepGreater ? v > lim : v < lim; };
    auto outside = [](double v, double lim) { return KeepGreater ? v < lim : v > lim; };
    auto crossing = [&](const WarpPoint& prev, const WarpPoint& cur, double& cx, double& cy) {
        // The product before the division.
        if (AxisY) {
            cx = prev.x + ((b - prev.y) * (cur.x - prev.x)) / (cur.y - prev.y);
            cy = b;
        } else {
            cx = b;
            cy = prev.y + ((b - prev.x) * (cur.y - prev.y)) / (cur.x - prev.x);
        }
    };
    int out = 0;
    for (int k = 1; k <= n; ++k) {
        const WarpPoint& prev = src[k - 1];
        const WarpPoint& cur = src[k];
        const double pv = coord(prev), cv = coord(cur);
        double cx, cy;
        if (inside(pv, b)) {
            if (!outside(cv, b)) {
                emit(dst, out, cur.x, cur.y);
            } else {
                crossing(prev, cur, cx, cy);
                emit(dst, out, cx, cy);
            }
        } else if (outside(cv, b)) {
            // Both outside (or prev on the line): nothing.
        } else if (cv == b || pv == b) {
            emit(dst, out, cur.x, cur.y);
        } else {
            crossing(prev, cur, cx, cy);
            emit(dst, out, cx, cy);
            emit(dst, out, cur.x, cur.y);
        }
    }
    *count = out;
}

void boundingBox(const WarpPoint* poly, int count, double& minX, double& maxX, double& minY, double& maxY) {
    minX = maxX = poly[0].x;
    minY = maxY = poly[0].y;
    for (int i = 1; i < count; ++i) {
        minX = std::min(minX, poly[i].x);
        maxX = std::max(maxX, poly[i].x);
        minY = std::min(minY, poly[i].y);
        maxY = std::max(maxY, poly[i].y);
    }
}

// Span ends with the 1e-14 tolerance: an edge that lies less than 1e-14 beyond
// a pixel centre still includes that pixel.
inline int spanBegin(double left) {
    const double c = std::ceil(left);
    int v = WarpTruncToInt(c);
    if (1.0 - (c - left) < 1e-14) --v;
    return v;
}

inline int spanEnd(double right) {
    const double f = std::floor(right);
    int v = WarpTruncToInt(f);
    if (1.0 - (right - f) < 1e-14) ++v;
    return v;
}

}  // namespace

void ClipPolygonTop_px(const WarpPoint* src, WarpPoint* dst, int* count, double bound, int line) {
    clipPass<true, true>(src, dst, count, bound, line);
}

void ClipPolygonBottom_px(const WarpPoint* src, WarpPoint* dst, int* count, double bound, int line) {
    clipPass<true, false>(src, dst, count, bound, line);
}

void ClipPolygonLeft_px(const WarpPoint* src, WarpPoint* dst, int* count, double bound, int line) {
    clipPass<false, true>(src, dst, count, bound, line);
}

void ClipPolygonRight_px(const WarpPoint* src, WarpPoint* dst, int* count, double bound, int line) {
    clipPass<false, false>(src, dst, count, bound, line);
}

void ClipQuadToRect_px(WarpPoint* poly, WarpPoint* second, int* count, int x0, int y0, int x1, int y1) {
    if (*count <= 0) return;
    double minX, maxX, minY, maxY;
    boundingBox(poly, *count, minX, maxX, minY, maxY);
    if (maxY < y0 || minY > y1 || maxX < x0 || minX > x1) {
        *count = 0;
        return;
    }
    if (minY >= y0 && maxY <= y1 && minX >= x0 && maxX <= x1) return;
    // Each pass gets the bound of the unclipped polygon; the result ends in poly.
    ClipPolygonTop_px(poly, second, count, minY, y0);
    ClipPolygonBottom_px(second, poly, count, maxY, y1);
    ClipPolygonLeft_px(poly, second, count, minX, x0);
    ClipPolygonRight_px(second, poly, count, maxX, x1);
    // Drop every vertex equal to the one before it (the last is not compared
    // with the first).
    int n = *count;
    for (int i = 1; i < n;) {
        if (poly[i].x == poly[i - 1].x && poly[i].y == poly[i - 1].y) {
            std::copy(poly + i + 1, poly + n, poly + i);
            --n;
        } else {
            ++i;
        }
    }
    *count = n;
}

void FillWarpSpans_px(const WarpPoint* poly, int count, int quadOrientation, WarpRowSpan* spans) {
    if (count <= 0) return;
    int t = 0;
    for (int i = 1; i < count; ++i)
        if (poly[i].y < poly[t].y) t = i;
    const int index = WarpCeilToInt(poly[t].y);
    if (count == 1) {
        const int x = WarpFloorToInt(poly[0].x);
        spans[0] = WarpRowSpan{x, x};
        return;
    }
    // Default for the first row; stays when the polygon is one horizontal line.
    spans[0] = WarpRowSpan{WarpCeilToInt(std::min(poly[0].x, poly[1].x)),
                           WarpFloorToInt(std::max(poly[0].x, poly[1].x))};
    // Lowest row index the walk may write (the last row is found from the polygon).
    double maxY = poly[0].y;
    for (int i = 1; i < count; ++i) maxY = std::max(maxY, poly[i].y);
    const int lastRow = WarpFloorToInt(maxY);

    // Chain A walks through decreasing vertex indices, chain B through increasing
    // ones; both start with their current edge ending at the top vertex.
    int aStart = t, aEnd = t, bStart = t, bEnd = t;
    auto prevIndex = [count](int i) { return i == 0 ? count - 1 : i - 1; };
    auto nextIndex = [count](int i) { return i == count - 1 ? 0 : i + 1; };
    int row = index;
    // A convex polygon finishes within count iterations; the cap only guards
    // polygons bent by rounding.
    for (int guard = 0; guard < 4 * count + 8; ++guard) {
        const double h = poly[aEnd].y;
        bool stop = false;
        if (h <= poly[bEnd].y) {
            aStart = aEnd;
            aEnd = prevIndex(aStart);
            while (poly[aEnd].y - poly[aStart].y == 0.0) {
                if (aEnd == bEnd) {
                    stop = true;
                    break;
                }
                aStart = aEnd;
                aEnd = prevIndex(aStart);
            }
        }
        if (stop) break;
        if (poly[bEnd].y <= h) {
            bStart = bEnd;
            bEnd = nextIndex(bStart);
            while (poly[bEnd].y - poly[bStart].y == 0.0) {
                if (bEnd == aEnd) {
                    stop = true;
                    break;
                }
                bStart = bEnd;
                bEnd = nextIndex(bStart);
            }
        }
        if (stop) break;
        const WarpPoint& as = poly[aStart];
        const WarpPoint& ae = poly[aEnd];
        const WarpPoint& bs = poly[bStart];
        const WarpPoint& be = poly[bEnd];
        const double slopeA = (ae.x - as.x) / (ae.y - as.y);
        const double slopeB = (be.x - bs.x) / (be.y - bs.y);
        const int bandEnd = std::min(WarpFloorToInt(std::min(ae.y, be.y)), lastRow);
        for (int j = std::max(row, index); j <= bandEnd; ++j) {
            const double xA = (j - as.y) * slopeA + as.x;
            const double xB = (j - bs.y) * slopeB + bs.x;
            const double left = quadOrientation ? xA : xB;
            const double right = quadOrientation ? xB : xA;
            spans[j - index] = WarpRowSpan{spanBegin(left), spanEnd(right)};
        }
        if (aEnd == bEnd) break;
        row = bandEnd + 1;
    }
}

int BuildWarpSpans_px(const double quad[4][2], int x0, int y0, int x1, int y1, int quadOrientation,
                      WarpRowSpan** spans, int* firstRow, int* lastRow) {
    *spans = nullptr;
    WarpPoint poly[kWarpPolygonCapacity];
    WarpPoint second[kWarpPolygonCapacity];
    for (int i = 0; i < 4; ++i) poly[i] = WarpPoint{quad[i][0], quad[i][1]};
    int count = 4;
    ClipQuadToRect_px(poly, second, &count, x0, y0, x1, y1);
    if (count == 0) return kWarpSpansEmpty;
    double minX, maxX, minY, maxY;
    boundingBox(poly, count, minX, maxX, minY, maxY);
    // A quadrangle whose clipping overflowed the double range has no rows.
    if (!std::isfinite(minX) || !std::isfinite(maxX) || !std::isfinite(minY) || !std::isfinite(maxY))
        return kWarpSpansEmpty;
    *firstRow = WarpCeilToInt(minY);
    *lastRow = WarpFloorToInt(maxY);
    const std::int64_t rows = static_cast<std::int64_t>(*lastRow) - *firstRow + 1;
    if (rows <= 0) return kWarpSpansEmpty;
    if (WarpFloorToInt(maxX) < WarpCeilToInt(minX)) return kWarpSpansEmpty;
    const std::int64_t elements = 2 * rows;
    WarpRowSpan* out = nullptr;
    if (elements <= INT_MAX) out = reinterpret_cast<WarpRowSpan*>(vpsMalloc_32f(static_cast<int>(elements)));
    if (!out) return kWarpSpansAllocFailed;
    // Every row starts empty, so a row that the walk misses writes nothing.
    for (std::int64_t i = 0; i < rows; ++i) out[i] = WarpRowSpan{0, -1};
    FillWarpSpans_px(poly, count, quadOrientation, out);
    // The spans never leave the destination rectangle, whatever the rounding.
    for (std::int64_t i = 0; i < rows; ++i) {
        out[i].xBegin = std::max(out[i].xBegin, x0);
        out[i].xEnd = std::min(out[i].xEnd, x1);
    }
    if (*firstRow < y0 || *lastRow > y1) {
        const int drop = *firstRow < y0 ? y0 - *firstRow : 0;
        *firstRow += drop;
        if (*lastRow > y1) *lastRow = y1;
        if (*lastRow < *firstRow) {
            vpsFree(out);
            return kWarpSpansEmpty;
        }
        std::copy(out + drop, out + drop + (*lastRow - *firstRow + 1), out);
    }
    *spans = out;
    return kWarpSpansBuilt;
}
