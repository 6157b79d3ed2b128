// Coarse-to-fine registration of two pyramids: the start level, the annealed
// robust scale, the per-level refinement rounds and the model-type upgrades.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "registration/registration_core.h"

namespace {

struct Rect {
    int colStart, rowStart, colEnd, rowEnd;
};

// Level-L rectangle of the level-0 rectangle; its first row and column are
// dropped.
Rect levelRectangle(const int32_t r[4], int level) {
    const int d = 1 << level;
    return {r[0] / d + 1, r[1] / d + 1, r[2] / d, r[3] / d};
}

// A := A + D (coefficients and offset).
void accumulate(RegistrationModel& A, const RegistrationModel& D) {
    for (int k = 0; k < 12; ++k) A.c[k] += D.c[k];
    A.offset += D.offset;
    A.residualVariance = D.residualVariance;
}

}  // namespace

int countKeyPixels(const LevelImage& level, int colStart, int rowStart, int colEnd, int rowEnd,
                   int key) {
    if (level.data == nullptr) return 0;
    if (colStart < 0) colStart = 0;
    if (rowStart < 0) rowStart = 0;
    if (colEnd > level.columns) colEnd = level.columns;
    if (rowEnd > level.rows) rowEnd = level.rows;
    const int16_t* m = level.s16();
    const int16_t key16 = int16_t(key);
    int count = 0;
    for (int y = rowStart; y < rowEnd; ++y)
        for (int x = colStart; x < colEnd; ++x)
            if (m[int64_t(y) * level.columns + x] == key16) ++count;
    return count;
}

int findStartLevel(const LevelImage maskChain[], int key, int levelCount, int minimumCount,
                   const int32_t rectangle[4], int& count) {
    count = 0;
    if (levelCount > kMaxPyramidLevels) levelCount = kMaxPyramidLevels;
    for (int L = levelCount - 1; L >= 0; --L) {
        const Rect r = levelRectangle(rectangle, L);
        count = countKeyPixels(maskChain[L], r.colStart, r.rowStart, r.colEnd, r.rowEnd, key);
        if (count >= minimumCount) return L;
    }
    return -1;
}

void valueRange(const LevelImage& plane, int colStart, int rowStart, int colEnd, int rowEnd,
                const LevelImage& mask, int key, int mode, double& minimum, double& maximum) {
    float lo = 100000.0f;
    float hi = -100000.0f;
    const bool useMask = mode == 0 || mode == 1;
    const bool magnitude = mode == 1 || mode == 3;
    if (plane.data != nullptr &&
        (!useMask || (mask.data != nullptr && mask.rows == plane.rows &&
                      mask.columns == plane.columns))) {
        if (colStart < 0) colStart = 0;
        if (rowStart < 0) rowStart = 0;
        if (colEnd > plane.columns) colEnd = plane.columns;
        if (rowEnd > plane.rows) rowEnd = plane.rows;
        const float* p = plane.f32();
        const int16_t* m = mask.s16();
        const int16_t key16 = int16_t(key);
        for (int y = rowStart; y < rowEnd; ++y) {
            for (int x = colStart; x < colEnd; ++x) {
                const int64_t i = int64_t(y) * plane.columns + x;
                if (useMask && m[i] != key16) continue;
                const float v = magnitude ? std::fabs(p[i]) : p[i];
                if (v < lo) lo = v;
                if (v > hi) hi = v;
            }
        }
    }
    minimum = lo;
    maximum = hi;
}

double selectRank(double* values, int n, int k) {
    // Fewer than two values, or a rank outside 1..n, has no k-th smallest.
    if (values == nullptr || n < 2 || k < 1 || k > n) return (n == 1 && k == 1) ? values[0] : 0.0;
    for (int j = n; j >= k; --j) {
        for (int i = 0; i + 1 < j; ++i) {
            if (values[i] > values[i + 1]) {
                const double t = values[i];
                values[i] = values[i + 1];
                values[i + 1] = t;
            }
        }
    }
    return values[k - 1];
}

double medianAbsoluteDeviation(double* values, int n) {
    if (values == nullptr || n < 2) return 0.0;
    const int k = n / 2;
    const double median = selectRank(values, n, k);
    for (int i = 0; i < n; ++i) values[i] = std::fabs(values[i] - median);
    return 1.48 * selectRank(values, n, k);
}

