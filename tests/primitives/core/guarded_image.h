// Test image inside a larger buffer: every byte outside the region starts as a
// guard pattern, so a primitive that writes past its reach (between rows, past
// the last row, before the first) is caught.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "primitives/primitives.h"

template <typename T>
class GuardedImage {
public:
    static constexpr unsigned char kGuard = 0xA5;

    // `extraBytes` between the row end and the next row; `offset` shifts the
    // region off the buffer's alignment.
    GuardedImage(int width, int height, int extraBytes = 12, int offset = 0)
        : width_(width), height_(height), step_(static_cast<int>(width * sizeof(T)) + extraBytes), offset_(64 + offset) {
        bytes_.assign(static_cast<std::size_t>(offset_) + static_cast<std::size_t>(step_) * height + 64, kGuard);
    }

    T* data() { return reinterpret_cast<T*>(bytes_.data() + offset_); }
    const T* data() const { return reinterpret_cast<const T*>(bytes_.data() + offset_); }
    int step() const { return step_; }
    VpiSize size() const { return {width_, height_}; }
    int width() const { return width_; }
    int height() const { return height_; }

    T get(int x, int y) const {
        T v;
        std::memcpy(&v, bytes_.data() + offset_ + static_cast<std::size_t>(y) * step_ + x * sizeof(T), sizeof v);
        return v;
    }
    void set(int x, int y, T v) {
        std::memcpy(bytes_.data() + offset_ + static_cast<std::size_t>(y) * step_ + x * sizeof(T), &v, sizeof v);
    }
    template <typename F>
    void fill(F f) {
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x) set(x, y, f(x, y));
    }

    // True when no byte outside the region changed.
    bool guardsIntact() const {
        for (std::size_t i = 0; i < bytes_.size(); ++i) {
            const long long rel = static_cast<long long>(i) - offset_;
            const bool inside = rel >= 0 && rel / step_ < height_ && rel % step_ < static_cast<long long>(width_ * sizeof(T));
            if (!inside && bytes_[i] != kGuard) return false;
        }
        return true;
    }
    // The whole buffer, to check that an error wrote nothing.
    const std::vector<unsigned char>& bytes() const { return bytes_; }

private:
    int width_, height_, step_, offset_;
    std::vector<unsigned char> bytes_;
};

inline std::uint32_t bitsOf(float f) {
    std::uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

inline float floatOf(std::uint32_t b) {
    float f;
    std::memcpy(&f, &b, sizeof f);
    return f;
}
