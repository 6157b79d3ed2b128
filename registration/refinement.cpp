// Robust refinement at one pyramid level: warp of the reference level by the
// current model with the residual against the current level, robust weights,
// and the iteratively reweighted least-squares loop over the normal
// equations of the increment's type.
#include <cmath>
#include <cstring>

#include "registration/registration_core.h"

namespace {

constexpr double kInitialFactor = 1.1;
// Update factor of each weight function code (biweight, cut-off, Cauchy,
// Gaussian).
constexpr double kUpdateFactor[4] = {1.1, 0.6211111111111111, 0.5299999999999999,
                                     0.6633333333333332};

int clampFunction(int weightFunction) {
    return (weightFunction >= 0 && weightFunction <= 3) ? weightFunction : 0;
}

inline float robustWeight(int function, double u2) {
    switch (function) {
    case 1: return u2 <= 1.0 ? 1.0f : 0.0f;
    case 2: return float(1.0 / (1.0 + u2));
    case 3: return float(std::exp(-u2));
    default: {
        if (!(u2 <= 1.0)) return 0.0f;
        const double t = 1.0 - u2;
        return float(t * t);
    }
    }
}

bool samePlane(const LevelImage& a, const LevelImage& b) {
    return a.data != nullptr && b.data != nullptr && a.rows == b.rows && a.columns == b.columns;
}

// Clips a rectangle to a plane; false when nothing is left.
bool clipRectangle(const LevelImage& plane, int& colStart, int& rowStart, int& colEnd,
                   int& rowEnd) {
    if (colStart < 0) colStart = 0;
    if (rowStart < 0) rowStart = 0;
    if (colEnd > plane.columns) colEnd = plane.columns;
    if (rowEnd > plane.rows) rowEnd = plane.rows;
    return colStart < colEnd && rowStart < rowEnd;
}

inline double bilinear(const float* p, int64_t i, int columns, double fx, double fy) {
    const double p00 = p[i], p01 = p[i + 1], p10 = p[i + columns], p11 = p[i + columns + 1];
    const double top = p00 + (p01 - p00) * fx;
    const double bottom = p10 + (p11 - p10) * fx;
    return top + (bottom - top) * fy;
}

inline double bilinear(const int16_t* p, int64_t i, int columns, double fx, double fy) {
    const double p00 = p[i], p01 = p[i + 1], p10 = p[i + columns], p11 = p[i + columns + 1];
    const double top = p00 + (p01 - p00) * fx;
    const double bottom = p10 + (p11 - p10) * fx;
    return top + (bottom - top) * fy;
}

}  // namespace

int warpAndResidual(const LevelImage& mask, int key, const LevelImage& current,
                    const LevelImage& reference, const LevelImage& gx, const LevelImage& gy,
                    int colStart, int rowStart, int colEnd, int rowEnd,
                    const RegistrationModel& model, LevelImage& wgx, LevelImage& wgy,
                    LevelImage& res) {
    double full[13];
    if (!modelAtCentre(model, full, 0.0, 0.0)) return -1;
    if (!samePlane(mask, current) || !samePlane(current, reference) || !samePlane(current, gx) ||
        !samePlane(current, gy) || !samePlane(current, wgx) || !samePlane(current, wgy) ||
        !samePlane(current, res))
        return 0;
    RegistrationModel atOrigin;
    std::memcpy(atOrigin.c, full, sizeof atOrigin.c);
    atOrigin.offset = full[12];
    double X[6], Y[6], o = 0.0;
    splitModelRows(atOrigin, model.offsetEstimated, X, Y, o);
    X[1] += 1.0;
    Y[2] += 1.0;
    const int cls = modelClass(model.type);
    if (!clipRectangle(current, colStart, rowStart, colEnd, rowEnd)) return 0;

    const int R = current.rows;
    const int C = current.columns;
    const int16_t* m = mask.s16();
    const int16_t* cur = current.s16();
    const int16_t* ref = reference.s16();
    const float* gxp = gx.f32();
    const float* gyp = gy.f32();
    float* ox = wgx.f32();
    float* oy = wgy.f32();
    float* orr = res.f32();
    const int16_t key16 = int16_t(key);
    int count = 0;
    for (int y = rowStart; y < rowEnd; ++y) {
        const double yd = y;
        // Parts of the map that depend on the row only.
        double xRow, yRow, xLin, yLin;
        if (cls == 2) {
            xRow = X[0] + X[2] * yd + X[5] * yd * yd;
            yRow = Y[0] + Y[2] * yd + Y[5] * yd * yd;
            xLin = X[1] + X[4] * yd;
            yLin = Y[1] + Y[4] * yd;
        } else if (cls == 1) {
            xRow = X[0] + X[2] * yd;
            yRow = Y[0] + Y[2] * yd;
            xLin = X[1];
            yLin = Y[1];
        } else {
            xRow = X[0];
            yRow = Y[2] * yd + Y[0];
            xLin = X[1];
            yLin = 0.0;
        }
        const int64_t rowBase = int64_t(y) * C;
        for (int x = colStart; x < colEnd; ++x) {
            const int64_t i = rowBase + x;
            if (m[i] != key16) {
                ox[i] = oy[i] = orr[i] = 0.0f;
                continue;
            }
            const double xd = x;
            double xp = xRow + xLin * xd;
            double yp = yRow + yLin * xd;
            if (cls == 2) {
                xp += X[3] * xd * xd;
                yp += Y[3] * xd * xd;
            }
            // NaN positions fail every comparison below and count as outside.
            if (!(xp >= 0.0) || !(yp >= 0.0) || !(xp < double(C - 1)) || !(yp < double(R - 1))) {
                ox[i] = oy[i] = orr[i] = 0.0f;
                continue;
            }
            const int ix = int(xp);
            const int iy = int(yp);
            if (ix >= C - 1 || iy >= R - 1) {
                ox[i] = oy[i] = orr[i] = 0.0f;
                continue;
            }
            const double fx = xp - ix;
            const double fy = yp - iy;
            const int64_t j = int64_t(iy) * C + ix;
            ox[i] = float(bilinear(gxp, j, C, fx, fy));
            oy[i] = float(bilinear(gyp, j, C, fx, fy));
            orr[i] = float(bilinear(ref, j, C, fx, fy) + o - double(cur[i]));
            ++count;
        }
    }
    return count;
}

