// Post-filter of one result plane: resizes it once for the pixel aspect ratio
// and splits it into a blurred base, a detail plane and a per-pixel detail
// weight, so that any sharpening amount renders in four pixel-wise steps.
#pragma once

#include "engine/image.h"

class PlanePostFilter {
public:
    // kernelIndex 1..4 choose the base blur (sigma 1.0, 1.2, 1.5, 1.9; any
    // other value sigma 1.2); minimumRange below 0.0001 is stored as 0.0001.
    PlanePostFilter(int kernelIndex, float minimumRange, double scaleX, double scaleY);
    virtual ~PlanePostFilter();
    PlanePostFilter(const PlanePostFilter&) = delete;
    PlanePostFilter& operator=(const PlanePostFilter&) = delete;

    // Resizes the source, fills base, detail and detailWeight, and renders
    // into out with the current amount (out also serves as scratch). Returns 1.
    int prepare(const Image32f* source, Image32f* out);
    // out := base + detail * (1 + amount * detailWeight). Returns 1.
    int render(Image32f* out);

    // The 7 taps of the base blur chosen by kernelIndex.
    static const Vp32f* baseKernel(int kernelIndex);
    static const Vp32f* rangeKernel();

    int kernelIndex;
    float minimumRange;
    double scaleX;
    double scaleY;
    float amount;
    int width;
    int height;
    Image32f base;
    Image32f detail;
    Image32f detailWeight;
};
