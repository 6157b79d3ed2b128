// The RGB and YUV row kernels of the w7 level, which t7 shares. RGB to YUV:
// whole 8-pixel steps by the level's 16-bit formulas (each product rounded
// down before the sum), the last width mod 8 pixels exactly as px. YUV to
// RGB: the coefficients 9338, -3227, -4759 and 16645 (in 1/4096) at every
// pixel. Only the w7 and t7 level files include this.
#pragma once

#include "primitives/core/colour_simd.h"

namespace {

inline void rgbToYuvStepPixel_w7(const Vp8u* rgb, Vp8u* y, Vp8u* u, Vp8u* v) {
    using vp_simd::clampByte;
    const int R = rgb[0], G = rgb[1], B = rgb[2];
    *y = static_cast<Vp8u>((((19595 * R) >> 8) + ((38469 * G) >> 8) + ((7471 * B) >> 8)) >> 8);
    *u = static_cast<Vp8u>(clampByte(((((-4816 * R) >> 9) + ((-9469 * G) >> 9) + ((14286 * B) >> 9)) >> 6) + 128));
    *v = static_cast<Vp8u>(clampByte(((((20152 * R) >> 9) + ((-16875 * G) >> 9) + ((-3276 * B) >> 9)) >> 6) + 128));
}

inline void RGBToYUVRow_w7(const Vp8u* rgb, Vp8u* y, Vp8u* u, Vp8u* v, int width) {
    const int stepped = width & ~7;
    for (int x = 0; x < stepped; ++x) rgbToYuvStepPixel_w7(rgb + 3 * x, y + x, u + x, v + x);
    if (stepped < width) {
        Vp8u* const planes[3] = {y + stepped, u + stepped, v + stepped};
        vpiRGBToYUV_8u_C3P3R_px(rgb + 3 * stepped, 3 * width, planes, width, {width - stepped, 1});
    }
}

constexpr vp_simd::YuvToRgbCoefficients kYuvToRgb_w7{9338, -3227, -4759, 16645};

inline void YUVToRGBRow_w7(const Vp8u* y, const Vp8u* u, const Vp8u* v, Vp8u* rgb, int width) {
    for (int x = 0; x < width; ++x) vp_simd::yuvToRgbPixel(kYuvToRgb_w7, y[x], u[x], v[x], rgb + 3 * x);
}

}  // namespace