void initRobustWeights(const LevelImage& mask, int key, bool robust, int weightFunction, double s,
                       int colStart, int rowStart, int colEnd, int rowEnd, const LevelImage& res,
                       LevelImage& weights) {
    if (weights.data == nullptr || weights.rows <= 0 || weights.columns <= 0) return;
    std::memset(weights.data, 0, sizeof(float) * size_t(int64_t(weights.rows) * weights.columns));
    if (!samePlane(mask, weights) || !samePlane(res, weights)) return;
    if (!clipRectangle(weights, colStart, rowStart, colEnd, rowEnd)) return;
    const int function = clampFunction(weightFunction);
    const double c = float(1.0 / (kInitialFactor * s));
    const int C = weights.columns;
    const int16_t* m = mask.s16();
    const float* r = res.f32();
    float* w = weights.f32();
    const int16_t key16 = int16_t(key);
    for (int y = rowStart; y < rowEnd; ++y) {
        for (int x = colStart; x < colEnd; ++x) {
            const int64_t i = int64_t(y) * C + x;
            if (m[i] != key16) continue;
            if (!robust) {
                w[i] = 1.0f;
            } else {
                const double u = c * double(r[i]);
                w[i] = robustWeight(function, u * u);
            }
        }
    }
}

void updateRobustWeights(const LevelImage& wgx, const LevelImage& wgy, const LevelImage& res,
                         const RegistrationModel& increment, int type, double centreRow,
                         double centreColumn, const LevelImage& mask, int key, int colStart,
                         int rowStart, int colEnd, int rowEnd, LevelImage& weights,
                         int weightFunction, double s) {
    if (!samePlane(mask, weights) || !samePlane(res, weights) || !samePlane(wgx, weights) ||
        !samePlane(wgy, weights))
        return;
    if (!clipRectangle(weights, colStart, rowStart, colEnd, rowEnd)) return;
    const int function = clampFunction(weightFunction);
    const double c = 1.0 / (kUpdateFactor[function] * s);
    const int cls = modelClass(type);
    const double* d = increment.c;
    const double dO = increment.offset;
    const int C = weights.columns;
    const int16_t* m = mask.s16();
    const float* gxp = wgx.f32();
    const float* gyp = wgy.f32();
    const float* r = res.f32();
    float* w = weights.f32();
    const int16_t key16 = int16_t(key);
    for (int y = rowStart; y < rowEnd; ++y) {
        const double dv = y - centreRow;
        for (int x = colStart; x < colEnd; ++x) {
            const int64_t i = int64_t(y) * C + x;
            if (m[i] != key16) continue;
            const double du = x - centreColumn;
            double dX = 0.0, dY = 0.0;
            if (cls >= 0) {
                dX = d[0];
                dY = d[1];
            }
            if (cls >= 1) {
                dX += d[2] * du + d[3] * dv;
                dY += d[4] * du + d[5] * dv;
            }
            if (cls == 2) {
                dX += d[6] * du * du + d[7] * du * dv + d[8] * dv * dv;
                dY += d[9] * du * du + d[10] * du * dv + d[11] * dv * dv;
            }
            const double predicted = double(r[i]) + double(gxp[i]) * dX + double(gyp[i]) * dY + dO;
            const double u = c * predicted;
            w[i] = robustWeight(function, u * u);
        }
    }
}

