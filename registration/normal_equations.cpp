// Damped, weighted normal equations of one Gauss-Newton step, one builder per
// model type. All builders share one procedure; a type only chooses the
// Jacobian row of a pixel and how the solution is written into the
// coefficients.
#include <cmath>
#include <cstring>

#include "registration/registration_core.h"

namespace {

constexpr double kDamping = 5.0;
constexpr float kMinimumWeight = 0.01f;

// Entries of a type's Jacobian row (its parameter count).
constexpr int jacobianLength(int type) {
    return type == 19 ? 12 : type == 18 ? 8 : type == 14 ? 6
         : (type >= 7 && type <= 12) || type == 17 ? 5
         : type == 13 || type == 15 || type == 16 ? 4
         : type == 5 || type == 6 ? 3 : type == 3 || type == 4 ? 2 : 1;
}

// Jacobian row of one pixel for a type (p entries).
template <int Type>
inline void jacobianRow(double gx, double gy, double dx, double dy, double* J) {
    const double S = gx * dx + gy * dy;
    const double R = gx * dy - gy * dx;
    if constexpr (Type == 1) { J[0] = gx; }
    else if constexpr (Type == 2) { J[0] = gy; }
    else if constexpr (Type == 3) { J[0] = gx; J[1] = gy; }
    else if constexpr (Type == 4) { J[0] = gx; J[1] = S; }
    else if constexpr (Type == 5) { J[0] = gx; J[1] = gy; J[2] = S; }
    else if constexpr (Type == 6) { J[0] = gx; J[1] = gy; J[2] = R; }
    else if constexpr (Type == 7) { J[0] = gy; J[1] = gx * dx; J[2] = gx * dy; J[3] = gy * dx; J[4] = gy * dy; }
    else if constexpr (Type == 8) { J[0] = gx; J[1] = gx * dx; J[2] = gx * dy; J[3] = gy * dx; J[4] = gy * dy; }
    else if constexpr (Type == 9) { J[0] = gx; J[1] = gy; J[2] = gx * dx - gy * dy; J[3] = gx * dy; J[4] = gy * dx; }
    else if constexpr (Type == 10) { J[0] = gx; J[1] = gy; J[2] = gx * dx; J[3] = gy * dx + gx * dy; J[4] = gy * dy; }
    else if constexpr (Type == 11) { J[0] = gx; J[1] = gy; J[2] = S; J[3] = gx * dy; J[4] = gy * dx; }
    else if constexpr (Type == 12) { J[0] = gx; J[1] = gy; J[2] = gx * dx; J[3] = R; J[4] = gy * dy; }
    else if constexpr (Type == 13) { J[0] = gx; J[1] = gy; J[2] = S; J[3] = R; }
    else if constexpr (Type == 14) {
        J[0] = gx; J[1] = gy; J[2] = gx * dx; J[3] = gx * dy; J[4] = gy * dx; J[5] = gy * dy;
    } else if constexpr (Type == 15) { J[0] = gx; J[1] = S; J[2] = dx * S; J[3] = dy * S; }
    else if constexpr (Type == 16) { J[0] = gx; J[1] = gy; J[2] = dx * S; J[3] = dy * S; }
    else if constexpr (Type == 17) { J[0] = gx; J[1] = gy; J[2] = S; J[3] = dx * S; J[4] = dy * S; }
    else if constexpr (Type == 18) {
        J[0] = gx; J[1] = gy; J[2] = gx * dx; J[3] = gx * dy; J[4] = gy * dx; J[5] = gy * dy;
        J[6] = dx * S; J[7] = dy * S;
    } else if constexpr (Type == 19) {
        J[0] = gx; J[1] = gy; J[2] = gx * dx; J[3] = gx * dy; J[4] = gy * dx; J[5] = gy * dy;
        J[6] = gx * dx * dx; J[7] = gx * dx * dy; J[8] = gx * dy * dy;
        J[9] = gy * dx * dx; J[10] = gy * dx * dy; J[11] = gy * dy * dy;
    }
}

// Writes the solution into the coefficients of a type.
template <int Type>
void writeBack(const double* x, double* c) {
    if constexpr (Type == 1) { c[0] = x[0]; }
    else if constexpr (Type == 2) { c[1] = x[0]; }
    else if constexpr (Type == 3) { c[0] = x[0]; c[1] = x[1]; }
    else if constexpr (Type == 4) { c[0] = x[0]; c[2] = c[5] = x[1]; }
    else if constexpr (Type == 5) { c[0] = x[0]; c[1] = x[1]; c[2] = c[5] = x[2]; }
    else if constexpr (Type == 6) { c[0] = x[0]; c[1] = x[1]; c[3] = x[2]; c[4] = -x[2]; }
    else if constexpr (Type == 7) { c[1] = x[0]; c[2] = x[1]; c[3] = x[2]; c[4] = x[3]; c[5] = x[4]; }
    else if constexpr (Type == 8) { c[0] = x[0]; c[2] = x[1]; c[3] = x[2]; c[4] = x[3]; c[5] = x[4]; }
    else if constexpr (Type == 9) {
        c[0] = x[0]; c[1] = x[1]; c[2] = x[2]; c[3] = x[3]; c[4] = x[4]; c[5] = -x[2];
    } else if constexpr (Type == 10) {
        c[0] = x[0]; c[1] = x[1]; c[2] = x[2]; c[3] = c[4] = x[3]; c[5] = x[4];
    } else if constexpr (Type == 11) {
        c[0] = x[0]; c[1] = x[1]; c[2] = c[5] = x[2]; c[3] = x[3]; c[4] = x[4];
    } else if constexpr (Type == 12) {
        c[0] = x[0]; c[1] = x[1]; c[2] = x[2]; c[3] = x[3]; c[4] = -x[3]; c[5] = x[4];
    } else if constexpr (Type == 13) {
        c[0] = x[0]; c[1] = x[1]; c[2] = c[5] = x[2]; c[3] = x[3]; c[4] = -x[3];
    } else if constexpr (Type == 14) {
        for (int k = 0; k < 6; ++k) c[k] = x[k];
    } else if constexpr (Type == 15) {
        c[0] = x[0]; c[2] = c[5] = x[1]; c[6] = c[10] = x[2]; c[7] = c[11] = x[3];
    } else if constexpr (Type == 16) {
        c[0] = x[0]; c[1] = x[1]; c[6] = c[10] = x[2]; c[7] = c[11] = x[3];
    } else if constexpr (Type == 17) {
        c[0] = x[0]; c[1] = x[1]; c[2] = c[5] = x[2]; c[6] = c[10] = x[3]; c[7] = c[11] = x[4];
    } else if constexpr (Type == 18) {
        for (int k = 0; k < 6; ++k) c[k] = x[k];
        c[6] = c[10] = x[6];
        c[7] = c[11] = x[7];
    } else if constexpr (Type == 19) {
        for (int k = 0; k < 12; ++k) c[k] = x[k];
    }
}

bool sameShape(const LevelImage& a, const LevelImage& b) {
    return a.data != nullptr && a.rows == b.rows && a.columns == b.columns;
}

// The planes a builder reads; gx or gy is null when the type uses one only.
struct PixelPlanes {
    const float* gx;
    const float* gy;
    const float* r;
    const float* w;
    const int16_t* mask;
    int columns;
    int16_t key;
};

struct PixelRectangle {
    int colStart, rowStart, colEnd, rowEnd;
    double centreColumn, centreRow;
};

// The running sums of the normal equations (lower triangle of A), the pixel
// counts and the weighted squared residuals.
template <int MaxN>
struct Sums {
    double (&A)[MaxN][MaxN];
    double (&b)[MaxN];
    long long& counted;
    long long& used;
    double& sse;
    bool withVariance;
};

// Adds every used pixel of the rectangle to the sums, pixel by pixel in row
// order. N (the parameter count, the offset included) is a constant so that
// the sums stay in registers; every sum receives its terms in the same order
// and by the same operations as a loop over the parameters would give.
template <int Type, int N, int MaxN>
void accumulatePixels(const PixelPlanes& in, const PixelRectangle& rect, Sums<MaxN>& out) {
    double A[N][N];
    double b[N];
    for (int a = 0; a < N; ++a) {
        b[a] = out.b[a];
        for (int k = 0; k < N; ++k) A[a][k] = out.A[a][k];
    }
    long long counted = out.counted, used = out.used;
    double sse = out.sse;
    double J[N];
    if constexpr (N > jacobianLength(Type)) J[N - 1] = 1.0;  // the offset's column
    for (int y = rect.rowStart; y < rect.rowEnd; ++y) {
        const double dy = double(y) - rect.centreRow;
        const int64_t rowBase = int64_t(y) * in.columns;
        for (int xPix = rect.colStart; xPix < rect.colEnd; ++xPix) {
            const int64_t i = rowBase + xPix;
            if (in.mask[i] != in.key) continue;
            const float gxv = in.gx ? in.gx[i] : 0.0f;
            const float gyv = in.gy ? in.gy[i] : 0.0f;
            const float rv = in.r[i];
            if (gxv == 0.0f && gyv == 0.0f && rv == 0.0f) continue;
            ++counted;
            const float wv = in.w[i];
            if (!(wv > kMinimumWeight)) continue;
            ++used;
            const double dx = double(xPix) - rect.centreColumn;
            jacobianRow<Type>(gxv, gyv, dx, dy, J);
            const double rd = rv;
            const double wd = wv;
            if (out.withVariance) sse += rd * rd * wd;
#pragma GCC unroll 16
            for (int a = 0; a < N; ++a) {
                const double q = wd * J[a];
                b[a] -= q * rd;
#pragma GCC unroll 16
                for (int k = 0; k <= a; ++k) A[a][k] += J[k] * q;
            }
        }
    }
    for (int a = 0; a < N; ++a) {
        out.b[a] = b[a];
        for (int k = 0; k < N; ++k) out.A[a][k] = A[a][k];
    }
    out.counted = counted;
    out.used = used;
    out.sse = sse;
}

// gx is null for type 2 and gy null for type 1 (one derivative plane).
template <int Type>
bool buildEquations(const LevelImage* gxPlane, const LevelImage* gyPlane, const LevelImage& r,
                    const LevelImage& mask, int key, int colStart, int rowStart, int colEnd,
                    int rowEnd, const LevelImage& w, RegistrationModel& model) {
    constexpr int p = jacobianLength(Type);
    constexpr int maxN = p + 1;
    const int n = p + (model.offsetEstimated ? 1 : 0);
    model.residualVariance = 0.0;

    double A[maxN][maxN] = {};
    double b[maxN] = {};
    double x[maxN] = {};
    for (int i = 0; i < n; ++i) A[i][i] = kDamping;

    const bool shapesOk = w.data != nullptr && sameShape(r, w) && sameShape(mask, w) &&
                          (gxPlane == nullptr || sameShape(*gxPlane, w)) &&
                          (gyPlane == nullptr || sameShape(*gyPlane, w));
    // Clip the rectangle to the planes.
    if (colStart < 0) colStart = 0;
    if (rowStart < 0) rowStart = 0;
    if (colEnd > w.columns) colEnd = w.columns;
    if (rowEnd > w.rows) rowEnd = w.rows;

    long long counted = 0;
    long long used = 0;
    double sse = 0.0;
    if (shapesOk) {
        const int columns = w.columns;
        const float* gxData = gxPlane ? gxPlane->f32() : nullptr;
        const float* gyData = gyPlane ? gyPlane->f32() : nullptr;
        const float* rData = r.f32();
        const float* wData = w.f32();
        const int16_t* mData = mask.s16();
        const PixelPlanes planes{gxData, gyData, rData, wData, mData, columns, int16_t(key)};
        const PixelRectangle rect{colStart, rowStart, colEnd, rowEnd, model.centreColumn, model.centreRow};
        Sums<maxN> sums{A, b, counted, used, sse, model.computeVariance != 0};
        if (n == p)
            accumulatePixels<Type, p>(planes, rect, sums);
        else
            accumulatePixels<Type, p + 1>(planes, rect, sums);
    }
    for (int m = 0; m < n; ++m)
        for (int j = m + 1; j < n; ++j) A[m][j] = A[j][m];

    model.usedFraction = double(used) / double(counted);
    if constexpr (Type <= 14) model.usedPixelCount = int32_t(used);
    if (used <= 2LL * n) return false;

    double flatA[maxN * maxN];
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) flatA[i * n + j] = A[i][j];
    if (!solveLeastSquares(flatA, b, x, n, n)) {
        for (double& v : x) v = 0.0;
        return false;
    }
    writeBack<Type>(x, model.c);
    if (model.offsetEstimated) model.offset = x[n - 1];
    if (model.computeVariance)
        model.residualVariance = (sse - sumOfProducts(b, x, unsigned(n))) / double(used);
    if (model.computeCovariance) {
        double inverse[maxN * maxN];
        if (!invertAndCheck(flatA, inverse, n)) return false;
        storeCovariance(inverse, model);
    }
    return true;
}

}  // namespace

