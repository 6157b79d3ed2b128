// Global motion registration between two 8-bit grey frames, and warping of an
// 8-bit plane by the estimated motion.
//
// Every image handed to this component (the luma given to ImagePyramid::build,
// the mask given to MotionEstimator::estimate, the planes given to
// ModelWarper::warpImageByModel) is 8-bit, single channel, rows x columns
// samples stored row after row WITHOUT gaps between rows: sample (row y,
// column x) is at index y*columns + x.
//
// Plain C++: no primitives, no UI. Problems are reported by false or negative
// results and by short log lines on the standard error stream; nothing throws.
#pragma once

#include <cstdint>

// Maximum number of levels of a chain of level images.
inline constexpr int kMaxPyramidLevels = 10;

// One level of a pyramid chain: rows x columns samples without gaps, either
// 16-bit signed (smoothed levels, masks) or 32-bit float (derivatives,
// warped derivatives, residuals, weights).
struct LevelImage {
    void* data = nullptr;
    int rows = 0;
    int columns = 0;

    int16_t* s16() const { return static_cast<int16_t*>(data); }
    float* f32() const { return static_cast<float*>(data); }
};

// A global motion model: a polynomial map of the pixel coordinates plus an
// optional brightness offset. With u = x - centreColumn, v = y - centreRow:
//   x' = x + c0 + c2*u + c3*v + c6*u^2 + c7*u*v + c8*v^2
//   y' = y + c1 + c4*u + c5*v + c9*u^2 + c10*u*v + c11*v^2
// maps a pixel of the current frame onto the reference frame, and the
// reference sampled at (x', y') plus the offset equals the current pixel.
// Types 1..19 choose which coefficients are estimated (14 = affine).
class MotionModel {
public:
    MotionModel();
    ~MotionModel() = default;
    MotionModel(const MotionModel&) = default;
    MotionModel& operator=(const MotionModel&) = default;

    // Copies every field of other; returns this model.
    MotionModel& copy(const MotionModel& other);
    void setCentre(double row, double column);
    int setType(int newType);
    void setOffset(uint8_t flag, double value);
    // Number of estimated parameters of the type (0 for an unknown type).
    int parameterCount() const;
    // 1 when the brightness offset is estimated as one more parameter.
    uint8_t offsetEstimated() const;
    // c0..c11 out / in, in coefficient order.
    void getCoefficients(double out[12]) const;
    void setCoefficients(const double in[12]);
    // c0..c11 and the offset to 0; centre, flag and type unchanged.
    void zeroCoefficients();

    double c[12];           // c0 .. c11
    double offset;          // brightness offset
    double centreRow;
    double centreColumn;
    uint8_t offsetFlag;     // 1: the offset is estimated
    int32_t type;           // 1 .. 19
};

// Gaussian pyramid of one 8-bit frame: smoothed 16-bit levels and the two
// derivative planes of every level.
class ImagePyramid {
public:
    ImagePyramid();
    ~ImagePyramid();
    ImagePyramid(const ImagePyramid&) = delete;
    ImagePyramid& operator=(const ImagePyramid&) = delete;

    // 0; -3 for levels >= 10; -4 when already allocated; -5 when the levels
    // cannot be obtained (also rows or columns below 2, levels below 1).
    int allocate(int rows, int columns, int levels);
    // bytes: rows*columns 8-bit samples without row gaps. 0; -1 when not
    // allocated; -6 when the smoothing or reduction fails.
    int build(const uint8_t* bytes);
    void release();
    int levelCount() const;
    // out := 0 first; -1 when not allocated, -2 for a level beyond the
    // pyramid, else out := the size of that level and 0.
    int levelRows(int& rows, int level) const;
    int levelColumns(int& columns, int level) const;

