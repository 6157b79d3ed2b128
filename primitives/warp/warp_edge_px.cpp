// px smooth-edge pass: the one-pixel fringe just outside each slanted edge of
// the destination quadrangle is mixed with its neighbour on the inner side, in
// proportion to how close the edge passes.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "primitives/warp/warp_px.h"

namespace {

template <typename T>
void blendSamples(unsigned char* a, const unsigned char* b, int channels, std::ptrdiff_t sampleGap, double wA,
                  double wB) {
    for (int k = 0; k < channels; ++k) {
        T va, vb;
        std::memcpy(&va, a + k * sampleGap, sizeof(T));
        std::memcpy(&vb, b + k * sampleGap, sizeof(T));
        const double v = wA * static_cast<double>(va) + wB * static_cast<double>(vb);
        T out;
        if constexpr (sizeof(T) == 4) {
            out = static_cast<T>(v);
        } else {
            // v lies between the two samples, so v + 0.5 truncated fits the type.
            out = static_cast<T>(WarpTruncToInt(v + 0.5));
        }
        std::memcpy(a + k * sampleGap, &out, sizeof(T));
    }
}

}  // namespace

void SmoothEdgeBlend_px(void* pDst, int dstStep, int formatCode, int xA, int yA, int xB, int yB, double wA,
                        double wB) {
    const int depth = formatCode >> 3;
    const int layout = formatCode & 7;
    const int e = WarpDepthBytes(depth);
    const int planes = WarpLayoutPlanes(layout);
    // Channels blended per pixel: the fourth channel of AC4 too.
    const int channels = layout == kWarpLayoutC1 ? 1 : (layout == kWarpLayoutC3 || layout == kWarpLayoutP3 ? 3 : 4);
    auto blendAt = [&](unsigned char* base, int bytesPerPixel, int count, std::ptrdiff_t gap) {
        unsigned char* a = base + WarpOffset(yA, dstStep, xA, bytesPerPixel);
        const unsigned char* b = base + WarpOffset(yB, dstStep, xB, bytesPerPixel);
        if (depth == kWarpDepth8u)
            blendSamples<Vp8u>(a, b, count, gap, wA, wB);
        else if (depth == kWarpDepth16u)
            blendSamples<Vp16u>(a, b, count, gap, wA, wB);
        else
            blendSamples<Vp32f>(a, b, count, gap, wA, wB);
    };
    if (planes) {
        void* const* planeOrigins = static_cast<void* const*>(pDst);
        for (int k = 0; k < planes; ++k) blendAt(static_cast<unsigned char*>(planeOrigins[k]), e, 1, e);
    } else {
        blendAt(static_cast<unsigned char*>(pDst), channels * e, channels, e);
    }
}

void WarpSmoothEdgePass_px(void* pDst, int dstStep, int formatCode, const double quad[4][2], int x0, int y0, int x1,
                           int y1, int quadOrientation) {
    WarpPoint poly[kWarpPolygonCapacity];
    WarpPoint second[kWarpPolygonCapacity];
    for (int i = 0; i < 4; ++i) poly[i] = WarpPoint{quad[i][0], quad[i][1]};
    int count = 4;
    ClipQuadToRect_px(poly, second, &count, x0, y0, x1, y1);
    if (count < 3) return;
    // Both pixels of a pair lie inside the destination rectangle; a pair pushed
    // past it by rounding is skipped.
    auto insideRect = [&](int x, int y) { return x >= x0 && x <= x1 && y >= y0 && y <= y1; };
    for (int i = 0; i < count; ++i) {
        const WarpPoint& p = poly[i];
        const WarpPoint& q = poly[i + 1 == count ? 0 : i + 1];
        const double dx = q.x - p.x;
        const double dy = q.y - p.y;
        if (dx == 0.0 || dy == 0.0) continue;
        if (std::fabs(dx) >= std::fabs(dy)) {
            const double slope = dy / dx;
            const int cBegin = WarpCeilToInt(std::fmin(p.x, q.x));
            const int cEnd = WarpFloorToInt(std::fmax(p.x, q.x));
            const bool outsideBelowEdge = (quadOrientation == 1 && dx > 0) || (quadOrientation == 0 && dx <= 0);
            for (std::int64_t c = cBegin; c <= cEnd; ++c) {
                const double t = p.y + (static_cast<double>(c) - p.x) * slope;
                const double ft = std::floor(t);
                if (ft == t) continue;
                const double ct = std::ceil(t);
                const double outside = outsideBelowEdge ? ft : ct;
                const double inner = outsideBelowEdge ? ct : ft;
                const int col = static_cast<int>(c);
                const int rowA = WarpTruncToInt(outside);
                const int rowB = WarpTruncToInt(inner);
                if (!insideRect(col, rowA) || !insideRect(col, rowB)) continue;
                SmoothEdgeBlend_px(pDst, dstStep, formatCode, col, rowA, col, rowB, std::fabs(t - outside),
                                   std::fabs(t - inner));
            }
        } else {
            const double slope = dx / dy;
            const int rBegin = WarpCeilToInt(std::fmin(p.y, q.y));
            const int rEnd = WarpFloorToInt(std::fmax(p.y, q.y));
            const bool outsideRightOfEdge = (quadOrientation == 1 && dy > 0) || (quadOrientation == 0 && dy <= 0);
            for (std::int64_t r = rBegin; r <= rEnd; ++r) {
                const double t = p.x + (static_cast<double>(r) - p.y) * slope;
                const double ft = std::floor(t);
                if (ft == t) continue;
                const double ct = std::ceil(t);
                const double outside = outsideRightOfEdge ? ct : ft;
                const double inner = outsideRightOfEdge ? ft : ct;
                const int row = static_cast<int>(r);
                const int colA = WarpTruncToInt(outside);
                const int colB = WarpTruncToInt(inner);
                if (!insideRect(colA, row) || !insideRect(colB, row)) continue;
                SmoothEdgeBlend_px(pDst, dstStep, formatCode, colA, row, colB, row, std::fabs(t - outside),
                                   std::fabs(t - inner));
            }
        }
    }
}
