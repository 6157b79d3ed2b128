// The last step from the engine's float planes to a 24-bit picture: crop,
// brightness, contrast, saturation and hue, conversion to blue-first pixels,
// and the stretch for a pixel aspect ratio other than 1.
#pragma once

#include "engine/image.h"

struct OutputSettings {
    float brightness = 0.0f;   // added to luma after the contrast factor
    float contrast = 1.0f;     // factor of luma
    float saturation = 1.0f;   // factor of U and V about their neutral points
    float hue = 1.0f;          // the neutral point of U is 128 * hue
    float pixelRatio = 1.0f;   // width of an output pixel relative to its height
    VpiRect crop{0, 0, 0, 0};  // a width or height of 0 selects the whole plane
};

// Composes the Y, U and V planes (one size) into result, three bytes per
// pixel in blue, green, red order; result is reallocated only when its size
// changes. A crop reaching outside the planes is clipped to them.
void composeOutputImage(const OutputSettings* settings, const Image32f* y, const Image32f* u, const Image32f* v,
                        Image8uC3* result);