bool buildEquationsType1(const LevelImage& g, const LevelImage& r, const LevelImage& mask, int key,
                         int colStart, int rowStart, int colEnd, int rowEnd, const LevelImage& w,
                         RegistrationModel& model) {
    return buildEquations<1>(&g, nullptr, r, mask, key, colStart, rowStart, colEnd, rowEnd, w,
                             model);
}

bool buildEquationsType2(const LevelImage& g, const LevelImage& r, const LevelImage& mask, int key,
                         int colStart, int rowStart, int colEnd, int rowEnd, const LevelImage& w,
                         RegistrationModel& model) {
    return buildEquations<2>(nullptr, &g, r, mask, key, colStart, rowStart, colEnd, rowEnd, w,
                             model);
}

#define REG_DEFINE_BUILDER(N)                                                                  \
    bool buildEquationsType##N(const LevelImage& gx, const LevelImage& gy, const LevelImage& r, \
                               const LevelImage& mask, int key, int colStart, int rowStart,    \
                               int colEnd, int rowEnd, const LevelImage& w,                    \
                               RegistrationModel& model) {                                     \
        return buildEquations<N>(&gx, &gy, r, mask, key, colStart, rowStart, colEnd, rowEnd,   \
                                 w, model);                                                    \
    }
REG_DEFINE_BUILDER(3)
REG_DEFINE_BUILDER(4)
REG_DEFINE_BUILDER(5)
REG_DEFINE_BUILDER(6)
REG_DEFINE_BUILDER(7)
REG_DEFINE_BUILDER(8)
REG_DEFINE_BUILDER(9)
REG_DEFINE_BUILDER(10)
REG_DEFINE_BUILDER(11)
REG_DEFINE_BUILDER(12)
REG_DEFINE_BUILDER(13)
REG_DEFINE_BUILDER(14)
REG_DEFINE_BUILDER(15)
REG_DEFINE_BUILDER(16)
REG_DEFINE_BUILDER(17)
REG_DEFINE_BUILDER(18)
REG_DEFINE_BUILDER(19)
#undef REG_DEFINE_BUILDER
