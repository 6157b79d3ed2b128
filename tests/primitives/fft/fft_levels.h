// The four processor levels of the one-dimensional FFT side by side, for
// tests that run one table of cases over every level.
#pragma once

#include <cstdint>
#include <vector>

#include "primitives/fft/fft_internal.h"
#include "primitives/fft/fft_px.h"
#include "primitives/fft/fft_simd.h"

namespace fftlevels {

typedef VpStatus (*Transform)(const float*, float*, const VpsFFTSpec_C_32fc*, Vp8u*);

struct Level {
    const char* name;
    VpStatus (*init)(VpsFFTSpec_C_32fc**, int, int, VpHintAlgorithm);
    Transform fwd, inv;
    VpStatus (*getBufSize)(const VpsFFTSpec_C_32fc*, int*);
    VpStatus (*release)(VpsFFTSpec_C_32fc*);
    VpStatus (*releaseReal)(VpsFFTSpec_R_32f*);
    const FFTLevelLayout* layout;
    int fusedMax;  // largest order of the fused kernels (0: none)
};

inline const Level kPx = {"px", vpsFFTInitAlloc_C_32fc_px, vpsFFTFwd_CToC_32fc_px, vpsFFTInv_CToC_32fc_px,
                          vpsFFTGetBufSize_C_32fc_px, vpsFFTFree_C_32fc_px, vpsFFTFree_R_32f_px, &FFTLayout_px, 0};
inline const Level kA6 = {"a6", vpsFFTInitAlloc_C_32fc_a6, vpsFFTFwd_CToC_32fc_a6, vpsFFTInv_CToC_32fc_a6,
                          vpsFFTGetBufSize_C_32fc_px, vpsFFTFree_C_32fc_a6, vpsFFTFree_R_32f_a6, &FFTLayout_a6, 9};
inline const Level kW7 = {"w7", vpsFFTInitAlloc_C_32fc_w7, vpsFFTFwd_CToC_32fc_w7, vpsFFTInv_CToC_32fc_w7,
                          vpsFFTGetBufSize_C_32fc_w7, vpsFFTFree_C_32fc_w7, vpsFFTFree_R_32f_w7, &FFTLayout_w7, 14};
inline const Level kT7 = {"t7", vpsFFTInitAlloc_C_32fc_t7, vpsFFTFwd_CToC_32fc_t7, vpsFFTInv_CToC_32fc_t7,
                          vpsFFTGetBufSize_C_32fc_w7, vpsFFTFree_C_32fc_t7, vpsFFTFree_R_32f_t7, &FFTLayout_t7, 15};

inline const Level* const kAll[] = {&kPx, &kA6, &kW7, &kT7};
inline const Level* const kSimd[] = {&kA6, &kW7, &kT7};

// A record of one level, released with that level's release.
struct Spec {
    const Level& level;
    VpsFFTSpec_C_32fc* p = nullptr;
    VpStatus status;
    Spec(const Level& lv, int order, int flag) : level(lv), status(lv.init(&p, order, flag, vpAlgHintFast)) {}
    ~Spec() {
        if (p) level.release(p);
    }
    Spec(const Spec&) = delete;
    Spec& operator=(const Spec&) = delete;
    int bufSize() const {
        int size = -1;
        level.getBufSize(p, &size);
        return size;
    }
};

inline VpStatus run(const Level& lv, bool fwd, const float* src, float* dst, const VpsFFTSpec_C_32fc* spec,
                    Vp8u* buf = nullptr) {
    return (fwd ? lv.fwd : lv.inv)(src, dst, spec, buf);
}

// Storage of `floats` floats whose start lies `offset` bytes past a 16-byte boundary.
struct Placed {
    std::vector<float> store;
    float* p;
    Placed(std::size_t floats, int offset) : store(floats + 8, 0.0f) {
        auto* b = reinterpret_cast<unsigned char*>(store.data());
        while ((reinterpret_cast<std::uintptr_t>(b) & 15) != static_cast<std::uintptr_t>(offset)) b += 4;
        p = reinterpret_cast<float*>(b);
    }
};

}  // namespace fftlevels