    int32_t usedLevels;     // number of levels in use
    int32_t rows;           // size of level 0
    int32_t columns;
    LevelImage smoothed[kMaxPyramidLevels];
    LevelImage gradientX[kMaxPyramidLevels];
    LevelImage gradientY[kMaxPyramidLevels];
    uint8_t allocated;

private:
    // Levels whose samples the chains hold (usedLevels may drop below it when
    // a build fails part way); release frees this many.
    int32_t allocatedLevels_ = 0;
};

// Estimates the global motion between two pyramids.
class MotionEstimator {
public:
    MotionEstimator();
    ~MotionEstimator();
    MotionEstimator(const MotionEstimator&) = delete;
    MotionEstimator& operator=(const MotionEstimator&) = delete;

    // Stores the rate (logs "CMrate" when it lies outside 0..1).
    void setRate(float value);
    // Registers current onto reference. mask: rows*columns bytes (level-0
    // size, no row gaps); only pixels whose mask byte equals key take part.
    // model: in, its type, offset flag and centre (centre (-1, -1) means the
    // centroid of the key pixels); out, on true, the estimated coefficients.
    // On false the coefficients are left as they were (a centre of (-1, -1)
    // is replaced by the centroid even then).
    bool estimate(const ImagePyramid& current, const ImagePyramid& reference,
                  const uint8_t* mask, uint8_t key, MotionModel& model);
    // As estimate, with the mask already widened to 16-bit samples.
    bool estimateLevels(const ImagePyramid& current, const ImagePyramid& reference,
                        const int16_t* mask16, int key, MotionModel& model);
    // Writes text, a line feed, and flushes the standard error stream.
    static void log(const char* text);

    int32_t cachedRows;
    int32_t cachedColumns;
    int32_t scaleMode;
    int32_t weightFunction;
    int32_t outerIterations;
    int32_t irlsIterations;
    double finalScale;
    int32_t maxStartLevel;
    int32_t intermediateLevel;
    int32_t fullModelLevel;
    int32_t maxLevel;
    int32_t minLevel;
    int32_t topLevel;
    uint8_t wantVariance;
    uint8_t wantCovariance;
    uint8_t reportFinalScale;
    double overlapWeightThreshold;
    uint8_t noRobust;
    double rate;
    uint8_t levelSetsAllocated;
    uint8_t weightLevelsAllocated;
    LevelImage warpedGradientX[kMaxPyramidLevels];
    LevelImage warpedGradientY[kMaxPyramidLevels];
    LevelImage residuals[kMaxPyramidLevels];
    LevelImage weights[kMaxPyramidLevels];
    LevelImage maskLevels[kMaxPyramidLevels];
    int32_t usedStartLevel;
    int32_t usedIntermediateLevel;
    int32_t usedFullModelLevel;
    int32_t computeOverlap;
    double overlapRatio;
    double residualVariance;
    double covariance[13][13];

private:
    // Free the weight chain and the driver planes, when allocated.
    void releaseWeightLevels();
    void releaseDriverPlanes();

    // Level index of the last level allocated in each chain (-1: none).
    int weightLevelsTop_ = -1;
    int levelSetsTop_ = -1;
};

// Warps an 8-bit plane by a motion model.
class ModelWarper {
public:
    ModelWarper();
    ~ModelWarper();
    ModelWarper(const ModelWarper&) = delete;
    ModelWarper& operator=(const ModelWarper&) = delete;

    // source, destination: rows*columns bytes without row gaps, the same
    // size (they may be the same buffer). Translation and linear models are
    // resampled bilinearly through the inverse map, quadratic models splatted
    // forward. Destination pixels no source data reaches (always the last
    // row and the last column) become 0; the brightness offset, when the
    // model carries one, is subtracted and the result clamped to 0..255.
    // False (destination unchanged) for a model out of range, a singular
    // linear part (prints "\nCannot wp im\n" on the standard output) or bad
    // sizes.
    bool warpImageByModel(const uint8_t* source, uint8_t* destination, int rows,
                          int columns, MotionModel model);

    void* bufferA;
    void* bufferB;
};
