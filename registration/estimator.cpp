// The motion estimator: checks its inputs, keeps the driver's work planes
// between calls, turns the caller's MotionModel into the core's working
// record, runs the coarse-to-fine registration and writes the result back.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "registration/registration_core.h"

void MotionEstimator::log(const char* text) {
    std::fputs(text, stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

MotionEstimator::MotionEstimator()
    : cachedRows(0), cachedColumns(0), scaleMode(0), weightFunction(0), outerIterations(7),
      irlsIterations(8), finalScale(8.0), maxStartLevel(-1), intermediateLevel(-1),
      fullModelLevel(-1), maxLevel(3), minLevel(0), topLevel(0), wantVariance(0),
      wantCovariance(0), reportFinalScale(0), overlapWeightThreshold(double(0.2f)), noRobust(0),
      rate(0.0), levelSetsAllocated(0), weightLevelsAllocated(0), usedStartLevel(0),
      usedIntermediateLevel(0), usedFullModelLevel(0), computeOverlap(1), overlapRatio(0.0),
      residualVariance(0.0), covariance{} {
    setRate(0.4f);
}

MotionEstimator::~MotionEstimator() {
    releaseWeightLevels();
    releaseDriverPlanes();
    releaseKernelCache();
}

void MotionEstimator::releaseWeightLevels() {
    if (!weightLevelsAllocated) return;
    freeLevels(weights, weightLevelsTop_ + 1);
    weightLevelsAllocated = 0;
    weightLevelsTop_ = -1;
}

void MotionEstimator::releaseDriverPlanes() {
    if (!levelSetsAllocated) return;
    releaseLevelSets(levelSetsTop_ + 1, levelSetsAllocated, warpedGradientX, warpedGradientY, residuals,
                     maskLevels);
    levelSetsTop_ = -1;
}

namespace {

// The level-0 size both pyramids share. False when a size cannot be read, and
// with the log line `mismatch` when the two differ.
bool baseLevelSize(const ImagePyramid& current, const ImagePyramid& reference, const char* mismatch, int& rows,
                   int& columns) {
    int rowsR = 0, columnsR = 0;
    if (current.levelRows(rows, 0) != 0 || current.levelColumns(columns, 0) != 0 ||
        reference.levelRows(rowsR, 0) != 0 || reference.levelColumns(columnsR, 0) != 0)
        return false;
    if (rows != rowsR || columns != columnsR) {
        MotionEstimator::log(mismatch);
        return false;
    }
    return true;
}

}  // namespace

void MotionEstimator::setRate(float value) {
    if (value < 0.0f || value > 1.0f) log("CMrate");
    rate = double(value);
}

bool MotionEstimator::estimate(const ImagePyramid& current, const ImagePyramid& reference,
                               const uint8_t* mask, uint8_t key, MotionModel& model) {
    int rows = 0, columns = 0;
    if (!baseLevelSize(current, reference, "CM est- size d", rows, columns)) return false;
    if (mask == nullptr) return false;
    const size_t samples = size_t(int64_t(rows) * int64_t(columns));
    int16_t* mask16 = static_cast<int16_t*>(regMalloc(sizeof(int16_t) * samples));
    if (mask16 == nullptr) return false;
    for (int y = 0; y < rows; ++y)
        bytesToShorts(mask + int64_t(y) * columns, mask16 + int64_t(y) * columns, columns);
    const bool ok = estimateLevels(current, reference, mask16, key, model);
    regFree(mask16);
    return ok;
}

bool MotionEstimator::estimateLevels(const ImagePyramid& current, const ImagePyramid& reference,
                                     const int16_t* mask16, int key, MotionModel& model) {
    // 1. Sizes.
    int rows = 0, columns = 0;
    if (!baseLevelSize(current, reference, "CM est - E: P size", rows, columns)) return false;
    if (mask16 == nullptr) return false;

    // 2. Work planes of another size are released.
    if (rows != cachedRows || columns != cachedColumns) {
        releaseWeightLevels();
        releaseDriverPlanes();
    }
    cachedRows = rows;
    cachedColumns = columns;
    overlapRatio = 0.0;
    residualVariance = 0.0;
    if (wantCovariance) wantVariance = 1;

    // 3. Working record.
    RegistrationModel R;
    initCovariance(R);
    R.residualVariance = 0.0;
    R.computeVariance = wantVariance;
    R.computeCovariance = wantCovariance;

    // 4. Level bounds.
    int boundsGiven = 0;
    if (!(maxStartLevel == -1 && intermediateLevel == -1 && fullModelLevel == -1)) {
        boundsGiven = 1;
        char text[64];
        if (fullModelLevel >= intermediateLevel) {
            std::snprintf(text, sizeof text, "CM est - ln %d  %d...", fullModelLevel,
                          intermediateLevel);
            log(text);
            return false;
        }
        if (intermediateLevel >= maxStartLevel) {
            std::snprintf(text, sizeof text, "CM est - ln %d  %d...", intermediateLevel,
                          maxStartLevel);
            log(text);
            return false;
        }
    }

    // 5.
    if (maxLevel < minLevel) {
        log("CM est - i..");
        return false;
    }

    // 6. Levels in common.
    topLevel = std::min(current.levelCount(), reference.levelCount()) - 1;
    if (topLevel < 0) return false;
    topLevel = std::min(topLevel, maxLevel);

    // 7. Weight planes; a chain allocated for another level count is
    // reallocated.
    if (weightLevelsTop_ != topLevel) releaseWeightLevels();
    if (!weightLevelsAllocated) {
        int n = topLevel;
        if (!allocateLevels32f(weights, rows, columns, n)) return false;
        weightLevelsTop_ = n;
        weightLevelsAllocated = 1;
    }
    topLevel = std::min(topLevel, weightLevelsTop_);

    // 8. Driver planes.
    if (!allocateLevelSets(rows, columns, topLevel, levelSetsAllocated, levelSetsTop_,
                           warpedGradientX, warpedGradientY, residuals, maskLevels)) {
        log("CM est - mem");
        return false;
    }

    // 9. Mask.
    std::memcpy(maskLevels[0].data, mask16, sizeof(int16_t) * size_t(int64_t(rows) * columns));

    // 10. Type.
    const int p = modelParameterCount(model.type);
    if (p == 0) {
        log("CM est - not impl.\n");
        return false;
    }

    // 11. The caller's model.
    R.offsetEstimated = model.offsetFlag;
    std::memcpy(R.c, model.c, sizeof R.c);
    R.offset = 0.0;
    R.parameterCount = p;
    R.type = model.type;

    // 12./13. Key rectangle, and the centroid as the centre when asked for.
    double meanRow = 0.0, meanColumn = 0.0;
    maskBoundsAndCentroid(maskLevels[0], key, meanRow, meanColumn, R.region, 0);
    if (model.centreRow == -1.0 && model.centreColumn == -1.0) model.setCentre(meanRow, meanColumn);
    R.centreRow = model.centreRow;
    R.centreColumn = model.centreColumn;

    // 14. Registration.
    PyramidRegistrationParams params;
    params.key = key;
    params.rectangle = R.region;
    params.topLevel = topLevel;
    params.currentSmoothed = current.smoothed;
    params.referenceSmoothed = reference.smoothed;
    params.currentGx = current.gradientX;
    params.currentGy = current.gradientY;
    params.referenceGx = reference.gradientX;
    params.referenceGy = reference.gradientY;
    params.irlsIterations = irlsIterations;
    params.weightFunction = weightFunction;
    params.noRobust = noRobust;
    params.scaleMode = scaleMode;
    params.outerIterations = outerIterations;
    params.mode = 0;
    params.boundsGiven = boundsGiven;
    params.maxStartLevel = maxStartLevel;
    params.intermediateLevel = intermediateLevel;
    params.fullModelLevel = fullModelLevel;
    params.minLevel = minLevel;
    params.weights = weights;
    params.rate = rate;
    params.wgx = warpedGradientX;
    params.wgy = warpedGradientY;
    params.res = residuals;
    params.mask = maskLevels;
    params.reportFinalScale = reportFinalScale;
    int usedBounds[3] = {0, 0, 0};
    const bool ok = registerPyramid(params, R, finalScale, usedBounds);
    usedStartLevel = usedBounds[0];
    usedIntermediateLevel = usedBounds[1];
    usedFullModelLevel = usedBounds[2];
    if (!ok) return false;

    // 15. Share of the key pixels inside the reference that kept weight.
    if (computeOverlap == 1 && minLevel <= topLevel) {
        RegistrationModel atLevel;
        scaleModelToLevel(R, atLevel, minLevel);
        double full[13];
        modelAtCentre(atLevel, full, 0.0, 0.0);
        const LevelImage& m = maskLevels[minLevel];
        const LevelImage& w = weights[minLevel];
        const int16_t key16 = int16_t(key);
        long long keyCount = 0, inside = 0, weighted = 0;
        for (int y = 0; y < m.rows; ++y) {
            for (int x = 0; x < m.columns; ++x) {
                const int64_t i = int64_t(y) * m.columns + x;
                if (m.s16()[i] != key16) continue;
                ++keyCount;
                const double xd = x, yd = y;
                const double xp = full[0] + (1.0 + full[2]) * xd + full[3] * yd +
                                  full[6] * xd * xd + full[7] * xd * yd + full[8] * yd * yd;
                const double yp = full[1] + full[4] * xd + (1.0 + full[5]) * yd +
                                  full[9] * xd * xd + full[10] * xd * yd + full[11] * yd * yd;
                const double tx = std::trunc(xp), ty = std::trunc(yp);
                if (!(tx >= 0.0 && tx < m.columns && ty >= 0.0 && ty < m.rows)) continue;
                ++inside;
                if (w.f32()[i] > overlapWeightThreshold) ++weighted;
            }
        }
        overlapRatio = (inside > 0 && inside >= keyCount / 8) ? double(weighted) / double(inside)
                                                              : 0.0;
    }

    // 16.
    residualVariance = R.residualVariance;
    if (wantCovariance) std::memcpy(covariance, R.covariance, sizeof covariance);

    // 17. Result.
    model.setCentre(R.centreRow, R.centreColumn);
    model.setCoefficients(R.c);
    model.setOffset(model.offsetFlag, R.offset);
    return true;
}

bool allocateLevelSets(int rows, int columns, int& topLevel, uint8_t& levelSetsAllocated,
                       int& allocatedTop, LevelImage warpedGradientX[],
                       LevelImage warpedGradientY[], LevelImage residuals[],
                       LevelImage maskLevels[]) {
    if (levelSetsAllocated) {
        if (maskLevels[0].rows == rows && maskLevels[0].columns == columns &&
            allocatedTop == topLevel)
            return true;
        releaseLevelSets(allocatedTop + 1, levelSetsAllocated, warpedGradientX, warpedGradientY,
                         residuals, maskLevels);
        allocatedTop = -1;
    }
    LevelImage* floats[3] = {warpedGradientX, warpedGradientY, residuals};
    int n[4] = {topLevel, topLevel, topLevel, topLevel};
    int allocatedChains = 0;
    bool ok = true;
    for (int i = 0; i < 3; ++i) {
        if (!allocateLevels32f(floats[i], rows, columns, n[i])) {
            ok = false;
            break;
        }
        ++allocatedChains;
    }
    if (ok && !allocateLevels16(maskLevels, rows, columns, n[3])) ok = false;
    if (!ok) {
        for (int i = 0; i < allocatedChains; ++i) freeLevels(floats[i], n[i] + 1);
        return false;
    }
    topLevel = std::min(std::min(n[0], n[1]), std::min(n[2], n[3]));
    allocatedTop = topLevel;
    levelSetsAllocated = 1;
    return true;
}

void releaseLevelSets(int n, uint8_t& levelSetsAllocated, LevelImage warpedGradientX[],
                      LevelImage warpedGradientY[], LevelImage residuals[],
                      LevelImage maskLevels[]) {
    if (!levelSetsAllocated) return;
    freeLevels(warpedGradientX, n);
    freeLevels(warpedGradientY, n);
    freeLevels(residuals, n);
    freeLevels(maskLevels, n);
    levelSetsAllocated = 0;
}

void maskBoundsAndCentroid(const LevelImage& mask, int key, double& meanRow, double& meanColumn,
                           int32_t rectangle[4], int mode) {
    const int16_t key16 = int16_t(key);
    if (mask.data == nullptr) {
        meanRow = meanColumn = 7.0;
        return;
    }
    const int16_t* m = mask.s16();
    int colStart = 0, rowStart = 0, colEnd = mask.columns, rowEnd = mask.rows;
    if (mode == 1) {
        colStart = std::max(0, int(rectangle[0]));
        rowStart = std::max(0, int(rectangle[1]));
        colEnd = std::min(mask.columns, int(rectangle[2]));
        rowEnd = std::min(mask.rows, int(rectangle[3]));
    } else {
        rectangle[0] = mask.columns;
        rectangle[1] = mask.rows;
        rectangle[2] = 1;
        rectangle[3] = 1;
    }
    // Sums in integers: the mean of a full 640 x 480 mask is exactly
    // (239.5, 319.5).
    long long sumRow = 0, sumColumn = 0, count = 0;
    for (int y = rowStart; y < rowEnd; ++y) {
        for (int x = colStart; x < colEnd; ++x) {
            if (m[int64_t(y) * mask.columns + x] != key16) continue;
            sumRow += y;
            sumColumn += x;
            ++count;
            if (mode != 1) {
                if (x < rectangle[0]) rectangle[0] = x;
                if (y < rectangle[1]) rectangle[1] = y;
                if (x + 1 > rectangle[2]) rectangle[2] = x + 1;
                if (y + 1 > rectangle[3]) rectangle[3] = y + 1;
            }
        }
    }
    if (count == 0) {
        meanRow = meanColumn = 7.0;
        return;
    }
    meanRow = double(sumRow) / double(count);
    meanColumn = double(sumColumn) / double(count);
}
