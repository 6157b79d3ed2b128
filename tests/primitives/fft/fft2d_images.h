// Complex images for the two-dimensional FFT tests: padded rows with guard
// pixels, random contents, a separable double-precision reference and
// comparisons.
#pragma once

#include <cmath>
#include <cstring>
#include <vector>

#include "fft_reference.h"
#include "primitives/core/vp_types.h"

namespace fft2dimages {

using fftref::cd;

// An image of W x H complex pixels with `pad` guard pixels after each row.
struct Image {
    int W, H, pad;
    std::vector<Vp32fc> px;
    Image(int w, int h, int p, float guard = 123.0f) : W(w), H(h), pad(p), px(static_cast<std::size_t>(w + p) * h) {
        for (auto& v : px) v = {guard, -guard};
    }
    int step() const { return (W + pad) * 8; }
    Vp32fc* row(int y) { return px.data() + static_cast<std::size_t>(y) * (W + pad); }
    Vp32fc& at(int x, int y) { return row(y)[x]; }
};

inline Image randomImage(int W, int H, int pad, unsigned seed) {
    Image img(W, H, pad);
    const std::vector<float> v = fftref::randomSignal(static_cast<std::size_t>(W) * H, seed);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) img.at(x, y) = {v[2 * (y * W + x)], v[2 * (y * W + x) + 1]};
    return img;
}

// Separable double-precision reference, unscaled.
inline std::vector<cd> reference2D(Image& img, int sign) {
    const int W = img.W, H = img.H;
    std::vector<cd> a(static_cast<std::size_t>(W) * H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) a[y * W + x] = cd(img.at(x, y).re, img.at(x, y).im);
    for (int y = 0; y < H; ++y) {
        std::vector<cd> r(a.begin() + y * W, a.begin() + (y + 1) * W);
        r = fftref::fft(r, sign);
        std::copy(r.begin(), r.end(), a.begin() + y * W);
    }
    for (int x = 0; x < W; ++x) {
        std::vector<cd> c(H);
        for (int y = 0; y < H; ++y) c[y] = a[y * W + x];
        c = fftref::fft(c, sign);
        for (int y = 0; y < H; ++y) a[y * W + x] = c[y];
    }
    return a;
}

inline double maxError(Image& got, const std::vector<cd>& want, double scale) {
    double e = 0;
    for (int y = 0; y < got.H; ++y)
        for (int x = 0; x < got.W; ++x) {
            const double d = std::abs(cd(got.at(x, y).re, got.at(x, y).im) - want[y * got.W + x] * scale);
            if (!(d <= e)) e = d;
        }
    return e;
}

inline bool sameImage(Image& a, Image& b) {
    for (int y = 0; y < a.H; ++y)
        if (std::memcmp(a.row(y), b.row(y), static_cast<std::size_t>(a.W) * 8) != 0) return false;
    return true;
}

inline bool guardsIntact(Image& img, float guard = 123.0f) {
    for (int y = 0; y < img.H; ++y)
        for (int x = img.W; x < img.W + img.pad; ++x)
            if (img.at(x, y).re != guard || img.at(x, y).im != -guard) return false;
    return true;
}

}  // namespace fft2dimages
