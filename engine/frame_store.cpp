#include "engine/frame_store.h"

#include <cstring>
#include <utility>

FrameStore::FrameStore(int w, int h, int count, int storeMode)
    : mode(storeMode), frameCount(count < 0 ? 0 : count), width(w), height(h), halfHeight(h / 2)
{
    yPlanes.resize(static_cast<std::size_t>(frameCount));
    uPlanes.resize(static_cast<std::size_t>(frameCount));
    vPlanes.resize(static_cast<std::size_t>(frameCount));
}

FrameStore::~FrameStore() = default;

bool FrameStore::hasFrame(int slot) const
{
    return slot >= 0 && slot < frameCount && yPlanes[static_cast<std::size_t>(slot)] != nullptr;
}

int FrameStore::setFrame(int slot, const Image8uC3* frame)
{
    if (frame == nullptr || frame->width != width || frame->height != height)
        return 0;
    if (slot < 0 || slot >= frameCount)
        return 0;
    const std::size_t i = static_cast<std::size_t>(slot);
    if (yPlanes[i] == nullptr) {
        // All three planes exist before any enters the tables, so a slot is
        // either complete or empty.
        auto y = std::make_unique<Image8u>(width, height);
        auto u = std::make_unique<Image8u>(width, height);
        auto v = std::make_unique<Image8u>(width, height);
        yPlanes[i] = std::move(y);
        uPlanes[i] = std::move(u);
        vPlanes[i] = std::move(v);
    }
    if (frame->data == nullptr || yPlanes[i]->data == nullptr)
        return 1;
    // Frames arrive blue first while the conversion takes byte 0 as red: hand
    // it a red-first copy, so that luma weights fall on the right channels
    // and U is the true blue difference.
    Image8uC3 redFirst;
    redFirst.allocate(width, height);
    for (int r = 0; r < height; ++r) {
        const Vp8u* s = frame->row(r);
        Vp8u* d = redFirst.row(r);
        for (int x = 0; x < width; ++x) {
            d[3 * x] = s[3 * x + 2];
            d[3 * x + 1] = s[3 * x + 1];
            d[3 * x + 2] = s[3 * x];
        }
    }
    Vp8u* planes[3] = {yPlanes[i]->data, uPlanes[i]->data, vPlanes[i]->data};
    vpiRGBToYUV_8u_C3P3R(redFirst.data, redFirst.step, planes, yPlanes[i]->step, MakeVpiSize(width, height));
    return 1;
}

int FrameStore::extractPlane(const Image8u* source, int parity, Image8u* destination)
{
    if (source == nullptr || source->width != width || source->height != height)
        return 0;
    if (mode == 0) {
        if (!destination->sameSize(width, height))
            destination->reallocate(width, height);
        if (source->data != nullptr && destination->data != nullptr)
            vpiCopy_8u_C1R(source->data, source->step, destination->data, destination->step,
                           MakeVpiSize(width, height));
        return 1;
    }
    const int p = parity != 0 ? 1 : 0;
    if (!destination->sameSize(width, halfHeight))
        destination->reallocate(width, halfHeight);
    if (source->data == nullptr || destination->data == nullptr)
        return 1;
    for (int r = 0; r < halfHeight; ++r)
        std::memcpy(destination->row(r), source->row(2 * r + p), static_cast<std::size_t>(width));
    return 1;
}
