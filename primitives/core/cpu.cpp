#include "primitives/core/cpu.h"

#include <cpuid.h>
#include <x86intrin.h>

#include <cstdint>
#include <cstring>

#include "primitives/core/cpu_snapshot.h"

namespace {

// The reference vendor's identification words (leaf 0: EBX, EDX, ECX).
constexpr unsigned kVendorEbx = 0x756E6547u;
constexpr unsigned kVendorEdx = 0x49656E69u;
constexpr unsigned kVendorEcx = 0x6C65746Eu;

constexpr std::uint64_t kIdFlag = 0x200000u;

const VpCpuidSnapshot* injectedSnapshot = nullptr;

int idFlagToggles() {
    const std::uint64_t before = __readeflags();
    __writeeflags(before ^ kIdFlag);
    const std::uint64_t after = __readeflags();
    __writeeflags(before);
    return after != before ? 1 : 0;
}

void readLeaf(unsigned leaf, unsigned out[4]) {
    unsigned a = 0, b = 0, c = 0, d = 0;
    __cpuid(leaf, a, b, c, d);
    out[0] = a;
    out[1] = b;
    out[2] = c;
    out[3] = d;
}

// The snapshot the public routines work on: the injected one, or the processor.
VpCpuidSnapshot currentSnapshot() {
    if (injectedSnapshot) return *injectedSnapshot;
    return vpTakeCpuidSnapshot();
}

unsigned leaf1Edx() {
    unsigned r[4];
    readLeaf(1, r);
    return r[3];
}

}  // namespace

VpCpuidSnapshot vpTakeCpuidSnapshot() {
    VpCpuidSnapshot s;
    std::memset(&s, 0, sizeof s);
    s.idFlagToggles = idFlagToggles();
    if (s.idFlagToggles) {
        readLeaf(0, s.leaf0);
        readLeaf(1, s.leaf1);
        readLeaf(2, s.leaf2);
    }
    return s;
}

int vpSnapshotIsReferenceVendor(const VpCpuidSnapshot& s) {
    return s.leaf0[1] == kVendorEbx && s.leaf0[3] == kVendorEdx && s.leaf0[2] == kVendorEcx ? 1 : 0;
}

void vpSnapshotFeatures(const VpCpuidSnapshot& s, VpCpuFeatures* f) {
    const unsigned signature = s.leaf1[0];
    const unsigned ebx = s.leaf1[1];
    const unsigned ecx = s.leaf1[2];
    const unsigned edx = s.leaf1[3];
    f->family = static_cast<int>((signature >> 8) & 0xF);
    f->stepping = static_cast<int>(signature & 0xF);
    f->model = static_cast<int>((signature >> 4) & 0xF);
    f->cpuTypeBits = 0;
    f->leaf1Edx = edx;
    f->leaf2Eax = s.leaf2[0];
    f->leaf2Edx = s.leaf2[3];
    f->hasMmx = (edx >> 23) & 1;
    f->hasSse = (edx >> 25) & 1;
    f->hasSse2 = (edx >> 26) & 1;
    const unsigned logicalCount = (ebx >> 16) & 0xFF;
    f->hasHyperThreading = ((edx >> 28) & 1) && logicalCount > 1 ? 1 : 0;
    f->hasSse3 = static_cast<int>(ecx & 1);
}

VpCpuType vpClassifyCpu(const VpCpuidSnapshot& s) {
    if (!s.idFlagToggles) return vpCpuUnknown;
    if (!vpSnapshotIsReferenceVendor(s)) return vpCpuUnknown;
    VpCpuFeatures f;
    std::memset(&f, 0, sizeof f);
    vpSnapshotFeatures(s, &f);
    switch (f.family) {
        case 7:
            return vpCpuFamily7;
        case 15:
            if (f.hasSse2) {
                if (f.hasSse3) return vpCpuFamily15SSE3;
                return f.hasHyperThreading ? vpCpuFamily15HT : vpCpuFamily15SSE2;
            }
            return vpCpuFamily15NoSSE2;
        case 5:
            return f.hasMmx ? vpCpuFamily5MMX : vpCpuFamily5;
        case 6:
            if (f.hasSse2) return vpCpuFamily6SSE2;
            if (f.hasSse) return vpCpuFamily6SSE;
            return f.hasMmx ? vpCpuFamily6MMX : vpCpuFamily6;
        default:
            return vpCpuUnknown;
    }
}

