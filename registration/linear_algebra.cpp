// Small dense linear algebra of the registration: LU factorisation with
// partial pivoting on column-stored matrices, determinant and inverse from
// the factors, the Cline-Moler-Stewart-Wilkinson condition estimate, and the
// solve and inversion that accept a result only by an absolute residual test.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "registration/registration_core.h"

namespace {

constexpr double kResidualTolerance = 0.0001;

inline double& at(double* a, int lda, int i, int j) { return a[int64_t(j) * lda + i]; }

}  // namespace

// ---------------------------------------------------------------------------
// Vector routines

double sumOfProducts(const double* x, const double* y, unsigned n) {
    double sum = 0.0;
    for (unsigned i = 0; i < n; ++i) sum += x[i] * y[i];
    return sum;
}

double vectorAbsSum(const double* x, int n, int stride) {
    if (n <= 0 || stride == 0) {
        errno = EINVAL;
        return kSmallestNormal;
    }
    double sum = 0.0;
    for (int i = 0; i < n; ++i) sum += std::fabs(x[int64_t(i) * stride]);
    return sum;
}

int vectorAddScaled(double* y, const double* x, int n, double a, int strideY, int strideX) {
    if (n <= 0 || strideY == 0 || strideX == 0 || a == 0.0) {
        errno = EINVAL;
        return -1;
    }
    for (int i = 0; i < n; ++i) y[int64_t(i) * strideY] += a * x[int64_t(i) * strideX];
    return 0;
}

double vectorDot(const double* x, const double* y, int n, int strideX, int strideY) {
    if (n <= 0 || strideX == 0 || strideY == 0) {
        errno = EINVAL;
        return kSmallestNormal;
    }
    double sum = 0.0;
    for (int i = 0; i < n; ++i) sum += x[int64_t(i) * strideX] * y[int64_t(i) * strideY];
    return sum;
}

int vectorScale(double* x, int n, double a, int stride) {
    if (stride == 0) stride = 1;
    for (int i = 0; i < n; ++i) x[int64_t(i) * stride] *= a;
    return 0;
}

int vectorSwap(double* x, double* y, int n, int strideX, int strideY) {
    if (n <= 0 || strideX == 0 || strideY == 0) {
        errno = EINVAL;
        return -1;
    }
    for (int i = 0; i < n; ++i) {
        const double t = x[int64_t(i) * strideX];
        x[int64_t(i) * strideX] = y[int64_t(i) * strideY];
        y[int64_t(i) * strideY] = t;
    }
    return 0;
}

int vectorMaxAbsIndex(const double* x, int n, int stride) {
    if (n <= 0 || stride == 0) {
        errno = EINVAL;
        return -1;
    }
    int best = 0;
    double largest = std::fabs(x[0]);
    for (int i = 1; i < n; ++i) {
        const double v = std::fabs(x[int64_t(i) * stride]);
        if (v > largest) {
            largest = v;
            best = i;
        }
    }
    return best;
}

double copySign(double a, double b) {
    errno = -1;
    if (b == 0.0) {
        errno = EDOM;
        return kSmallestNormal;
    }
    return b < 0.0 ? -std::fabs(a) : std::fabs(a);
}

// ---------------------------------------------------------------------------
// Factorisation, determinant, inverse, condition estimate

int luFactor(double* a, int lda, int n, int* ipvt, int& info) {
    info = 0;
    if (n == 1) {
        ipvt[0] = 0;
        return 50;
    }
    if (n < 1) {
        std::perror("m n");
        return -1;
    }
    for (int k = 0; k < n - 1; ++k) {
        const int l = k + vectorMaxAbsIndex(&at(a, lda, k, k), n - k, 1);
        ipvt[k] = l;
        // The diagonal element before the interchange decides whether the
        // column is eliminated.
        if (at(a, lda, k, k) == 0.0) {
            info = k;
            continue;
        }
        if (l != k) {
            const double t = at(a, lda, l, k);
            at(a, lda, l, k) = at(a, lda, k, k);
            at(a, lda, k, k) = t;
        }
        const double t = -1.0 / at(a, lda, k, k);
        vectorScale(&at(a, lda, k + 1, k), n - k - 1, t, 1);
        for (int j = k + 1; j < n; ++j) {
            double tj = at(a, lda, l, j);
            if (l != k) {
                at(a, lda, l, j) = at(a, lda, k, j);
                at(a, lda, k, j) = tj;
            }
            vectorAddScaled(&at(a, lda, k + 1, j), &at(a, lda, k + 1, k), n - k - 1, tj, 1, 1);
        }
    }
    ipvt[n - 1] = n - 1;
    if (at(a, lda, n - 1, n - 1) == 0.0) info = n - 1;
    return 50;
}

