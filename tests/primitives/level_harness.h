// Support for checking the processor levels of the primitives against px:
// the levels to iterate, installing a level subsystem by subsystem (and px
// again afterwards), and rows whose reach ends on an inaccessible page.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "primitives/core/dispatch.h"
#include "primitives/core/dispatch_internal.h"
#include "primitives/primitives.h"

namespace level_harness {

inline constexpr VpLevel kSimdLevels[] = {vpLevelA6, vpLevelW7, vpLevelT7};
inline constexpr VpLevel kAllLevels[] = {vpLevelPx, vpLevelA6, vpLevelW7, vpLevelT7};

inline const char* levelName(VpLevel level) {
    static const char* const names[] = {"px", "a6", "w7", "t7"};
    return level >= 0 && level < 4 ? names[level] : "?";
}

// The primitives subsystem each dispatch slot belongs to. The slots of one
// subsystem are installed together: its routines call per-level helpers and
// records (FFT setup records, kernel tables) that only their own level reads.
enum class Subsystem { Core, Filters, Fft, Resize, Warp };

inline Subsystem subsystemOfSlot(int slot) {
    switch (slot) {
        case 11: case 12: case 14: case 15: case 16: case 22: case 23: case 24: return Subsystem::Filters;
        case 17: case 18: case 19: case 20: case 21: case 26: return Subsystem::Fft;
        case 32: case 33: return Subsystem::Resize;
        case 47: return Subsystem::Warp;
        default: return Subsystem::Core;
    }
}

// True when every slot of the subsystem has a variant at the level.
inline bool subsystemComplete(Subsystem subsystem, VpLevel level) {
    for (int i = 0; i < DispatchEntryCount; ++i)
        if (subsystemOfSlot(i) == subsystem && !DispatchVariant(DispatchTable[i], level)) return false;
    return true;
}

// Installs `level` into the slots of every subsystem that has it complete and
// px into all others; when it goes out of scope every slot gets back what it
// held before (so scopes nest: a px run inside a level's scope leaves that
// level installed afterwards). Never splits a subsystem between two levels.
class ScopedLevel {
public:
    explicit ScopedLevel(VpLevel level) {
        save();
        for (Subsystem s : {Subsystem::Core, Subsystem::Filters, Subsystem::Fft, Subsystem::Resize, Subsystem::Warp})
            install(s, subsystemComplete(s, level) ? level : vpLevelPx);
    }
    // Installs `level` for one subsystem only (which must be complete), px elsewhere.
    ScopedLevel(VpLevel level, Subsystem only) {
        save();
        if (!subsystemComplete(only, level)) {
            restore();
            throw std::logic_error("subsystem incomplete at this level");
        }
        for (Subsystem s : {Subsystem::Core, Subsystem::Filters, Subsystem::Fft, Subsystem::Resize, Subsystem::Warp})
            install(s, s == only ? level : vpLevelPx);
    }
    ~ScopedLevel() { restore(); }
    ScopedLevel(const ScopedLevel&) = delete;
    ScopedLevel& operator=(const ScopedLevel&) = delete;

    // The level installed for a subsystem by this scope.
    VpLevel levelOf(Subsystem s) const { return installed_[static_cast<int>(s)]; }

private:
    void install(Subsystem s, VpLevel use) {
        installed_[static_cast<int>(s)] = use;
        for (int i = 0; i < DispatchEntryCount; ++i)
            if (subsystemOfSlot(i) == s && !FillDispatchSlotsOver(&DispatchTable[i], 1, use)) {
                restore();
                throw std::logic_error("level column lost a variant");
            }
    }
    void save() {
        for (int i = 0; i < DispatchEntryCount; ++i) saved_[i] = DispatchSlotContent(DispatchTable[i]);
    }
    void restore() {
        for (int i = 0; i < DispatchEntryCount; ++i) std::memcpy(DispatchTable[i].slot, &saved_[i], sizeof saved_[i]);
    }
    VpAnyFunction saved_[48] = {};
    VpLevel installed_[5] = {};
};

// A block of memory whose last byte lies just before an inaccessible page (and
// whose first byte just after one), so a read or write one byte outside it
// faults at once.
class GuardPageBlock {
public:
    explicit GuardPageBlock(std::size_t bytes) : bytes_(bytes) {
        page_ = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        const std::size_t dataPages = (bytes + page_ - 1) / page_;
        mapped_ = (dataPages + 2) * page_;
        void* p = mmap(nullptr, mapped_, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) throw std::runtime_error("mmap failed");
        base_ = static_cast<unsigned char*>(p);
        if (dataPages && mprotect(base_ + page_, dataPages * page_, PROT_READ | PROT_WRITE) != 0)
            throw std::runtime_error("mprotect failed");
        data_ = base_ + page_ + dataPages * page_ - bytes;
    }
    ~GuardPageBlock() { munmap(base_, mapped_); }
    GuardPageBlock(const GuardPageBlock&) = delete;
    GuardPageBlock& operator=(const GuardPageBlock&) = delete;

