#include "engine/composition.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// The conversion writes red first; pictures are blue first.
void swapRedBlue(Image8uC3& p)
{
    for (int y = 0; y < p.height; ++y) {
        Vp8u* r = p.row(y);
        for (int x = 0; x < p.width; ++x)
            std::swap(r[3 * x], r[3 * x + 2]);
    }
}

}  // namespace

void composeOutputImage(const OutputSettings* settings, const Image32f* y, const Image32f* u, const Image32f* v,
                        Image8uC3* result)
{
    // Region: the crop when it has a size, else the whole plane; kept inside
    // all three planes.
    const int planeW = std::min({y->width, u->width, v->width});
    const int planeH = std::min({y->height, u->height, v->height});
    VpiRect r = settings->crop;
    if (r.width == 0 || r.height == 0)
        r = VpiRect{0, 0, y->width, y->height};
    const int64_t x0 = std::clamp<int64_t>(r.x, 0, planeW > 0 ? planeW : 0);
    const int64_t y0 = std::clamp<int64_t>(r.y, 0, planeH > 0 ? planeH : 0);
    const int64_t x1 = std::clamp<int64_t>(static_cast<int64_t>(r.x) + r.width, x0, planeW > 0 ? planeW : 0);
    const int64_t y1 = std::clamp<int64_t>(static_cast<int64_t>(r.y) + r.height, y0, planeH > 0 ? planeH : 0);
    const int w = static_cast<int>(x1 - x0);
    const int h = static_cast<int>(y1 - y0);
    const bool usable = y->data != nullptr && u->data != nullptr && v->data != nullptr && w > 0 && h > 0;

    double ratio = settings->pixelRatio;
    if (!(ratio > 0.0) || std::isinf(ratio))
        ratio = 1.0;
    int outW = w;
    int outH = h;
    double fx = 1.0;
    double fy = 1.0;
    if (ratio >= 1.0) {
        outW = scaledExtent(w, ratio);
        fx = ratio;
    } else {
        outH = scaledExtent(h, 1.0 / ratio);
        fy = 1.0 / ratio;
    }
    const bool stretch = std::fabs(ratio - 1.0) > 0.0001;
    if (!stretch) {
        outW = w;
        outH = h;
    }
    if (!usable) {
        // Planes without pixels: a black picture of the size asked for.
        if (!result->sameSize(stretch ? outW : w, stretch ? outH : h) || result->data == nullptr)
            result->reallocate(stretch ? outW : w, stretch ? outH : h);
        for (int r = 0; result->data != nullptr && r < result->height; ++r)
            std::memset(result->row(r), 0, static_cast<std::size_t>(result->width) * 3);
        return;
    }

    const VpiSize size = MakeVpiSize(w, h);
    const int ix = static_cast<int>(x0);
    const int iy = static_cast<int>(y0);
    Image32f ya, ua, va;
    ya.allocate(w, h);
    ua.allocate(w, h);
    va.allocate(w, h);
    vpiMulC_32f_C1R(y->at(ix, iy), y->step, settings->contrast, ya.data, ya.step, size);
    vpiAddC_32f_C1IR(settings->brightness, ya.data, ya.step, size);
    vpiMulC_32f_C1R(u->at(ix, iy), u->step, settings->saturation, ua.data, ua.step, size);
    vpiMulC_32f_C1R(v->at(ix, iy), v->step, settings->saturation, va.data, va.step, size);
    const double sat = settings->saturation;
    const float uShift = static_cast<float>((1.0 - static_cast<double>(settings->hue) * sat) * 128.0);
    const float vShift = static_cast<float>((1.0 - sat) * 128.0);
    vpiAddC_32f_C1IR(uShift, ua.data, ua.step, size);
    vpiAddC_32f_C1IR(vShift, va.data, va.step, size);

    Image8u y8, u8, v8;
    convertTo8u(&ya, &y8);
    convertTo8u(&ua, &u8);
    convertTo8u(&va, &v8);
    const Vp8u* planes[3] = {y8.data, u8.data, v8.data};

    if (stretch) {
        if (!result->sameSize(outW, outH) || result->data == nullptr)
            result->reallocate(outW, outH);
        Image8uC3 picture;
        picture.allocate(w, h);
        vpiYUVToRGB_8u_P3C3R(planes, y8.step, picture.data, picture.step, size);
        swapRedBlue(picture);
        if (result->data != nullptr)
            vpiResize_8u_C3R(picture.data, size, picture.step, MakeVpiRect(0, 0, w, h), result->data, result->step,
                             result->size(), fx, fy, VPI_INTER_CUBIC);
    } else {
        if (!result->sameSize(w, h) || result->data == nullptr)
            result->reallocate(w, h);
        vpiYUVToRGB_8u_P3C3R(planes, y8.step, result->data, result->step, size);
        swapRedBlue(*result);
    }
}