void luDeterminantInverse(double* a, int lda, int n, const int* ipvt, double det[2],
                          double* work, int job) {
    if (job / 10 != 0) {
        det[0] = 1.0;
        det[1] = 0.0;
        for (int i = 0; i < n; ++i) {
            if (ipvt[i] != i) det[0] = -det[0];
            det[0] *= at(a, lda, i, i);
            if (det[0] != 0.0) {
                while (std::fabs(det[0]) < 1.0) {
                    det[0] *= 10.0;
                    det[1] -= 1.0;
                }
                while (std::fabs(det[0]) >= 10.0) {
                    det[0] *= 0.1;
                    det[1] += 1.0;
                }
            }
        }
    }
    if (job % 10 == 0) return;
    // inverse(U)
    for (int k = 0; k < n; ++k) {
        at(a, lda, k, k) = 1.0 / at(a, lda, k, k);
        vectorScale(&at(a, lda, 0, k), k, -at(a, lda, k, k), 1);
        for (int j = k + 1; j < n; ++j) {
            const double t = at(a, lda, k, j);
            at(a, lda, k, j) = 0.0;
            vectorAddScaled(&at(a, lda, 0, j), &at(a, lda, 0, k), k + 1, t, 1, 1);
        }
    }
    // inverse(U) * inverse(L)
    for (int k = n - 2; k >= 0; --k) {
        for (int i = k + 1; i < n; ++i) {
            work[i] = at(a, lda, i, k);
            at(a, lda, i, k) = 0.0;
        }
        for (int j = k + 1; j < n; ++j)
            vectorAddScaled(&at(a, lda, 0, k), &at(a, lda, 0, j), n, work[j], 1, 1);
        if (ipvt[k] != k) vectorSwap(&at(a, lda, 0, k), &at(a, lda, 0, ipvt[k]), n, 1, 1);
    }
}

int luConditionEstimate(double* a, int lda, int n, int* ipvt, double& rcond, double* z) {
    double anorm = 0.0;
    for (int j = 0; j < n; ++j) {
        const double s = vectorAbsSum(&at(a, lda, 0, j), n, 1);
        if (s > anorm) anorm = s;
    }
    int info = 0;
    luFactor(a, lda, n, ipvt, info);
    if (n < 1) {
        rcond = 0.0;
        return 0;
    }

    // Solve trans(U) w = e, the signs of e chosen to make w large.
    double ek = 1.0;
    for (int i = 0; i < n; ++i) z[i] = 0.0;
    for (int k = 0; k < n; ++k) {
        if (z[k] != 0.0) ek = copySign(ek, -z[k]);
        const double akk = at(a, lda, k, k);
        if (std::fabs(ek - z[k]) > std::fabs(akk)) {
            const double s = std::fabs(akk) / std::fabs(ek - z[k]);
            vectorScale(z, n, s, 1);
            ek = s * ek;
        }
        double wk = ek - z[k];
        double wkm = -ek - z[k];
        double s = std::fabs(wk);
        double sm = std::fabs(wkm);
        if (akk != 0.0) {
            wk *= 1.0 / akk;
            wkm *= 1.0 / akk;
        } else {
            wk = 1.0;
            wkm = 1.0;
        }
        for (int j = k + 1; j < n; ++j) {
            sm += std::fabs(z[j] + wkm * at(a, lda, k, j));
            z[j] += wk * at(a, lda, k, j);
            s += std::fabs(z[j]);
        }
        if (s < sm) {
            const double t = wkm - wk;
            wk = wkm;
            for (int j = k + 1; j < n; ++j) z[j] += t * at(a, lda, k, j);
        }
        z[k] = wk;
    }
    vectorScale(z, n, 1.0 / vectorAbsSum(z, n, 1), 1);

    // Solve trans(L) y = w.
    for (int k = n - 1; k >= 0; --k) {
        if (k < n - 1) z[k] += vectorDot(&at(a, lda, k + 1, k), &z[k + 1], n - k - 1, 1, 1);
        if (std::fabs(z[k]) > 1.0) vectorScale(z, n, 1.0 / std::fabs(z[k]), 1);
        const int l = ipvt[k];
        const double t = z[l];
        z[l] = z[k];
        z[k] = t;
    }
    vectorScale(z, n, 1.0 / vectorAbsSum(z, n, 1), 1);
    double ynorm = 1.0;

    // Solve L v = y.
    for (int k = 0; k < n; ++k) {
        const int l = ipvt[k];
        const double t = z[l];
        z[l] = z[k];
        z[k] = t;
        vectorAddScaled(&z[k + 1], &at(a, lda, k + 1, k), n - k - 1, t, 1, 1);
        if (std::fabs(z[k]) > 1.0) {
            const double s = 1.0 / std::fabs(z[k]);
            vectorScale(z, n, s, 1);
            ynorm = s * ynorm;
        }
    }
    {
        const double s = 1.0 / vectorAbsSum(z, n, 1);
        vectorScale(z, n, s, 1);
        ynorm = s * ynorm;
    }

    // Solve U z = v.
    for (int k = n - 1; k >= 0; --k) {
        const double akk = at(a, lda, k, k);
        if (std::fabs(z[k]) > std::fabs(akk)) {
            const double s = std::fabs(akk) / std::fabs(z[k]);
            vectorScale(z, n, s, 1);
            ynorm = s * ynorm;
        }
        z[k] = akk != 0.0 ? z[k] / akk : 1.0;
        vectorAddScaled(z, &at(a, lda, 0, k), k, -z[k], 1, 1);
    }
    {
        const double s = 1.0 / vectorAbsSum(z, n, 1);
        vectorScale(z, n, s, 1);
        ynorm = s * ynorm;
    }
    rcond = anorm != 0.0 ? ynorm / anorm : 0.0;
    return 0;
}