    unsigned char* data() { return data_; }
    std::size_t size() const { return bytes_; }

private:
    std::size_t bytes_, page_, mapped_;
    unsigned char* base_;
    unsigned char* data_;
};

// An image region of `width` x `height` elements of T whose rows lie `step`
// bytes apart (the row bytes plus `gapBytes` of canary), inside a block that
// ends `reachBytes` after the last row's last element, on a guard page. The
// canary bytes between rows (and in the reach) must stay untouched by a
// primitive that writes the region. `leadBytes` of canary lie before the first
// row (the reach before the region, for neighbourhood filters).
template <typename T>
class GuardedRows {
public:
    static constexpr unsigned char kCanary = 0x5A;

    GuardedRows(int width, int height, int gapBytes = 0, int reachBytes = 0, int leadBytes = 0)
        : width_(width), height_(height), step_(static_cast<int>(width * sizeof(T)) + gapBytes), lead_(leadBytes),
          block_(static_cast<std::size_t>(leadBytes) +
                 static_cast<std::size_t>(step_) * (height > 0 ? height - 1 : 0) + width * sizeof(T) + reachBytes) {
        std::memset(block_.data(), kCanary, block_.size());
    }

    T* data() { return reinterpret_cast<T*>(block_.data() + lead_); }
    unsigned char* bytes() { return block_.data(); }
    std::size_t byteCount() const { return block_.size(); }
    int step() const { return step_; }
    VpiSize size() const { return {width_, height_}; }
    T* row(int y) { return reinterpret_cast<T*>(block_.data() + lead_ + static_cast<std::size_t>(y) * step_); }

    T get(int x, int y) {
        T v;
        std::memcpy(&v, reinterpret_cast<unsigned char*>(row(y)) + x * sizeof(T), sizeof v);
        return v;
    }
    void set(int x, int y, T v) { std::memcpy(reinterpret_cast<unsigned char*>(row(y)) + x * sizeof(T), &v, sizeof v); }
    template <typename F>
    void fill(F f) {
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x) set(x, y, f(x, y));
    }

    // True when no byte outside the region's rows changed.
    bool canariesIntact() {
        const std::size_t rowBytes = width_ * sizeof(T);
        for (std::size_t i = 0; i < block_.size(); ++i) {
            const long long rel = static_cast<long long>(i) - lead_;
            const bool inside = rel >= 0 && rel / step_ < height_ && static_cast<std::size_t>(rel % step_) < rowBytes;
            if (!inside && block_.data()[i] != kCanary) return false;
        }
        return true;
    }

private:
    int width_, height_, step_, lead_;
    GuardPageBlock block_;
};

// A region at a chosen misalignment: the first element lies `offsetBytes`
// (0..15) past a 16-byte boundary, rows `step` bytes apart, with canaries
// before, between and after the rows. With `guardedEnd` the last row's last
// byte lies just before an inaccessible page, and the gap between rows is
// widened (by at most 15 bytes) as the offset needs; that is always possible
// when height - 1 is odd (heights 2, 4, ...).
//
// Elements stay on their own alignment (`elementAlign`, alignof(T) unless a
// byte row carries wider pixels): a float row off the 4-byte grid is not a
// valid operand, so the offset is taken down to that grid and the gap grows
// in whole elements.
template <typename T>
class OffsetRows {
public:
    static constexpr unsigned char kCanary = 0xA5;

