// Linear algebra: factorisation, determinant, inverse, condition estimate,
// the residual-tested solve and inversion, and the vector routines.
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <random>
#include <vector>

#include "registration/registration_core.h"

namespace {

TEST(LinearAlgebra, OneByOneSystem) {
    double a[1] = {4.0};
    int ipvt[1] = {7};
    int info = -3;
    EXPECT_EQ(luFactor(a, 1, 1, ipvt, info), 50);
    EXPECT_EQ(ipvt[0], 0);
    EXPECT_EQ(info, 0);
    const double A[1] = {4.0}, b[1] = {3.0};
    double x[1];
    ASSERT_TRUE(solveLeastSquares(A, b, x, 1, 1));
    EXPECT_DOUBLE_EQ(x[0], 0.75);
}

TEST(LinearAlgebra, FactorOfOrderZeroIsRefusedWithPerror) {
    double a[1] = {1.0};
    int ipvt[1];
    int info = 0;
    errno = EINVAL;
    testing::internal::CaptureStderr();
    EXPECT_EQ(luFactor(a, 1, 0, ipvt, info), -1);
    const std::string text = testing::internal::GetCapturedStderr();
    EXPECT_EQ(text.rfind("m n: ", 0), 0u) << text;
}

TEST(LinearAlgebra, DeterminantFromTheFactors) {
    const struct {
        std::vector<double> matrix;  // column by column
        int n;
        double mantissa, exponent;
    } cases[] = {
        {{1, 0, 0, 0, 1, 0, 0, 0, 1}, 3, 1.0, 0.0},
        {{20, 0, 0, 5}, 2, 1.0, 2.0},
        {{0, 1, 1, 0}, 2, 0.0, 0.0},  // first diagonal zero: step 0 is skipped
        {{2, 1, 1, 3}, 2, 5.0, 0.0},
        {{0.5, 0, 0, 0.03}, 2, 1.5, -2.0},
    };
    for (const auto& c : cases) {
        std::vector<double> a = c.matrix;
        std::vector<int> ipvt(c.n);
        std::vector<double> work(c.n);
        int info = 0;
        ASSERT_EQ(luFactor(a.data(), c.n, c.n, ipvt.data(), info), 50);
        double det[2];
        luDeterminantInverse(a.data(), c.n, c.n, ipvt.data(), det, work.data(), 10);
        EXPECT_NEAR(det[0], c.mantissa, 1e-12);
        EXPECT_EQ(det[1], c.exponent);
    }
}

TEST(LinearAlgebra, ZeroFirstDiagonalIsRefusedByTheInverseTest) {
    // [[0, 1], [1, 0]]: the factorisation records step 0 as failed and does
    // not eliminate column 0; the inverse is then not finite.
    const double A[4] = {0, 1, 1, 0};
    double a[4] = {0, 1, 1, 0};
    int ipvt[2];
    int info = 0;
    EXPECT_EQ(luFactor(a, 2, 2, ipvt, info), 50);
    EXPECT_EQ(ipvt[0], 1);
    double inverse[4];
    EXPECT_FALSE(invertAndCheck(A, inverse, 2));
    const double b[2] = {1.0, 2.0};
    double x[2];
    EXPECT_FALSE(solveLeastSquares(A, b, x, 2, 2));
}

TEST(LinearAlgebra, SingularAndHugeSystemsFailTheResidualTest) {
    const double singular[4] = {1, 2, 2, 4};
    const double b[2] = {1.0, 1.0};
    double x[2];
    EXPECT_FALSE(solveLeastSquares(singular, b, x, 2, 2));
    // Regular, but so large that rounding alone leaves a residual above the
    // absolute tolerance.
    const double huge[4] = {3e15, 1e15, 1e15, 2e15 + 1.0};
    const double bh[2] = {1.234567e15, -7.654321e14};
    EXPECT_FALSE(solveLeastSquares(huge, bh, x, 2, 2));
}

TEST(LinearAlgebra, SolveAndInvertRandomWellConditionedSystems) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (int n = 1; n <= 13; ++n) {
        SCOPED_TRACE(n);
        std::vector<double> A(n * n), b(n), x(n), truth(n), inverse(n * n);
        // Non-symmetric, diagonally dominant: row-by-row reading matters.
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) A[i * n + j] = u(rng) + (i == j ? n + 2.0 : 0.0);
        for (double& t : truth) t = u(rng);
        for (int i = 0; i < n; ++i) {
            b[i] = 0.0;
            for (int j = 0; j < n; ++j) b[i] += A[i * n + j] * truth[j];
        }
        ASSERT_TRUE(solveLeastSquares(A.data(), b.data(), x.data(), n, n));
        for (int i = 0; i < n; ++i) EXPECT_NEAR(x[i], truth[i], 1e-12);
        ASSERT_TRUE(invertAndCheck(A.data(), inverse.data(), n));
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) {
                double sum = 0.0;
                for (int k = 0; k < n; ++k) sum += A[i * n + k] * inverse[k * n + j];
                EXPECT_NEAR(sum, i == j ? 1.0 : 0.0, 1e-12);
            }
    }
}