// ---------------------------------------------------------------------------
// Solve and inversion of row-stored matrices

bool solveLeastSquares(const double* A, const double* b, double* x, int n, int lda) {
    if (n < 1 || lda < n) return false;
    const size_t nn = size_t(n);
    double* work = static_cast<double*>(regMalloc(sizeof(double) * nn * size_t(lda)));
    double* z = static_cast<double*>(regMalloc(sizeof(double) * nn));
    int* pivots = static_cast<int*>(regMalloc(sizeof(int) * nn));
    if (work == nullptr || z == nullptr || pivots == nullptr) {
        regFree(work);
        regFree(z);
        regFree(pivots);
        return false;
    }
    std::memcpy(work, A, sizeof(double) * nn * size_t(lda));
    for (int i = 0; i < n; ++i) x[i] = 0.0;
    double rcond = 0.0;
    double det[2];
    luConditionEstimate(work, lda, n, pivots, rcond, z);
    luDeterminantInverse(work, lda, n, pivots, det, z, 1);
    // The factor routines read the row-stored A as its transpose; the inverse
    // they leave is therefore inverse(A) stored row by row.
    for (int i = 0; i < n; ++i) {
        double sum = 0.0;
        for (int j = 0; j < n; ++j) sum += work[int64_t(i) * lda + j] * b[j];
        x[i] = sum;
    }
    double residual = 0.0;
    for (int i = 0; i < n; ++i) {
        double sum = 0.0;
        for (int j = 0; j < n; ++j) sum += A[int64_t(i) * lda + j] * x[j];
        const double r = b[i] - sum;
        residual += r * r;
    }
    regFree(work);
    regFree(z);
    regFree(pivots);
    return residual < kResidualTolerance;
}

bool invertAndCheck(const double* A, double* inverse, int n) {
    if (n < 1) return false;
    const size_t nn = size_t(n);
    double* z = static_cast<double*>(regMalloc(sizeof(double) * nn));
    int* pivots = static_cast<int*>(regMalloc(sizeof(int) * nn));
    if (z == nullptr || pivots == nullptr) {
        regFree(z);
        regFree(pivots);
        return false;
    }
    std::memcpy(inverse, A, sizeof(double) * nn * nn);
    double rcond = 0.0;
    double det[2];
    luConditionEstimate(inverse, n, n, pivots, rcond, z);
    luDeterminantInverse(inverse, n, n, pivots, det, z, 1);
    double deviation = 0.0;
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            double sum = 0.0;
            for (int k = 0; k < n; ++k) sum += A[i * n + k] * inverse[k * n + j];
            const double d = (i == j ? 1.0 : 0.0) - sum;
            deviation += d * d;
        }
    }
    regFree(z);
    regFree(pivots);
    return deviation < kResidualTolerance;
}
