// Public types and constants of the fft primitives, and their entries that are
// not dispatched. The dispatched entries are declared from the dispatch list.
#pragma once

#include "primitives/core/vp_types.h"

// Normalisation of a transform record: which direction multiplies by 1/N
// (or both by 1/sqrt(N)). Any other value is refused with vpStsFftFlagErr.
enum : int {
    VP_FFT_DIV_FWD_BY_N = 1,
    VP_FFT_DIV_INV_BY_N = 2,
    VP_FFT_DIV_BY_SQRTN = 4,
    VP_FFT_NODIV_BY_ANY = 8,
};

// One-dimensional complex FFT record of N = 2^order points. It owns
// every table it points to; each table is a separate block of vpsMalloc_8u.
// The tables are in the layout of the processor level that created the record,
// so a record serves only the transforms of that level.
struct VpsFFTSpec_C_32fc {
    Vp32s idCtx;          // 4 while valid, 0 after release
    Vp32s order;          // 0..30
    Vp32s fwdScaleFlag;   // 1: forward transform multiplies by normFactor
    Vp32s invScaleFlag;   // 1: inverse transform multiplies by normFactor
    Vp32f normFactor;     // 1/N or 1/sqrt(N); 0.0 when no direction scales
    VpHintAlgorithm hint; // stored, not read
    Vp32s bufSize;        // bytes of work buffer one transform needs (0: none)
    Vp32s* pBitRev;       // swap-pair table or bit-reverse list
    Vp32f* pTwdDirect;    // twiddles of the direct / innermost sub-transforms
    Vp32f* pTwdBlocked;   // twiddles of the blocked path (px, a6)
    void* pReserved[3];   // never filled; released when set
    Vp32f* pTwdSplit[3];  // per recursion depth: twiddles of the column transforms
    Vp32f* pTwdMatrix[3]; // per recursion depth: twiddle matrix of the column gather
};

// A real-input record shares the record layout and carries id 6.
// Nothing creates one; only its release exists.
typedef VpsFFTSpec_C_32fc VpsFFTSpec_R_32f;

// Two-dimensional complex FFT record for images of 2^orderX x 2^orderY
// pixels. The normalisation lives in the one-dimensional records.
struct VpiFFTSpec_C_32fc {
    Vp32s id;                     // 25 while valid, 0 after release
    Vp32s orderX;                 // row length W = 2^orderX
    Vp32s orderY;                 // column length H = 2^orderY
    VpHintAlgorithm hint;         // passed on to the one-dimensional records
    Vp32s bufSize;                // bytes of work buffer one transform needs
    VpsFFTSpec_C_32fc* pRowSpec;  // rows (and columns when the orders are equal)
    VpsFFTSpec_C_32fc* pColSpec;  // columns; null when orderX == orderY
    VpsFFTSpec_R_32f* pRealSpec1; // always null here; released when set
    VpsFFTSpec_R_32f* pRealSpec2; // always null here; released when set
};
