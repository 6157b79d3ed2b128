// Internal interface of the registration core: the working model record, the
// model utilities, the pyramid routines, the driver, the per-level
// refinement, the normal-equation builders, the small linear algebra and the
// model warps. Callers outside registration/ include registration.h only.
#pragma once

#include <cstddef>
#include <cstdint>

#include "registration/registration.h"

// ---------------------------------------------------------------------------
// Models

// The core's working model: the MotionModel fields plus bookkeeping.
struct RegistrationModel {
    double c[12] = {};
    double offset = 0.0;
    double centreRow = 0.0;
    double centreColumn = 0.0;
    int32_t usedPixelCount = 0;     // pixels with weight > 0.01 in the last equations
    int32_t parameterCount = 0;     // modelParameterCount(type)
    uint8_t offsetEstimated = 0;
    int32_t type = 0;
    int32_t region[4] = {};         // colStart, rowStart, colEnd, rowEnd at level 0
    uint8_t computeVariance = 0;
    double residualVariance = 0.0;
    double usedFraction = 0.0;      // used / counted pixels of the last equations
    uint8_t computeCovariance = 0;
    double covariance[13][13] = {}; // index k = ck, 12 = offset
};

// Per-coefficient weights of modelDistance (index k = ck, 12 = offset).
struct ModelNormWeights {
    double w[13] = {};
};

int modelParameterCount(int type);
int modelClass(int type);
int modelCoefficientCount(int type);
// Type used at the coarse levels, and between the coarse and the final type
// (0 when the type has no intermediate type).
int coarseType(int type);
int intermediateModelType(int type);

void copyRegistrationModel(const RegistrationModel& source, RegistrationModel& destination,
                           int mode);
bool modelAtCentre(const RegistrationModel& model, double full[13], double row, double column);
bool coefficientsInRange(const RegistrationModel& model);
void scaleModelToLevel(const RegistrationModel& source, RegistrationModel& destination, int n);
void splitModelRows(const RegistrationModel& model, uint8_t offsetFlag, double xTerms[6],
                    double yTerms[6], double& offset);
void resetModelTerms(RegistrationModel& model, int n);
void coarseModelType(int type, uint8_t offsetFlag, RegistrationModel& model);
void modelNormWeights(ModelNormWeights& weights, int type, uint8_t offsetFlag, int colStart,
                      int rowStart, int colEnd, int rowEnd);
double modelDistance(const RegistrationModel& a, const RegistrationModel& b,
                     const ModelNormWeights& weights, int mode);
void initCovariance(RegistrationModel& model);
// inverse: n x n row by row, n = parameterCount (+1 with the offset).
void storeCovariance(const double* inverse, RegistrationModel& model);

// RegistrationModel built from a MotionModel (coefficients, offset, centre,
// type, flag, parameter count).
RegistrationModel registrationModelFrom(const MotionModel& model);

// ---------------------------------------------------------------------------
// Pyramid

struct GaussianKernelCache {
    int32_t valid = 0;
    double variance = 0.0;
    int32_t tapCount = 0;
    int32_t halfWidth = 0;
    double* taps = nullptr;        // tapCount values
    double* borderMass = nullptr;  // halfWidth values
};

// The module-level smoothing kernel cache and its filled flag.
GaussianKernelCache& gaussianKernelCache();
bool gaussianKernelCacheFilled();

bool allocateLevels16(LevelImage chain[], int rows, int columns, int& n);
bool allocateLevels32f(LevelImage chain[], int rows, int columns, int& n);
void freeLevels(LevelImage chain[], int n);
bool buildPyramidLevels(LevelImage smoothed[], LevelImage gradientX[], LevelImage gradientY[],
                        ImagePyramid& pyramid, double variance, double a, int gradientSize,
                        bool withDerivatives, bool allocate);
bool buildGaussianKernel(GaussianKernelCache& cache, double variance);
bool gaussianSmooth(const LevelImage& source, LevelImage& destination, double variance);
bool reduceLevel(const LevelImage& source, LevelImage& destination, double a);
bool reducePyramid(LevelImage chain[], int& count, double a, bool allocate);
bool computeGradients(const LevelImage& level, LevelImage& gradientX, LevelImage& gradientY,
                      int size);
// kernel: the size x size float table, already scaled by 1/divisor.
bool gradientColumns(const LevelImage& level, LevelImage& destination, const float* kernel,
                     int size);
bool gradientRows(const LevelImage& level, LevelImage& destination, const float* kernel,
                  int size);