double robustResidualScale(const LevelImage& mask, int key, const int32_t rectangle[4],
                           const LevelImage& residual, int mode) {
    if (mode != 0 && mode != 1) return 0.0;
    if (mask.data == nullptr || residual.data == nullptr || mask.rows != residual.rows ||
        mask.columns != residual.columns)
        return 0.0;
    int colStart = rectangle[0] < 0 ? 0 : rectangle[0];
    int rowStart = rectangle[1] < 0 ? 0 : rectangle[1];
    int colEnd = rectangle[2] > mask.columns ? mask.columns : rectangle[2];
    int rowEnd = rectangle[3] > mask.rows ? mask.rows : rectangle[3];
    if (colStart >= colEnd || rowStart >= rowEnd) return 0.0;
    const int16_t* m = mask.s16();
    const float* r = residual.f32();
    const int16_t key16 = int16_t(key);
    if (mode == 0) {
        double sum = 0.0, sumSquares = 0.0;
        long long n = 0;
        for (int y = rowStart; y < rowEnd; ++y)
            for (int x = colStart; x < colEnd; ++x) {
                const int64_t i = int64_t(y) * mask.columns + x;
                if (m[i] != key16) continue;
                sum += r[i];
                sumSquares += double(r[i]) * r[i];
                ++n;
            }
        if (n == 0) return 0.0;
        const double mean = sum / double(n);
        const double variance = sumSquares / double(n) - mean * mean;
        return variance > 0.0 ? std::sqrt(variance) : 0.0;
    }
    const size_t capacity = size_t(int64_t(rowEnd - rowStart) * (colEnd - colStart));
    double* values = static_cast<double*>(regMalloc(sizeof(double) * capacity));
    if (values == nullptr) return 0.0;
    int n = 0;
    for (int y = rowStart; y < rowEnd; ++y)
        for (int x = colStart; x < colEnd; ++x) {
            const int64_t i = int64_t(y) * mask.columns + x;
            if (m[i] == key16) values[n++] = r[i];
        }
    const double mad = medianAbsoluteDeviation(values, n);
    regFree(values);
    return mad;
}

double interpolateScale(double a, double b, double c, double d) {
    if (d == 0.0) return b;
    // Zero denominators: no level between the start and the end.
    if (c == 1.0) return b;
    if (c == d) return a;
    const double e = (c * b - a) / (c - 1.0);
    return e + (a - e) / (c - d);
}

