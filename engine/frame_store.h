// The frames of one capture request as planar 8-bit Y, U and V images, one
// slot per frame, taken whole or one field at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/image.h"

class FrameStore {
public:
    // mode 0: frames are used whole; 1: interlaced, used one field at a time.
    FrameStore(int width, int height, int frameCount, int mode);
    ~FrameStore();
    FrameStore(const FrameStore&) = delete;
    FrameStore& operator=(const FrameStore&) = delete;

    // Converts a 24-bit frame (blue, green, red per pixel) into the slot's
    // Y, U and V planes. 0 and nothing stored when the frame's size differs
    // from the store's or the slot lies outside 0..frameCount-1; else 1.
    int setFrame(int slot, const Image8uC3* frame);
    // Copies the whole plane (mode 0, parity ignored) or its field of the
    // given parity (mode 1: lines parity, parity+2, ...) into destination.
    // Returns 1; 0 when the source is not a plane of this store's size.
    int extractPlane(const Image8u* source, int parity, Image8u* destination);
    // 1 when the slot holds a stored frame.
    bool hasFrame(int slot) const;

    int32_t mode;
    int32_t frameCount;
    int32_t width;
    int32_t height;
    int32_t halfHeight;
    // Planes of each slot; null until the slot is first stored. A stored slot
    // has all three planes.
    std::vector<std::unique_ptr<Image8u>> yPlanes;
    std::vector<std::unique_ptr<Image8u>> uPlanes;
    std::vector<std::unique_ptr<Image8u>> vPlanes;
};