void vpSetCpuidSnapshotForTesting(const VpCpuidSnapshot* snapshot) { injectedSnapshot = snapshot; }

VpCpuType vpCoreGetCpuType() { return vpClassifyCpu(currentSnapshot()); }

int vpHasCpuid() {
    if (injectedSnapshot) return injectedSnapshot->idFlagToggles ? 1 : 0;
    return idFlagToggles();
}

int vpIsReferenceVendor() {
    if (injectedSnapshot) return vpSnapshotIsReferenceVendor(*injectedSnapshot);
    unsigned r[4];
    readLeaf(0, r);
    return r[1] == kVendorEbx && r[3] == kVendorEdx && r[2] == kVendorEcx ? 1 : 0;
}

void vpGetCpuFeatures(VpCpuFeatures* features) {
    if (!features) return;
    const int reserved = features->reserved;  // the one field that is left as it was
    vpSnapshotFeatures(currentSnapshot(), features);
    features->reserved = reserved;
}

unsigned vpGetMaxCpuidLevel() {
    unsigned r[4];
    readLeaf(0, r);
    return r[0];
}

int vpHasTsc() { return (leaf1Edx() >> 4) & 1; }
int vpHasMmx() { return (leaf1Edx() >> 23) & 1; }
int vpHasSse() { return (leaf1Edx() >> 25) & 1; }
int vpHasSse2() { return (leaf1Edx() >> 26) & 1; }

int vpHasHyperThreading() {
    unsigned r[4];
    readLeaf(1, r);
    return ((r[3] >> 28) & 1) && ((r[1] >> 16) & 0xFF) > 1 ? 1 : 0;
}

int vpHasSse3() {
    unsigned r[4];
    readLeaf(1, r);
    return static_cast<int>(r[2] & 1);
}

std::uint64_t vpGetCpuClocks() { return __rdtsc(); }

unsigned vpGetMxcsr() { return _mm_getcsr(); }

unsigned vpResetMxcsr() {
    const unsigned previous = _mm_getcsr();
    _mm_setcsr(0x1F80u);
    return previous;
}

unsigned vpSetMxcsrMasked(unsigned value, unsigned mask) {
    const unsigned previous = _mm_getcsr();
    _mm_setcsr((previous & ~mask) | (value & mask));
    return previous;
}

unsigned vpSetMxcsrRounding(unsigned roundingBits) {
    const unsigned previous = _mm_getcsr();
    if ((previous & 0x6000u) != roundingBits) _mm_setcsr((previous & 0xFFFF9FFFu) | roundingBits);
    return previous;
}

void vpRestoreMxcsr(unsigned mxcsr) { _mm_setcsr(mxcsr); }

unsigned vpGetX87ControlWord() {
    unsigned short cw = 0;
    __asm__ __volatile__("fnstcw %0" : "=m"(cw));
    return cw;
}

void vpRestoreX87ControlWord(unsigned controlWord) {
    const unsigned short cw = static_cast<unsigned short>(controlWord);
    __asm__ __volatile__("fldcw %0" : : "m"(cw));
}

unsigned vpSetX87ControlWordMasked(unsigned value, unsigned mask) {
    const unsigned previous = vpGetX87ControlWord();
    vpRestoreX87ControlWord((previous & ~mask) | (value & mask));
    return previous;
}

unsigned vpSetX87ControlWordIfChanged(unsigned value, unsigned mask) {
    const unsigned previous = vpGetX87ControlWord();
    if ((previous & mask) != value) vpRestoreX87ControlWord((previous & ~mask) | value);
    return previous;
}

unsigned vpGetX87StatusWord() {
    unsigned short sw = 0;
    __asm__ __volatile__("fnstsw %0" : "=m"(sw));
    return sw;
}

unsigned vpGetAndClearX87StatusWord() {
    unsigned short sw = 0;
    __asm__ __volatile__("fnstsw %0\n\tfnclex" : "=m"(sw));
    return sw;
}

int vpHasDenormalsAreZero() {
    alignas(16) unsigned char area[512];
    std::memset(area, 0, sizeof area);
    __asm__ __volatile__("fxsave %0" : "+m"(area));
    unsigned mask = 0;
    std::memcpy(&mask, area + 28, sizeof mask);  // MXCSR_MASK of the saved image
    return mask != 0 && (mask & 0x40u) ? 1 : 0;
}
