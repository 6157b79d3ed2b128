// Shared vocabulary of the image and signal primitives: element types, operand
// records, status codes and processor levels.
#pragma once

#include <cstdint>

typedef std::uint8_t Vp8u;
typedef std::int16_t Vp16s;
typedef std::uint16_t Vp16u;
typedef std::int32_t Vp32s;
typedef float Vp32f;
typedef double Vp64f;

// Complex value, real part first.
struct Vp32fc {
    Vp32f re;
    Vp32f im;
};

// Every primitive returns one of these: 0 success, negative errors, positive warnings.
typedef int VpStatus;

enum : int {
    vpStsNoErr = 0,
    vpStsNoOperation = 1,
    vpStsDivByZero = 6,
    vpStsNonReferenceCpu = 20,
    vpStsCpuMismatch = 21,
    vpStsSizeErr = -6,
    vpStsNullPtrErr = -8,
    vpStsMemAllocErr = -9,
    vpStsStepErr = -14,
    vpStsFftOrderErr = -15,
    vpStsFftFlagErr = -16,
    vpStsContextMatchErr = -17,
    vpStsInterpolationErr = -22,
    vpStsResizeFactorErr = -23,
    vpStsMaskSizeErr = -33,
    vpStsAnchorErr = -34,
    vpStsStrideErr = -37,
    vpStsCoeffErr = -56,
    vpStsWrongIntersectROI = -57,
    vpStsZeroMaskValuesErr = -59,
    vpStsNotSupportedModeErr = -9999,
};

struct VpiSize {
    int width;
    int height;
};

struct VpiRect {
    int x;
    int y;
    int width;
    int height;
};

struct VpiPoint {
    int x;
    int y;
};

// Processor level of a variant, and the column of a dispatch record.
typedef int VpLevel;
enum : int { vpLevelPx = 0, vpLevelA6 = 1, vpLevelW7 = 2, vpLevelT7 = 3 };

typedef int VpHintAlgorithm;
enum : int { vpAlgHintFast = 1, vpAlgHintAccurate = 2 };
