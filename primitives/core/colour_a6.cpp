// a6 level of the RGB and YUV conversions. RGB to YUV in Q14: twice Y from
// one weighted sum, U and V from the blue and red differences against it; in
// the 8-pixel steps the components are doubled as (257 c) >> 7, in the last
// width mod 8 pixels as 2c. YUV to RGB with the coefficients 9339, -3228,
// -4760 and 16646 (in 1/4096) at every pixel.
#include "primitives/core/colour_simd.h"

namespace {

using vp_simd::clampByte;

template <bool InStep>
inline void rgbToYuvPixel_a6(const Vp8u* rgb, Vp8u* y, Vp8u* u, Vp8u* v) {
    const int R = rgb[0], G = rgb[1], B = rgb[2];
    const int Y2 = (9798 * R + 19235 * G + 3736 * B) >> 14;
    const int twoB = InStep ? (257 * B) >> 7 : 2 * B;
    const int twoR = InStep ? (257 * R) >> 7 : 2 * R;
    *y = static_cast<Vp8u>(Y2 >> 1);
    *u = static_cast<Vp8u>(clampByte(((twoB - Y2) * 16121 >> 16) + 128));
    *v = static_cast<Vp8u>(clampByte(((twoR - Y2) * 28737 >> 16) + 128));
}

void RGBToYUVRow_a6(const Vp8u* rgb, Vp8u* y, Vp8u* u, Vp8u* v, int width) {
    const int stepped = width & ~7;
    int x = 0;
    for (; x < stepped; ++x) rgbToYuvPixel_a6<true>(rgb + 3 * x, y + x, u + x, v + x);
    for (; x < width; ++x) rgbToYuvPixel_a6<false>(rgb + 3 * x, y + x, u + x, v + x);
}

constexpr vp_simd::YuvToRgbCoefficients kYuvToRgb_a6{9339, -3228, -4760, 16646};

void YUVToRGBRow_a6(const Vp8u* y, const Vp8u* u, const Vp8u* v, Vp8u* rgb, int width) {
    for (int x = 0; x < width; ++x) vp_simd::yuvToRgbPixel(kYuvToRgb_a6, y[x], u[x], v[x], rgb + 3 * x);
}

}  // namespace

VP_DEFINE_COLOUR_ROUTINES(a6, RGBToYUVRow_a6, YUVToRGBRow_a6)
