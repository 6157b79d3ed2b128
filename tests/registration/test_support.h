// Helpers shared by the registration tests: owned level planes and a
// counting heap that can refuse an allocation.
#pragma once

#include <cstdlib>
#include <vector>

#include "registration/registration_core.h"

namespace regtest {

// A level image that owns its samples (16-bit or float).
template <typename T>
struct Plane {
    std::vector<T> samples;
    LevelImage level;

    Plane(int rows, int columns, T value = T()) : samples(size_t(rows) * size_t(columns), value) {
        level.data = samples.data();
        level.rows = rows;
        level.columns = columns;
    }
    T& at(int y, int x) { return samples[size_t(y) * level.columns + x]; }
    T at(int y, int x) const { return samples[size_t(y) * level.columns + x]; }
    operator LevelImage&() { return level; }
};
using Plane16 = Plane<int16_t>;
using PlaneF = Plane<float>;

// Counting heap installed for the lifetime of the object: counts live blocks
// and refuses the allocation numbered failAt (1 = the first; 0 = none).
class CountingHeap {
public:
    explicit CountingHeap(long failAt = 0) {
        live() = 0;
        calls() = 0;
        failAtRef() = failAt;
        setRegistrationHeapHooks(&allocate, &release);
    }
    ~CountingHeap() { setRegistrationHeapHooks(nullptr, nullptr); }
    static long liveBlocks() { return live(); }
    static long allocations() { return calls(); }

private:
    static long& live() { static long v = 0; return v; }
    static long& calls() { static long v = 0; return v; }
    static long& failAtRef() { static long v = 0; return v; }
    static void* allocate(size_t bytes) {
        ++calls();
        if (calls() == failAtRef()) return nullptr;
        void* p = std::malloc(bytes);
        if (p != nullptr) ++live();
        return p;
    }
    static void release(void* p) {
        if (p == nullptr) return;
        --live();
        std::free(p);
    }
};

}  // namespace regtest