    OffsetRows(int width, int height, int offsetBytes, int gapBytes = 8, bool guardedEnd = false,
               int elementAlign = static_cast<int>(alignof(T)))
        : width_(width), height_(height), step_(rowBytes(width) + gapBytes) {
        offsetBytes -= offsetBytes % elementAlign;
        long long trail = 64;
        if (guardedEnd) {
            trail = 0;
            int g = 0;
            while (g < 16 && residue(offsetBytes, extent(step_ + g)) != 0) g += elementAlign;
            if (g == 16) throw std::logic_error("no gap gives this offset at the guard page; use an even height");
            step_ += g;
        } else {
            trail += residue(offsetBytes, extent(step_));
        }
        block_ = std::make_unique<GuardPageBlock>(static_cast<std::size_t>(kLead + extent(step_) + trail));
        std::memset(block_->data(), kCanary, block_->size());
    }
    OffsetRows(const OffsetRows&) = delete;
    OffsetRows& operator=(const OffsetRows&) = delete;

    T* data() { return reinterpret_cast<T*>(block_->data() + kLead); }
    int step() const { return step_; }
    VpiSize size() const { return {width_, height_}; }
    T* row(int y) { return reinterpret_cast<T*>(block_->data() + kLead + static_cast<std::size_t>(y) * step_); }
    T get(int x, int y) {
        T v;
        std::memcpy(&v, reinterpret_cast<unsigned char*>(row(y)) + x * sizeof(T), sizeof v);
        return v;
    }
    void set(int x, int y, T v) { std::memcpy(reinterpret_cast<unsigned char*>(row(y)) + x * sizeof(T), &v, sizeof v); }
    template <typename F>
    void fill(F f) {
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x) set(x, y, f(x, y));
    }
    bool canariesIntact() const {
        const std::size_t rb = static_cast<std::size_t>(rowBytes(width_));
        for (std::size_t i = 0; i < block_->size(); ++i) {
            const long long rel = static_cast<long long>(i) - kLead;
            const bool inside = rel >= 0 && rel / step_ < height_ && static_cast<std::size_t>(rel % step_) < rb;
            if (!inside && block_->data()[i] != kCanary) return false;
        }
        return true;
    }

private:
    static constexpr int kLead = 64;
    static int rowBytes(int width) { return static_cast<int>(width * sizeof(T)); }
    long long extent(int step) const { return static_cast<long long>(step) * (height_ - 1) + rowBytes(width_); }
    // Bytes to add after the rows so that the first element lies `offset`
    // past a 16-byte boundary when the block ends on a page boundary.
    static long long residue(int offset, long long extentBytes) {
        return ((-(offset + extentBytes)) % 16 + 16) % 16;
    }

    int width_, height_, step_;
    std::unique_ptr<GuardPageBlock> block_;
};

// The shapes every cross-level table runs: widths 1 to 40, source offsets 0
// to 15 bytes, each with a destination offset that differs from it (so
// source and destination alignments are not always alike).
struct Shape {
    int width;
    int srcOffset;
    int dstOffset;
};

inline std::vector<Shape> tableShapes() {
    std::vector<Shape> shapes;
    for (int w = 1; w <= 40; ++w)
        for (int o = 0; o < 16; ++o) shapes.push_back({w, o, (o * 7 + w) % 16});
    return shapes;
}

inline std::string describe(VpLevel level, const Shape& s) {
    return std::string(levelName(level)) + " width " + std::to_string(s.width) + " offsets " +
           std::to_string(s.srcOffset) + "/" + std::to_string(s.dstOffset);
}

// Bit pattern of a float, for exact comparisons that tell NaNs and signed zeros apart.
inline std::uint32_t bitsOf(float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}
inline float floatOf(std::uint32_t u) {
    float f;
    std::memcpy(&f, &u, sizeof f);
    return f;
}

// A uniform random source for the tables.
inline std::uint32_t nextRandom(std::uint32_t& state) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

}  // namespace level_harness

// The four level variants of a routine, indexed by VpLevel:
//   LEVEL_VARIANTS(vpiCopy_8u_C1R)[vpLevelW7](...)
#define LEVEL_VARIANTS(name) (std::array<decltype(&name##_px), 4>{&name##_px, &name##_a6, &name##_w7, &name##_t7})
