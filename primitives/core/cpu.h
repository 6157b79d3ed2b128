// Processor identification and the floating-point control helpers.
//
// The classification looks only at what CPUID reports: the vendor words of
// leaf 0 and the signature and feature words of leaf 1. It picks the processor
// level whose variants the dispatcher installs.
#pragma once

#include <cstdint>

typedef int VpCpuType;
enum : int {
    vpCpuUnknown = 0,
    vpCpuFamily5 = 1,
    vpCpuFamily5MMX = 2,
    vpCpuFamily6 = 3,
    vpCpuFamily6MMX = 4,
    vpCpuFamily6SSE = 5,
    vpCpuFamily15SSE2 = 6,
    vpCpuFamily15HT = 7,
    vpCpuFamily15SSE3 = 8,
    vpCpuFamily6SSE2 = 9,
    vpCpuFamily7 = 16,
    vpCpuFamily15NoSSE2 = 17,
};

// What vpGetCpuFeatures reads from CPUID leaves 1 and 2.
struct VpCpuFeatures {
    int family;         // signature bits 8..11 (the extended family is not consulted)
    int stepping;       // signature bits 0..3
    int model;          // signature bits 4..7 (the extended model is not consulted)
    int cpuTypeBits;    // always 0
    unsigned leaf1Edx;  // leaf-1 feature word EDX
    unsigned leaf2Eax;  // leaf-2 EAX (cache and TLB descriptors)
    unsigned leaf2Edx;  // leaf-2 EDX
    int hasMmx;
    int reserved;       // never written
    int hasSse;
    int hasSse2;
    int hasHyperThreading;  // EDX bit 28 and more than one logical processor
    int hasSse3;
};

// Used by the dispatchers.
VpCpuType vpCoreGetCpuType();
int vpHasCpuid();
int vpIsReferenceVendor();
void vpGetCpuFeatures(VpCpuFeatures* features);

// MXCSR rounding for the SIMD float-to-byte conversions: 0 nearest, 0x6000
// toward zero. Returns the previous MXCSR; rewrites it only when the rounding
// field differs.
unsigned vpSetMxcsrRounding(unsigned roundingBits);
void vpRestoreMxcsr(unsigned mxcsr);

// Further helpers of the library.
unsigned vpGetMaxCpuidLevel();
int vpHasTsc();
int vpHasMmx();
int vpHasSse();
int vpHasSse2();
int vpHasHyperThreading();
int vpHasSse3();
std::uint64_t vpGetCpuClocks();
unsigned vpResetMxcsr();
unsigned vpSetX87ControlWordMasked(unsigned value, unsigned mask);
unsigned vpGetX87ControlWord();
unsigned vpGetX87StatusWord();
unsigned vpGetAndClearX87StatusWord();
unsigned vpSetMxcsrMasked(unsigned value, unsigned mask);
unsigned vpGetMxcsr();
unsigned vpSetX87ControlWordIfChanged(unsigned value, unsigned mask);
void vpRestoreX87ControlWord(unsigned controlWord);
int vpHasDenormalsAreZero();