TEST(LinearAlgebra, ConditionEstimate) {
    const struct {
        std::vector<double> matrix;
        int n;
        double rcond;
    } cases[] = {
        {{1, 0, 0, 1}, 2, 1.0},
        {{1, 0, 0, 1e-3}, 2, 1e-3},
        {{4, 0, 0, 0, 2, 0, 0, 0, 8}, 3, 0.25},
    };
    for (const auto& c : cases) {
        std::vector<double> a = c.matrix, z(c.n);
        std::vector<int> ipvt(c.n);
        double rcond = -1.0;
        EXPECT_EQ(luConditionEstimate(a.data(), c.n, c.n, ipvt.data(), rcond, z.data()), 0);
        // The estimate never understates the reciprocal condition number and
        // stays within a factor of the order of it; exact for the identity.
        EXPECT_GE(rcond, c.rcond * (1.0 - 1e-12));
        EXPECT_LE(rcond, c.rcond * c.n);
        if (c.rcond == 1.0) {
            EXPECT_DOUBLE_EQ(rcond, 1.0);
        }
    }
}

TEST(VectorRoutines, ResultsAndRefusals) {
    const double v[3] = {1.0, -3.0, 3.0};
    EXPECT_EQ(vectorMaxAbsIndex(v, 3, 1), 1);
    EXPECT_EQ(vectorAbsSum(v, 3, 1), 7.0);
    EXPECT_EQ(vectorDot(v, v, 3, 1, 1), 19.0);
    EXPECT_EQ(sumOfProducts(v, v, 3), 19.0);
    EXPECT_EQ(sumOfProducts(v, v, 0), 0.0);

    double y[3] = {1.0, 1.0, 1.0};
    EXPECT_EQ(vectorAddScaled(y, v, 3, 2.0, 1, 1), 0);
    EXPECT_EQ(y[1], -5.0);
    double s[2] = {2.0, -4.0};
    EXPECT_EQ(vectorScale(s, 2, 0.5, 0), 0);  // stride 0 acts as 1
    EXPECT_EQ(s[1], -2.0);
    EXPECT_EQ(vectorScale(s, 0, 0.5, 1), 0);
    EXPECT_EQ(s[0], 1.0);
    double p[2] = {1, 2}, q[2] = {3, 4};
    EXPECT_EQ(vectorSwap(p, q, 2, 1, 1), 0);
    EXPECT_EQ(p[0], 3.0);
    EXPECT_EQ(q[1], 2.0);

    // Refused calls: errno 22 and the sentinel result, nothing written.
    double untouched[2] = {5.0, 6.0};
    errno = 0;
    EXPECT_EQ(vectorAbsSum(v, 0, 1), kSmallestNormal);
    EXPECT_EQ(errno, 22);
    errno = 0;
    EXPECT_EQ(vectorAbsSum(v, 3, 0), kSmallestNormal);
    EXPECT_EQ(errno, 22);
    errno = 0;
    EXPECT_EQ(vectorDot(v, v, 0, 1, 1), kSmallestNormal);
    EXPECT_EQ(errno, 22);
    errno = 0;
    EXPECT_EQ(vectorAddScaled(untouched, v, 2, 0.0, 1, 1), -1);
    EXPECT_EQ(errno, 22);
    errno = 0;
    EXPECT_EQ(vectorAddScaled(untouched, v, 0, 1.0, 1, 1), -1);
    EXPECT_EQ(errno, 22);
    errno = 0;
    EXPECT_EQ(vectorSwap(untouched, p, 2, 0, 1), -1);
    EXPECT_EQ(errno, 22);
    errno = 0;
    EXPECT_EQ(vectorMaxAbsIndex(v, 0, 1), -1);
    EXPECT_EQ(errno, 22);
    EXPECT_EQ(untouched[0], 5.0);
    EXPECT_EQ(untouched[1], 6.0);
}

TEST(VectorRoutines, CopySign) {
    errno = 0;
    EXPECT_EQ(copySign(2.0, -0.5), -2.0);
    EXPECT_EQ(errno, -1);
    EXPECT_EQ(copySign(-2.0, 3.0), 2.0);
    EXPECT_EQ(copySign(2.0, 0.0), kSmallestNormal);
    EXPECT_EQ(errno, 33);
}

}  // namespace