bool registerPyramid(const PyramidRegistrationParams& p, RegistrationModel& model,
                     double& finalScale, int usedBounds[3]) {
    if (p.rectangle == nullptr || p.mask == nullptr || p.weights == nullptr || p.wgx == nullptr ||
        p.wgy == nullptr || p.res == nullptr || p.currentSmoothed == nullptr ||
        p.referenceSmoothed == nullptr || p.currentGx == nullptr || p.currentGy == nullptr ||
        p.referenceGx == nullptr || p.referenceGy == nullptr)
        return false;
    if (p.topLevel < 0 || p.topLevel >= kMaxPyramidLevels || p.minLevel < 0) return false;
    const int key = p.key;
    const int32_t* rect0 = p.rectangle;

    // 1. Mask pyramid.
    for (int k = 0; k < p.topLevel; ++k) subsampleLevel(p.mask[k], p.mask[k + 1]);

    // 2. Mode.
    int mode = p.mode;
    if (mode >= 100) mode %= 100;
    const bool keepType = mode >= 10;
    mode %= 10;

    // 3. Start level.
    int count = 0;
    int Z = findStartLevel(p.mask, key, p.topLevel + 1, 5 * model.parameterCount, rect0, count);
    if (Z < 0) return false;

    // 4. Level bounds.
    int usedStart, usedIntermediate, usedFull;
    if (p.boundsGiven == 0) {
        usedStart = 6;
        usedIntermediate = 2;
        usedFull = 1;
    } else if (p.boundsGiven == 1) {
        usedStart = p.maxStartLevel;
        usedIntermediate = std::min(p.maxStartLevel, p.intermediateLevel);
        usedFull = std::min(usedIntermediate, p.fullModelLevel);
    } else {
        return false;
    }
    usedBounds[0] = usedStart;
    usedBounds[1] = usedIntermediate;
    usedBounds[2] = usedFull;
    if (Z > usedStart) Z = usedStart;
    // A start level below the finest level processed leaves nothing to do.
    if (Z < p.minLevel || Z < 0) return false;

    const int T = model.type;
    const uint8_t TFlag = model.offsetEstimated;
    const int f = p.outerIterations;
    const double scaleZ = double(1 << Z);

    // 5./6. Working records. Both A and D carry the centre at the scale of
    // the level in work, so that increments add to the accumulated model.
    RegistrationModel A;
    RegistrationModel D;
    copyRegistrationModel(model, A, 2);
    A.centreRow = model.centreRow / scaleZ;
    A.centreColumn = model.centreColumn / scaleZ;
    const LevelImage* firstGx = p.currentGx;
    const LevelImage* firstGy = p.currentGy;
    bool firstRobust = false;

    bool callerUsed = false;
    if (mode >= 3 && mode <= 8) {
        const double fraction = model.usedFraction;
        callerUsed = fraction > p.rate || std::isnan(fraction);
    }
    RegistrationModel start;  // the caller's model at level Z about the level centre
    if (mode >= 1 && mode <= 8 && (mode <= 2 || callerUsed)) {
        scaleModelToLevel(model, model, Z);
        double full[13];
        if (!modelAtCentre(model, full, A.centreRow, A.centreColumn)) return false;
        copyRegistrationModel(A, start, 2);
        std::memcpy(start.c, full, sizeof start.c);
        start.offset = full[12];
    }

    copyRegistrationModel(A, D, 2);
    if (mode == 1 || mode == 2) {
        std::memcpy(D.c, start.c, sizeof D.c);
        D.offset = start.offset;
        if (mode == 2) resetModelTerms(D, 3);
        firstRobust = model.usedFraction > p.rate;
    } else if (mode >= 3 && mode <= 8) {
        if (callerUsed) {
            std::memcpy(A.c, start.c, sizeof A.c);
            A.offset = start.offset;
            if (mode == 5 || mode == 6 || mode == 8) resetModelTerms(A, 3);
            firstGx = p.referenceGx;
            firstGy = p.referenceGy;
        }
        if (mode == 4 || mode == 6 || mode == 7 || mode == 8)
            firstRobust = model.usedFraction > p.rate;
    }
    if (p.noRobust) firstRobust = false;
    if (!keepType) {
        coarseModelType(T, TFlag, D);
        A.type = D.type;
        A.parameterCount = D.parameterCount;
        A.offsetEstimated = D.offsetEstimated;
    }

    // 7. First warp at the start level.
    Rect r = levelRectangle(rect0, Z);
    if (warpAndResidual(p.mask[Z], key, p.currentSmoothed[Z], p.referenceSmoothed[Z], firstGx[Z],
                        firstGy[Z], r.colStart, r.rowStart, r.colEnd, r.rowEnd, A, p.wgx[Z],
                        p.wgy[Z], p.res[Z]) < 0)
        return false;

    // 8. Initial scale from the largest residual magnitude.
    double lo = 0.0, hi = 0.0;
    valueRange(p.res[Z], r.colStart, r.rowStart, r.colEnd, r.rowEnd, p.mask[Z], key, 1, lo, hi);
    double s = hi <= 25.0 ? 25.0 : (hi >= 100.0 ? 100.0 : hi);
    if (mode == 7) {
        s = p.scaleMode == 0 ? std::min(std::max(s, finalScale), 1.3 * finalScale)
                             : std::max(0.5 * s, 10.0);
    } else if (mode == 8) {
        s = p.scaleMode == 0 ? std::min(std::max(s, finalScale), 1.7 * finalScale)
                             : std::max(0.6666666666666666 * s, 12.0);
    }

    // 9. First refinement.
    if (!refineAtLevel(p.mask[Z], key, r.colStart, r.rowStart, r.colEnd, r.rowEnd, D, firstRobust,
                       p.weights[Z], p.irlsIterations, p.weightFunction, s, p.wgx[Z], p.wgy[Z],
                       p.res[Z]))
        return false;
    accumulate(A, D);
    const bool robust = !p.noRobust;

    // 10. Six more rounds at the start level with a shrinking scale.
    for (int k = 0; k <= 5; ++k) {
        if (warpAndResidual(p.mask[Z], key, p.currentSmoothed[Z], p.referenceSmoothed[Z],
                            p.referenceGx[Z], p.referenceGy[Z], r.colStart, r.rowStart, r.colEnd,
                            r.rowEnd, A, p.wgx[Z], p.wgy[Z], p.res[Z]) < 0)
            return false;
        s = std::max(s * std::min(0.7 + 0.025 * k, 1.0), 10.0);
        copyRegistrationModel(D, D, 2);
        if (!refineAtLevel(p.mask[Z], key, r.colStart, r.rowStart, r.colEnd, r.rowEnd, D, robust,
                           p.weights[Z], p.irlsIterations, p.weightFunction, s, p.wgx[Z],
                           p.wgy[Z], p.res[Z]))
            return false;
        accumulate(A, D);
    }

    // 11. Final scale.
    double sF = 1.0;
    if (p.scaleMode == 0) {
        sF = finalScale;
    } else if (p.scaleMode == 1 || p.scaleMode == 2) {
        if (warpAndResidual(p.mask[Z], key, p.currentSmoothed[Z], p.referenceSmoothed[Z],
                            p.referenceGx[Z], p.referenceGy[Z], r.colStart, r.rowStart, r.colEnd,
                            r.rowEnd, A, p.wgx[Z], p.wgy[Z], p.res[Z]) < 0)
            return false;
        const int32_t levelRect[4] = {r.colStart, r.rowStart, r.colEnd, r.rowEnd};
        sF = p.scaleMode == 1
                 ? 2.5 * robustResidualScale(p.mask[Z], key, levelRect, p.res[Z], 0)
                 : 4.7 * robustResidualScale(p.mask[Z], key, levelRect, p.res[Z], 1);
    }

    // 12. Levels, coarse to fine.
    for (int L = Z; L >= p.minLevel; --L) {
        r = levelRectangle(rect0, L);
        const double target = interpolateScale(s, sF, Z + 1, L);
        ModelNormWeights norm;
        modelNormWeights(norm, D.type, D.offsetEstimated, r.colStart, r.rowStart, r.colEnd,
                         r.rowEnd);
        const double levelScale = double(1 << L);
        D.centreRow = model.centreRow / levelScale;
        D.centreColumn = model.centreColumn / levelScale;
        if (mode >= 1 && mode <= 8 && (mode <= 2 || callerUsed)) {
            // The caller's model was scaled to level Z in place.
            D.centreRow = model.centreRow * double(1 << Z) / levelScale;
            D.centreColumn = model.centreColumn * double(1 << Z) / levelScale;
        }
        int i = 1;
        int left = f - 1;
        double change = 1.0;
        const double tolerance = 0.1 / levelScale;
        while (change > tolerance && i <= f) {
            const double delta = std::min(s - target, target - sF);
            if (warpAndResidual(p.mask[L], key, p.currentSmoothed[L], p.referenceSmoothed[L],
                                p.referenceGx[L], p.referenceGy[L], r.colStart, r.rowStart,
                                r.colEnd, r.rowEnd, A, p.wgx[L], p.wgy[L], p.res[L]) < 0)
                return false;
            copyRegistrationModel(D, D, 2);
            const double scale = target + (double(left) / double(f)) * delta;
            if (!refineAtLevel(p.mask[L], key, r.colStart, r.rowStart, r.colEnd, r.rowEnd, D,
                               robust, p.weights[L], p.irlsIterations, p.weightFunction, scale,
                               p.wgx[L], p.wgy[L], p.res[L]))
                return false;
            change = modelDistance(D, D, norm, 1);
            accumulate(A, D);
            ++i;
            --left;
            if (!keepType && (i == f || change <= tolerance) &&
                modelClass(D.type) < modelClass(T)) {
                int newType = 0;
                if (L <= usedIntermediate && modelClass(D.type) == 0)
                    newType = intermediateModelType(T);
                if (newType == 0 && L <= usedFull) newType = T;
                if (newType != 0) {
                    const uint8_t flag = newType == T ? TFlag : 0;
                    const int count2 = modelParameterCount(newType);
                    D.type = A.type = newType;
                    D.offsetEstimated = A.offsetEstimated = flag;
                    D.parameterCount = A.parameterCount = count2;
                    change = 1.0;
                    left += 2;
                    i -= 2;
                    modelNormWeights(norm, newType, flag, r.colStart, r.rowStart, r.colEnd,
                                     r.rowEnd);
                }
            }
        }
        if (L > p.minLevel) scaleModelToLevel(A, A, -1);
    }

    // 13. Finish.
    if (p.minLevel > 0) scaleModelToLevel(A, A, -p.minLevel);
    std::memcpy(model.c, A.c, sizeof model.c);
    model.offset = A.offset;
    model.centreRow = A.centreRow;
    model.centreColumn = A.centreColumn;
    model.residualVariance = A.residualVariance;
    std::memcpy(model.covariance, D.covariance, sizeof model.covariance);
    if (p.reportFinalScale && model.computeVariance) finalScale = sF;
    return coefficientsInRange(model);
}
