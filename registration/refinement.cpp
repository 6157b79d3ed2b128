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

// Weight of u^2 for a weight function code; the biweight and the cut-off are
// written as selects so that loops over pixels vectorize.
template <int Function>
inline float robustWeightOf(double u2) {
    if constexpr (Function == 1) {
        return u2 <= 1.0 ? 1.0f : 0.0f;
    } else if constexpr (Function == 2) {
        return float(1.0 / (1.0 + u2));
    } else if constexpr (Function == 3) {
        return float(std::exp(-u2));
    } else {
        const double t = 1.0 - u2;
        const float biweight = float(t * t);
        return u2 <= 1.0 ? biweight : 0.0f;  // beyond the cut-off, and NaN, weigh 0
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

__attribute__((always_inline)) inline double bilinear(const float* p, int64_t i, int columns, double fx, double fy) {
    const double p00 = p[i], p01 = p[i + 1], p10 = p[i + columns], p11 = p[i + columns + 1];
    const double top = p00 + (p01 - p00) * fx;
    const double bottom = p10 + (p11 - p10) * fx;
    return top + (bottom - top) * fy;
}

__attribute__((always_inline)) inline double bilinear(const int16_t* p, int64_t i, int columns, double fx, double fy) {
    const double p00 = p[i], p01 = p[i + 1], p10 = p[i + columns], p11 = p[i + columns + 1];
    const double top = p00 + (p01 - p00) * fx;
    const double bottom = p10 + (p11 - p10) * fx;
    return top + (bottom - top) * fy;
}

// The planes of warpAndResidual.
struct ResidualPlanes {
    const int16_t* mask;
    int16_t key;
    const int16_t* current;
    const int16_t* reference;
    const float* gx;
    const float* gy;
    float* wgx;
    float* wgy;
    float* res;
    int rows, columns;
};

// The rows of warpAndResidual for a model class known at compile time (the
// translation class for every other type); returns the count of pixels that
// fell inside the reference.
template <int Cls>
int warpResidualRows(const ResidualPlanes& p, const double X[6], const double Y[6], double o, int colStart,
                     int rowStart, int colEnd, int rowEnd) {
    const int R = p.rows;
    const int C = p.columns;
    const double lastX = double(C - 1), lastY = double(R - 1);
    int count = 0;
    for (int y = rowStart; y < rowEnd; ++y) {
        const double yd = y;
        // Parts of the map that depend on the row only.
        double xRow, yRow, xLin, yLin;
        if constexpr (Cls == 2) {
            xRow = X[0] + X[2] * yd + X[5] * yd * yd;
            yRow = Y[0] + Y[2] * yd + Y[5] * yd * yd;
            xLin = X[1] + X[4] * yd;
            yLin = Y[1] + Y[4] * yd;
        } else if constexpr (Cls == 1) {
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
            const double xd = x;
            double xp = xRow + xLin * xd;
            double yp = yRow + yLin * xd;
            if constexpr (Cls == 2) {
                xp += X[3] * xd * xd;
                yp += Y[3] * xd * xd;
            }
            // Non-key pixels, positions outside the reference (whose integer
            // parts reach the last column or row) and NaN positions give 0.
            if (p.mask[i] != p.key || !(xp >= 0.0) || !(yp >= 0.0) || !(xp < lastX) || !(yp < lastY)) {
                p.wgx[i] = p.wgy[i] = p.res[i] = 0.0f;
                continue;
            }
            const int ix = int(xp);
            const int iy = int(yp);
            const double fx = xp - ix;
            const double fy = yp - iy;
            const int64_t j = int64_t(iy) * C + ix;
            // The two derivative planes side by side, lane by lane, so that
            // their interpolations can share vector registers.
            const float* g[2] = {p.gx, p.gy};
            double q00[2], q01[2], q10[2], q11[2], top[2], bottom[2], v[2];
            for (int l = 0; l < 2; ++l) {
                q00[l] = g[l][j];
                q01[l] = g[l][j + 1];
                q10[l] = g[l][j + C];
                q11[l] = g[l][j + C + 1];
            }
            for (int l = 0; l < 2; ++l) {
                top[l] = q00[l] + (q01[l] - q00[l]) * fx;
                bottom[l] = q10[l] + (q11[l] - q10[l]) * fx;
                v[l] = top[l] + (bottom[l] - top[l]) * fy;
            }
            p.wgx[i] = float(v[0]);
            p.wgy[i] = float(v[1]);
            p.res[i] = float(bilinear(p.reference, j, C, fx, fy) + o - double(p.current[i]));
            ++count;
        }
    }
    return count;
}

// Initial robust weights of the key pixels of one row (the others keep
// theirs: the weight is written back unchanged, so the loop has no branch).
template <int Function>
void initialWeightRow(const int16_t* __restrict m, int16_t key, const float* __restrict r, double c,
                      float* __restrict w, int colStart, int colEnd) {
    for (int x = colStart; x < colEnd; ++x) {
        const double u = c * double(r[x]);
        const float weight = robustWeightOf<Function>(u * u);
        w[x] = m[x] == key ? weight : w[x];
    }
}

// What updateRobustWeights reads and writes, and its constants.
struct WeightUpdate {
    const float* gx;
    const float* gy;
    const float* r;
    const int16_t* mask;
    int16_t key;
    float* w;
    int columns;
    const double* d;  // the increment's coefficients
    double dO;        // and its offset
    double c;         // 1 / (factor * s)
    double centreRow, centreColumn;
};

// The weights of the key pixels of the rectangle from the residual that the
// increment predicts, for a model class (-1 for a type without one) and a
// weight function known at compile time. Products that depend on the row only
// are formed once per row; every value is the one the per-pixel formula
// gives. Non-key pixels keep their weight (it is written back unchanged), so
// the loop over the columns has no branch.
template <int Cls, int Function>
void updateWeightRows(const WeightUpdate& u, int colStart, int rowStart, int colEnd, int rowEnd) {
    const double* d = u.d;
    for (int y = rowStart; y < rowEnd; ++y) {
        const double dv = y - u.centreRow;
        const double d3dv = d[3] * dv, d5dv = d[5] * dv;
        const double d8dvdv = d[8] * dv * dv, d11dvdv = d[11] * dv * dv;
        const int64_t rowBase = int64_t(y) * u.columns;
        const int16_t* __restrict m = u.mask + rowBase;
        const float* __restrict gxp = u.gx + rowBase;
        const float* __restrict gyp = u.gy + rowBase;
        const float* __restrict r = u.r + rowBase;
        float* __restrict w = u.w + rowBase;
        for (int x = colStart; x < colEnd; ++x) {
            const double du = x - u.centreColumn;
            double dX = 0.0, dY = 0.0;
            if constexpr (Cls >= 0) {
                dX = d[0];
                dY = d[1];
            }
            if constexpr (Cls >= 1) {
                dX += d[2] * du + d3dv;
                dY += d[4] * du + d5dv;
            }
            if constexpr (Cls == 2) {
                dX += d[6] * du * du + d[7] * du * dv + d8dvdv;
                dY += d[9] * du * du + d[10] * du * dv + d11dvdv;
            }
            const double predicted = double(r[x]) + double(gxp[x]) * dX + double(gyp[x]) * dY + u.dO;
            const double scaled = u.c * predicted;
            const float weight = robustWeightOf<Function>(scaled * scaled);
            w[x] = m[x] == u.key ? weight : w[x];
        }
    }
}

template <int Function>
void updateWeightsOfClass(int cls, const WeightUpdate& u, int colStart, int rowStart, int colEnd, int rowEnd) {
    switch (cls) {
    case 0: updateWeightRows<0, Function>(u, colStart, rowStart, colEnd, rowEnd); break;
    case 1: updateWeightRows<1, Function>(u, colStart, rowStart, colEnd, rowEnd); break;
    case 2: updateWeightRows<2, Function>(u, colStart, rowStart, colEnd, rowEnd); break;
    default: updateWeightRows<-1, Function>(u, colStart, rowStart, colEnd, rowEnd); break;
    }
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

    const ResidualPlanes planes{mask.s16(),  int16_t(key), current.s16(), reference.s16(), gx.f32(), gy.f32(),
                                wgx.f32(),   wgy.f32(),    res.f32(),     current.rows,    current.columns};
    if (cls == 2) return warpResidualRows<2>(planes, X, Y, o, colStart, rowStart, colEnd, rowEnd);
    if (cls == 1) return warpResidualRows<1>(planes, X, Y, o, colStart, rowStart, colEnd, rowEnd);
    return warpResidualRows<0>(planes, X, Y, o, colStart, rowStart, colEnd, rowEnd);
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
        const int64_t rowBase = int64_t(y) * C;
        if (!robust) {
            for (int x = colStart; x < colEnd; ++x)
                if (m[rowBase + x] == key16) w[rowBase + x] = 1.0f;
            continue;
        }
        switch (function) {
        case 1: initialWeightRow<1>(m + rowBase, key16, r + rowBase, c, w + rowBase, colStart, colEnd); break;
        case 2: initialWeightRow<2>(m + rowBase, key16, r + rowBase, c, w + rowBase, colStart, colEnd); break;
        case 3: initialWeightRow<3>(m + rowBase, key16, r + rowBase, c, w + rowBase, colStart, colEnd); break;
        default: initialWeightRow<0>(m + rowBase, key16, r + rowBase, c, w + rowBase, colStart, colEnd); break;
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
    const WeightUpdate u{wgx.f32(), wgy.f32(), res.f32(), mask.s16(), int16_t(key), weights.f32(),
                         weights.columns, increment.c, increment.offset, 1.0 / (kUpdateFactor[function] * s),
                         centreRow, centreColumn};
    const int cls = modelClass(type);
    switch (function) {
    case 1: updateWeightsOfClass<1>(cls, u, colStart, rowStart, colEnd, rowEnd); break;
    case 2: updateWeightsOfClass<2>(cls, u, colStart, rowStart, colEnd, rowEnd); break;
    case 3: updateWeightsOfClass<3>(cls, u, colStart, rowStart, colEnd, rowEnd); break;
    default: updateWeightsOfClass<0>(cls, u, colStart, rowStart, colEnd, rowEnd); break;
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