// Loads the derivative kernel of size 3, 5 or 7 into the module-level table,
// scaled by 1/divisor; null for other sizes.
const float* loadDerivativeKernel(int size);
void subsampleLevel(const LevelImage& source, LevelImage& destination);
void symmetricFir3(const float* input, float* output, int count, const float* taps);
void symmetricFir5(const float* input, float* output, int count, const float* taps);
void symmetricFir7(const float* input, float* output, int count, const float* taps);
void releaseKernelCache();

void doublesToFloats(const double* doubles, float* floats, int n);
void shortsToFloats(const int16_t* shorts, float* floats, int n);
void bytesToShorts(const uint8_t* bytes, int16_t* shorts, int n);
void gatherShortsToFloats(const int16_t* shorts, int srcStride, float* floats, int dstStride,
                          int n);
void gatherStrided32(const int32_t* source, int srcStride, int32_t* destination, int dstStride,
                     int n);
void fillInts(int32_t* values, int n, int32_t value);
void fillStrided(int32_t* values, int stride, int n, int32_t value);
void fillDoubles(double* values, int n, double value);
void addFloats(float* p, const float* q, int n);
void subtractFloats(float* p, const float* q, int n);
void addFloatsStrided(float* p, int stride, const float* q, int stride2, int n);
void subtractFloatsStrided(float* p, int stride, const float* q, int stride2, int n);
void scaleFloats(float* p, int n, float x);
void freePair(void*& first, void*& second);

// ---------------------------------------------------------------------------
// Driver

struct PyramidRegistrationParams {
    int key = 250;
    const int32_t* rectangle = nullptr;   // colStart, rowStart, colEnd, rowEnd at level 0
    int topLevel = 0;
    const LevelImage* currentSmoothed = nullptr;
    const LevelImage* referenceSmoothed = nullptr;
    const LevelImage* currentGx = nullptr;
    const LevelImage* currentGy = nullptr;
    const LevelImage* referenceGx = nullptr;
    const LevelImage* referenceGy = nullptr;
    int irlsIterations = 8;
    int weightFunction = 0;
    uint8_t noRobust = 0;
    int scaleMode = 0;
    int outerIterations = 7;
    int mode = 0;
    int boundsGiven = 0;
    int maxStartLevel = -1;
    int intermediateLevel = -1;
    int fullModelLevel = -1;
    int minLevel = 0;
    LevelImage* weights = nullptr;
    double rate = 0.4;
    LevelImage* wgx = nullptr;
    LevelImage* wgy = nullptr;
    LevelImage* res = nullptr;
    LevelImage* mask = nullptr;           // level 0 filled by the caller
    uint8_t reportFinalScale = 0;
};

// Coarse-to-fine estimate. model: in, type, offset flag, centre and request
// flags; out, the estimate. finalScale in and out. usedBounds: start,
// intermediate and full-model levels in effect.
bool registerPyramid(const PyramidRegistrationParams& p, RegistrationModel& model,
                     double& finalScale, int usedBounds[3]);
int countKeyPixels(const LevelImage& level, int colStart, int rowStart, int colEnd, int rowEnd,
                   int key);
int findStartLevel(const LevelImage maskChain[], int key, int levelCount, int minimumCount,
                   const int32_t rectangle[4], int& count);
void valueRange(const LevelImage& plane, int colStart, int rowStart, int colEnd, int rowEnd,
                const LevelImage& mask, int key, int mode, double& minimum, double& maximum);
double robustResidualScale(const LevelImage& mask, int key, const int32_t rectangle[4],
                           const LevelImage& residual, int mode);
double medianAbsoluteDeviation(double* values, int n);
double selectRank(double* values, int n, int k);
double interpolateScale(double a, double b, double c, double d);

// ---------------------------------------------------------------------------
// Refinement at one level

int warpAndResidual(const LevelImage& mask, int key, const LevelImage& current,
                    const LevelImage& reference, const LevelImage& gx, const LevelImage& gy,
                    int colStart, int rowStart, int colEnd, int rowEnd,
                    const RegistrationModel& model, LevelImage& wgx, LevelImage& wgy,
                    LevelImage& res);
void initRobustWeights(const LevelImage& mask, int key, bool robust, int weightFunction, double s,
                       int colStart, int rowStart, int colEnd, int rowEnd, const LevelImage& res,
                       LevelImage& weights);
void updateRobustWeights(const LevelImage& wgx, const LevelImage& wgy, const LevelImage& res,
                         const RegistrationModel& increment, int type, double centreRow,
                         double centreColumn, const LevelImage& mask, int key, int colStart,
                         int rowStart, int colEnd, int rowEnd, LevelImage& weights,
                         int weightFunction, double s);
