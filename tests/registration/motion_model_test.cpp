// Model types, the MotionModel record and the RegistrationModel utilities.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "registration/registration_core.h"

namespace {

struct TypeRow {
    int type, parameters, modelClass, coefficients, coarse, intermediate;
};

// type, p, class, leading coefficients, coarse type, intermediate type (0: none)
constexpr TypeRow kTypeTable[] = {
    {1, 1, 0, 2, 1, 0},    {2, 1, 0, 2, 2, 0},    {3, 2, 0, 2, 3, 0},    {4, 2, 1, 6, 1, 4},
    {5, 3, 1, 6, 3, 5},    {6, 3, 1, 6, 3, 6},    {7, 5, 1, 6, 2, 7},    {8, 5, 1, 6, 1, 8},
    {9, 5, 1, 6, 3, 9},    {10, 5, 1, 6, 3, 10},  {11, 5, 1, 6, 3, 11},  {12, 5, 1, 6, 3, 12},
    {13, 4, 1, 6, 3, 13},  {14, 6, 1, 6, 3, 14},  {15, 4, 2, 12, 1, 4},  {16, 4, 2, 12, 16, 0},
    {17, 5, 2, 12, 3, 5},  {18, 8, 2, 12, 3, 14}, {19, 12, 2, 12, 3, 14},
};

TEST(ModelTypes, TableOfAllNineteenTypes) {
    for (const TypeRow& row : kTypeTable) {
        SCOPED_TRACE(row.type);
        EXPECT_EQ(modelParameterCount(row.type), row.parameters);
        EXPECT_EQ(modelClass(row.type), row.modelClass);
        EXPECT_EQ(modelCoefficientCount(row.type), row.coefficients);
        EXPECT_EQ(coarseType(row.type), row.coarse);
        EXPECT_EQ(intermediateModelType(row.type), row.intermediate);
        RegistrationModel m;
        coarseModelType(row.type, 1, m);
        EXPECT_EQ(m.type, row.coarse);
        EXPECT_EQ(m.parameterCount, modelParameterCount(row.coarse));
        EXPECT_EQ(m.offsetEstimated, row.coarse == row.type ? 1 : 0);
    }
}

TEST(ModelTypes, CodesOutsideOneToNineteenAreNoType) {
    for (int type : {0, -1, 20, 1000}) {
        EXPECT_EQ(modelParameterCount(type), 0);
        EXPECT_EQ(modelClass(type), -1);
        EXPECT_EQ(modelCoefficientCount(type), 0);
    }
}

TEST(MotionModelRecord, ConstructorAndOperations) {
    MotionModel m;
    for (double c : m.c) EXPECT_EQ(c, 0.0);
    EXPECT_EQ(m.offset, 0.0);
    EXPECT_EQ(m.centreRow, -1.0);
    EXPECT_EQ(m.centreColumn, -1.0);
    EXPECT_EQ(m.offsetEstimated(), 0);
    EXPECT_EQ(m.type, 14);
    EXPECT_EQ(m.parameterCount(), 6);

    m.setCentre(3.0, 4.0);  // row, then column
    EXPECT_EQ(m.centreRow, 3.0);
    EXPECT_EQ(m.centreColumn, 4.0);
    EXPECT_EQ(m.setType(19), 19);
    EXPECT_EQ(m.parameterCount(), 12);
    m.setOffset(1, 2.5);
    EXPECT_EQ(m.offsetEstimated(), 1);
    EXPECT_EQ(m.offset, 2.5);

    double in[12], out[12];
    for (int k = 0; k < 12; ++k) in[k] = k + 0.5;
    m.setCoefficients(in);
    m.getCoefficients(out);
    for (int k = 0; k < 12; ++k) EXPECT_EQ(out[k], k + 0.5);

    MotionModel copy;
    EXPECT_EQ(&copy.copy(m), &copy);
    EXPECT_EQ(copy.c[11], 11.5);
    EXPECT_EQ(copy.type, 19);
    EXPECT_EQ(copy.centreColumn, 4.0);

    m.zeroCoefficients();
    for (double c : m.c) EXPECT_EQ(c, 0.0);
    EXPECT_EQ(m.offset, 0.0);
    EXPECT_EQ(m.offsetEstimated(), 1);  // flag, centre and type stay
    EXPECT_EQ(m.type, 19);
    EXPECT_EQ(m.centreRow, 3.0);
}

RegistrationModel filledModel(int type) {
    RegistrationModel m;
    m.type = type;
    m.parameterCount = modelParameterCount(type);
    for (int k = 0; k < 12; ++k) m.c[k] = 0.01 * (k + 1);
    m.c[0] = 5.0;
    m.c[1] = -7.0;
    m.offset = 3.0;
    m.offsetEstimated = 1;
    m.centreRow = 10.0;
    m.centreColumn = 20.0;
    m.usedPixelCount = 77;
    m.region[2] = 99;
    m.residualVariance = 0.25;
    m.covariance[3][4] = 9.0;
    return m;
}

TEST(RegistrationModelCopy, ModesZeroOneAndTwo) {
    const RegistrationModel src = filledModel(14);  // linear: 6 coefficients

    RegistrationModel d0;
    for (double& c : d0.c) c = 100.0;
    copyRegistrationModel(src, d0, 0);
    EXPECT_EQ(d0.type, 14);
    EXPECT_EQ(d0.centreColumn, 20.0);
    EXPECT_EQ(d0.c[5], src.c[5]);
    EXPECT_EQ(d0.c[6], 0.0);  // beyond the class
    EXPECT_EQ(d0.offset, 3.0);
    EXPECT_EQ(d0.residualVariance, 0.25);
    EXPECT_EQ(d0.covariance[3][4], 9.0);

    RegistrationModel d1;
    d1.offset = 42.0;
    d1.type = 3;
    RegistrationModel noOffset = src;
    noOffset.offsetEstimated = 0;
    copyRegistrationModel(noOffset, d1, 1);
    EXPECT_EQ(d1.c[0], 5.0);
    EXPECT_EQ(d1.offset, 42.0);  // kept: the source does not estimate it
    EXPECT_EQ(d1.type, 3);       // settings untouched in mode 1

    RegistrationModel d2;
    for (double& c : d2.c) c = 1.0;
    copyRegistrationModel(src, d2, 2);
    for (double c : d2.c) EXPECT_EQ(c, 0.0);
    EXPECT_EQ(d2.offset, 0.0);
    EXPECT_EQ(d2.type, 14);
    EXPECT_EQ(d2.centreRow, 10.0);
    EXPECT_EQ(d2.offsetEstimated, 1);
    EXPECT_EQ(d2.usedPixelCount, 77);
    EXPECT_EQ(d2.region[2], 99);

    // The source may be the destination.
    RegistrationModel self = src;
    copyRegistrationModel(self, self, 2);
    EXPECT_EQ(self.c[0], 0.0);
    EXPECT_EQ(self.type, 14);
}

// Position of a pixel under a model (its own centre).
void mapPoint(const RegistrationModel& m, double x, double y, double& xp, double& yp) {
    const double u = x - m.centreColumn, v = y - m.centreRow;
    const double* c = m.c;
    xp = x + c[0] + c[2] * u + c[3] * v + c[6] * u * u + c[7] * u * v + c[8] * v * v;
    yp = y + c[1] + c[4] * u + c[5] * v + c[9] * u * u + c[10] * u * v + c[11] * v * v;
}

TEST(ModelAtCentre, OwnCentreKeepsCoefficientsAndRecentringIsExact) {
    for (int type : {3, 14, 19}) {
        SCOPED_TRACE(type);
        RegistrationModel m = filledModel(type);
        for (int k = 6; k < 12; ++k) m.c[k] = 1e-4 * (k - 8);
        double full[13];
        ASSERT_TRUE(modelAtCentre(m, full, m.centreRow, m.centreColumn));
        const int n = modelCoefficientCount(type);
        for (int k = 0; k < 12; ++k) EXPECT_EQ(full[k], k < n ? m.c[k] : 0.0) << k;
        EXPECT_EQ(full[12], 3.0);

        // Moved to (row -4, column 33): every pixel maps to the same place.
        ASSERT_TRUE(modelAtCentre(m, full, -4.0, 33.0));
        RegistrationModel moved = m;
        for (int k = 0; k < 12; ++k) moved.c[k] = full[k];
        moved.centreRow = -4.0;
        moved.centreColumn = 33.0;
        RegistrationModel own = m;
        for (int k = n; k < 12; ++k) own.c[k] = 0.0;
        for (double x : {0.0, 17.0, 250.0})
            for (double y : {0.0, 9.0, 120.0}) {
                double ax, ay, bx, by;
                mapPoint(own, x, y, ax, ay);
                mapPoint(moved, x, y, bx, by);
                EXPECT_NEAR(ax, bx, 1e-9);
                EXPECT_NEAR(ay, by, 1e-9);
            }
    }
}

TEST(ModelAtCentre, RangeLimits) {
    struct Case {
        int index;
        double value;
        bool inRange;
    };
    const Case cases[] = {{0, 10000.0, true}, {0, 10000.5, false}, {1, -10000.5, false},
                          {2, 50.0, true},    {2, -50.01, false},  {11, 50.5, false},
                          {0, std::numeric_limits<double>::quiet_NaN(), true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        RegistrationModel m;
        m.type = 19;
        m.c[c.index] = c.value;
        double full[13];
        EXPECT_EQ(modelAtCentre(m, full, 0.0, 0.0), c.inRange);
        EXPECT_EQ(coefficientsInRange(m), c.inRange);
    }
    // A type outside 1..19 keeps only the offset.
    RegistrationModel bad = filledModel(14);
    bad.type = 25;
    double full[13];
    EXPECT_TRUE(modelAtCentre(bad, full, 0.0, 0.0));
    for (int k = 0; k < 12; ++k) EXPECT_EQ(full[k], 0.0);
    EXPECT_EQ(full[12], 3.0);
}

TEST(ScaleModelToLevel, UpAndDownRestores) {
    RegistrationModel m = filledModel(19);
    RegistrationModel coarse, back;
    scaleModelToLevel(m, coarse, 2);
    EXPECT_EQ(coarse.c[0], 5.0 / 4);
    EXPECT_EQ(coarse.c[1], -7.0 / 4);
    EXPECT_EQ(coarse.c[2], m.c[2]);
    EXPECT_EQ(coarse.c[6], m.c[6] * 4);
    EXPECT_EQ(coarse.centreRow, 2.5);
    EXPECT_EQ(coarse.offset, 3.0);
    EXPECT_EQ(coarse.type, 19);
    scaleModelToLevel(coarse, back, -2);
    for (int k = 0; k < 12; ++k) EXPECT_DOUBLE_EQ(back.c[k], m.c[k]);
    EXPECT_EQ(back.centreColumn, 20.0);
}

TEST(ModelNorm, WeightsAndDistance) {
    ModelNormWeights w;
    modelNormWeights(w, 19, 1, 10, 20, 50, 100);  // W = 40, H = 80
    EXPECT_EQ(w.w[0], 1.0);
    EXPECT_EQ(w.w[1], 1.0);
    EXPECT_EQ(w.w[2], 10.0);
    EXPECT_EQ(w.w[4], 10.0);
    EXPECT_EQ(w.w[3], 20.0);
    EXPECT_EQ(w.w[5], 20.0);
    EXPECT_EQ(w.w[6], 1600.0 / 12);
    EXPECT_EQ(w.w[7], 3200.0 / 16);
    EXPECT_EQ(w.w[11], 6400.0 / 12);
    EXPECT_EQ(w.w[12], 0.05);
    ModelNormWeights t;
    modelNormWeights(t, 3, 0, 10, 20, 50, 100);
    EXPECT_EQ(t.w[2], 0.0);
    EXPECT_EQ(t.w[12], 0.0);

    RegistrationModel a, b;
    a.type = 14;
    a.c[0] = 1.0;
    a.c[3] = -0.1;   // weight 20
    a.c[7] = 5.0;    // beyond the linear class: ignored
    b.type = 14;
    b.c[0] = 0.5;
    EXPECT_DOUBLE_EQ(modelDistance(a, b, w, 1), 1.0 + 2.0);
    EXPECT_DOUBLE_EQ(modelDistance(a, b, w, 0), 0.5 + 2.0);
    EXPECT_EQ(modelDistance(a, b, w, 2), 0.0);
    a.offsetEstimated = 1;
    a.offset = 10.0;
    EXPECT_DOUBLE_EQ(modelDistance(a, b, w, 1), 3.0 + 0.5);
}

TEST(ModelTerms, SplitResetAndCovariance) {
    RegistrationModel m = filledModel(19);
    double x[6], y[6], o;
    splitModelRows(m, 0, x, y, o);
    EXPECT_EQ(x[0], m.c[0]);
    EXPECT_EQ(x[1], m.c[2]);
    EXPECT_EQ(x[5], m.c[8]);
    EXPECT_EQ(y[0], m.c[1]);
    EXPECT_EQ(y[2], m.c[5]);
    EXPECT_EQ(y[5], m.c[11]);
    EXPECT_EQ(o, 0.0);
    splitModelRows(m, 1, x, y, o);
    EXPECT_EQ(o, 3.0);

    resetModelTerms(m, 3);
    EXPECT_EQ(m.offset, 0.0);
    EXPECT_EQ(m.c[0], 5.0);
    for (int k = 2; k < 12; ++k) EXPECT_EQ(m.c[k], 0.0);
    RegistrationModel keep = filledModel(19);
    resetModelTerms(keep, 4);
    EXPECT_EQ(keep.offset, 0.0);
    EXPECT_NE(keep.c[2], 0.0);

    initCovariance(m);
    EXPECT_EQ(m.covariance[0][0], 1000000.0);
    EXPECT_EQ(m.covariance[12][12], 1000000.0);
}

}  // namespace