bool buildNormalEquations(const LevelImage& wgx, const LevelImage& wgy, const LevelImage& res,
                          RegistrationModel& increment, const LevelImage& mask, int key,
                          int colStart, int rowStart, int colEnd, int rowEnd,
                          const LevelImage& weights) {
    for (double& v : increment.c) v = 0.0;
    increment.offset = 0.0;
    const auto& gx = wgx;
    const auto& gy = wgy;
    const auto& r = res;
    const auto& w = weights;
    auto& m = increment;
    const int c0 = colStart, r0 = rowStart, c1 = colEnd, r1 = rowEnd;
    switch (increment.type) {
    case 1: return buildEquationsType1(gx, r, mask, key, c0, r0, c1, r1, w, m);
    case 2: return buildEquationsType2(gy, r, mask, key, c0, r0, c1, r1, w, m);
    case 3: return buildEquationsType3(gx, gy, r, mask, key, c0, r0, c1, r1, w, m);
    case 4: return buildEquationsType4(gx, gy, r, mask, key, c0, r0, c1, r1, w, m);
    case 5: return buildEquationsType5(gx, gy, r, mask, key, c0, r0, c1, r1, w, m);
    case 6: return buildEquationsType6(gx, gy, r, mask, key, c0, r0, c1, r1, w, m);
    case 7: return buildEquationsType7(gx, gy, r, mask, key, c0, r0, c1, r1, w, m);
    case 8: return buildEquationsType8(gx, gy, r, mask, key, c0, r0, c1, r1, w, m);
    case 9: return buildEquationsType9(gx, gy, r, mask, key, c0, r0, c1, r1, w, m);
    case 10: return buildEquationsType10(gx, gy, r, mask, key, c0, r0, c1, r1, w, m);
    case 11: return buildEquationsType11(gx, gy, r, mask, key, c0, r0, c1, r1, w, m);
    case 12: return buildEquationsType12(gx, gy, r, mask, key, c0, r0, c1, r1, w, m);
    case 13: return buildEquationsType13(gx, gy, r, mask, key, c0, r0, c1, r1, w, m);
    case 14: return buildEquationsType14(gx, gy, r, mask, key, c0, r0, c1, r1, w, m);
    case 15: return buildEquationsType15(gx, gy, r, mask, key, c0, r0, c1, r1, w, m);
    case 16: return buildEquationsType16(gx, gy, r, mask, key, c0, r0, c1, r1, w, m);
    case 17: return buildEquationsType17(gx, gy, r, mask, key, c0, r0, c1, r1, w, m);
    case 18: return buildEquationsType18(gx, gy, r, mask, key, c0, r0, c1, r1, w, m);
    case 19: return buildEquationsType19(gx, gy, r, mask, key, c0, r0, c1, r1, w, m);
    default: return false;
    }
}

bool refineAtLevel(const LevelImage& mask, int key, int colStart, int rowStart, int colEnd,
                   int rowEnd, RegistrationModel& increment, bool robust, LevelImage& weights,
                   int maxIterations, int weightFunction, double s, const LevelImage& wgx,
                   const LevelImage& wgy, const LevelImage& res) {
    RegistrationModel out;
    copyRegistrationModel(increment, out, 2);
    ModelNormWeights norm;
    modelNormWeights(norm, increment.type, increment.offsetEstimated, colStart, rowStart, colEnd,
                     rowEnd);
    initRobustWeights(mask, key, robust, weightFunction, s, colStart, rowStart, colEnd, rowEnd,
                      res, weights);
    bool ok = false;
    double change = 1.0;
    for (int i = 0; i < maxIterations && change > 0.1; ++i) {
        ok = buildNormalEquations(wgx, wgy, res, out, mask, key, colStart, rowStart, colEnd,
                                  rowEnd, weights);
        if (!ok) return false;
        updateRobustWeights(wgx, wgy, res, out, out.type, out.centreRow, out.centreColumn, mask,
                            key, colStart, rowStart, colEnd, rowEnd, weights, weightFunction, s);
        change = modelDistance(out, increment, norm, 0);
        copyRegistrationModel(out, increment, 1);
    }
    return ok;
}