bool buildNormalEquations(const LevelImage& wgx, const LevelImage& wgy, const LevelImage& res,
                          RegistrationModel& increment, const LevelImage& mask, int key,
                          int colStart, int rowStart, int colEnd, int rowEnd,
                          const LevelImage& weights);
bool refineAtLevel(const LevelImage& mask, int key, int colStart, int rowStart, int colEnd,
                   int rowEnd, RegistrationModel& increment, bool robust, LevelImage& weights,
                   int maxIterations, int weightFunction, double s, const LevelImage& wgx,
                   const LevelImage& wgy, const LevelImage& res);

// ---------------------------------------------------------------------------
// Normal equations, one builder per model type

#define REG_BUILDER2(N)                                                                      \
    bool buildEquationsType##N(const LevelImage& g, const LevelImage& r, const LevelImage& mask, \
                               int key, int colStart, int rowStart, int colEnd, int rowEnd,  \
                               const LevelImage& w, RegistrationModel& model);
#define REG_BUILDER3(N)                                                                      \
    bool buildEquationsType##N(const LevelImage& gx, const LevelImage& gy, const LevelImage& r, \
                               const LevelImage& mask, int key, int colStart, int rowStart,  \
                               int colEnd, int rowEnd, const LevelImage& w,                  \
                               RegistrationModel& model);
REG_BUILDER2(1) REG_BUILDER2(2)
REG_BUILDER3(3) REG_BUILDER3(4) REG_BUILDER3(5) REG_BUILDER3(6) REG_BUILDER3(7)
REG_BUILDER3(8) REG_BUILDER3(9) REG_BUILDER3(10) REG_BUILDER3(11) REG_BUILDER3(12)
REG_BUILDER3(13) REG_BUILDER3(14) REG_BUILDER3(15) REG_BUILDER3(16) REG_BUILDER3(17)
REG_BUILDER3(18) REG_BUILDER3(19)
#undef REG_BUILDER2
#undef REG_BUILDER3

// ---------------------------------------------------------------------------
// Linear algebra (double precision; factor routines work on column-stored
// matrices, element (i, j) at j*lda + i)

inline constexpr double kSmallestNormal = 2.2250738585072014e-308;

bool solveLeastSquares(const double* A, const double* b, double* x, int n, int lda);
bool invertAndCheck(const double* A, double* inverse, int n);
int luFactor(double* a, int lda, int n, int* ipvt, int& info);
void luDeterminantInverse(double* a, int lda, int n, const int* ipvt, double det[2],
                          double* work, int job);
int luConditionEstimate(double* a, int lda, int n, int* ipvt, double& rcond, double* z);
double sumOfProducts(const double* x, const double* y, unsigned n);
double vectorAbsSum(const double* x, int n, int stride);
int vectorAddScaled(double* y, const double* x, int n, double a, int strideY, int strideX);
double vectorDot(const double* x, const double* y, int n, int strideX, int strideY);
int vectorScale(double* x, int n, double a, int stride);
int vectorSwap(double* x, double* y, int n, int strideX, int strideY);
int vectorMaxAbsIndex(const double* x, int n, int stride);
double copySign(double a, double b);

// ---------------------------------------------------------------------------
// Warps of 8-bit images (rows x columns without gaps)

bool warpQuadraticSplat(const uint8_t* source, uint8_t* destination, int rows, int columns,
                        const RegistrationModel& model, uint8_t fill);
bool warpAffineBilinear(const uint8_t* source, uint8_t* destination, int rows, int columns,
                        const RegistrationModel& model, uint8_t fill);

// ---------------------------------------------------------------------------
// Estimator helpers

bool allocateLevelSets(int rows, int columns, int& topLevel, uint8_t& levelSetsAllocated,
                       int& allocatedTop, LevelImage warpedGradientX[],
                       LevelImage warpedGradientY[], LevelImage residuals[],
                       LevelImage maskLevels[]);
void releaseLevelSets(int n, uint8_t& levelSetsAllocated, LevelImage warpedGradientX[],
                      LevelImage warpedGradientY[], LevelImage residuals[],
                      LevelImage maskLevels[]);
void maskBoundsAndCentroid(const LevelImage& mask, int key, double& meanRow, double& meanColumn,
                           int32_t rectangle[4], int mode);

// ---------------------------------------------------------------------------
// Heap of the registration: every block of the component comes from here.

void* regMalloc(size_t bytes);
void* regCalloc(size_t count, size_t size);  // zero-filled; null on size overflow
void regFree(void* block);
// Test hook: route the allocations through alloc/release (both null restores
// the C heap), to inject allocation failures and count live blocks.
void setRegistrationHeapHooks(void* (*alloc)(size_t), void (*release)(void*));
