// The planes an engine run needs for every frame, owned by the engine and
// kept from frame to frame: each is sized when first used (reallocated only
// when its size changes) and rewritten by every step that uses it, so a
// frame sees the same values as in freshly allocated planes while the run
// takes its memory once instead of once per frame.
#pragma once

#include "engine/image.h"

struct RunPlanes {
    // 8-bit plane taken out of the frame store, and its median-filtered copy.
    Image8u extracted;
    Image8u median;
    // Pre-filtered fields before de-interlacing.
    Image32f fieldY, fieldU, fieldV;
    // The reference frame's planes, and those of the frame being added.
    Image32f referenceY, referenceU, referenceV;
    Image32f frameY, frameU, frameV;
    // Luma in 8 bits, its registered copy and that copy back in float (after
    // the confidence map, the float luma warped for the shot check).
    Image8u luma8;
    Image8u registered8;
    Image32f registered;
    // Confidence map of a frame and the difference plane it is made from.
    Image32f confidence;
    Image32f difference;
    // Grid planes of a frame (luma, chroma, confidence) and the weight sum.
    Image32f gridY, gridU, gridV, gridWeight;
    Image32f weightSum;
    // Contiguous copies handed to the registration.
    ByteMap registrationBytes;
    ByteMap warpedBytes;
};
