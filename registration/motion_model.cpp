// Motion models: the type tables, the engine's MotionModel and the utilities
// on the core's RegistrationModel.
#include <cmath>
#include <cstring>

#include "registration/registration_core.h"

namespace {

struct TypeInfo {
    int parameters;
    int modelClass;
    int coarse;
    int intermediate;  // 0: none
};

// Indexed by type 1..19 (entry 0 unused).
constexpr TypeInfo kTypes[20] = {
    {0, -1, 0, 0},
    {1, 0, 1, 0},   {1, 0, 2, 0},   {2, 0, 3, 0},   {2, 1, 1, 4},   {3, 1, 3, 5},
    {3, 1, 3, 6},   {5, 1, 2, 7},   {5, 1, 1, 8},   {5, 1, 3, 9},   {5, 1, 3, 10},
    {5, 1, 3, 11},  {5, 1, 3, 12},  {4, 1, 3, 13},  {6, 1, 3, 14},  {4, 2, 1, 4},
    {4, 2, 16, 0},  {5, 2, 3, 5},   {8, 2, 3, 14},  {12, 2, 3, 14},
};

bool validType(int type) { return type >= 1 && type <= 19; }

}  // namespace

int modelParameterCount(int type) { return validType(type) ? kTypes[type].parameters : 0; }

int modelClass(int type) { return validType(type) ? kTypes[type].modelClass : -1; }

int modelCoefficientCount(int type) {
    switch (modelClass(type)) {
    case 0: return 2;
    case 1: return 6;
    case 2: return 12;
    default: return 0;
    }
}

int coarseType(int type) { return validType(type) ? kTypes[type].coarse : 3; }

int intermediateModelType(int type) { return validType(type) ? kTypes[type].intermediate : 0; }

// ---------------------------------------------------------------------------
// MotionModel

MotionModel::MotionModel()
    : c{}, offset(0.0), centreRow(-1.0), centreColumn(-1.0), offsetFlag(0), type(14) {}

MotionModel& MotionModel::copy(const MotionModel& other) {
    *this = other;
    return *this;
}

void MotionModel::setCentre(double row, double column) {
    centreRow = row;
    centreColumn = column;
}

int MotionModel::setType(int newType) {
    type = newType;
    return type;
}

void MotionModel::setOffset(uint8_t flag, double value) {
    offsetFlag = flag;
    offset = value;
}

int MotionModel::parameterCount() const { return modelParameterCount(type); }

uint8_t MotionModel::offsetEstimated() const { return offsetFlag; }

void MotionModel::getCoefficients(double out[12]) const { std::memcpy(out, c, sizeof c); }

void MotionModel::setCoefficients(const double in[12]) { std::memcpy(c, in, sizeof c); }

void MotionModel::zeroCoefficients() {
    for (double& v : c) v = 0.0;
    offset = 0.0;
}

// ---------------------------------------------------------------------------
// RegistrationModel utilities

RegistrationModel registrationModelFrom(const MotionModel& model) {
    RegistrationModel r;
    std::memcpy(r.c, model.c, sizeof r.c);
    r.offset = model.offset;
    r.centreRow = model.centreRow;
    r.centreColumn = model.centreColumn;
    r.type = model.type;
    r.parameterCount = modelParameterCount(model.type);
    r.offsetEstimated = model.offsetFlag;
    return r;
}

void copyRegistrationModel(const RegistrationModel& sourceIn, RegistrationModel& destination,
                           int mode) {
    // The source may be the destination: work from a copy.
    const RegistrationModel source = sourceIn;
    destination.computeVariance = source.computeVariance;
    destination.residualVariance = source.residualVariance;
    destination.computeCovariance = source.computeCovariance;
    std::memcpy(destination.covariance, source.covariance, sizeof destination.covariance);
    const int n = modelCoefficientCount(source.type);
    switch (mode) {
    case 0:
        destination.centreRow = source.centreRow;
        destination.centreColumn = source.centreColumn;
        destination.parameterCount = source.parameterCount;
        destination.offsetEstimated = source.offsetEstimated;
        destination.type = source.type;
        for (int k = 0; k < 12; ++k) destination.c[k] = k < n ? source.c[k] : 0.0;
        destination.offset = source.offsetEstimated ? source.offset : 0.0;
        break;
    case 1:
        for (int k = 0; k < 12; ++k) destination.c[k] = k < n ? source.c[k] : 0.0;
        if (source.offsetEstimated) destination.offset = source.offset;
        break;
    case 2:
        destination.usedPixelCount = source.usedPixelCount;
        destination.centreRow = source.centreRow;
        destination.centreColumn = source.centreColumn;
        destination.parameterCount = source.parameterCount;
        destination.offsetEstimated = source.offsetEstimated;
        destination.type = source.type;
        std::memcpy(destination.region, source.region, sizeof destination.region);
        for (double& v : destination.c) v = 0.0;
        destination.offset = 0.0;
        break;
    default:
        break;
    }
}

namespace {

// Range test shared by modelAtCentre and coefficientsInRange; a NaN passes.
bool inRange(const double* c) {
    if (std::fabs(c[0]) > 10000.0 || std::fabs(c[1]) > 10000.0) return false;
    for (int k = 2; k < 12; ++k)
        if (std::fabs(c[k]) > 50.0) return false;
    return true;
}

}  // namespace

bool modelAtCentre(const RegistrationModel& m, double full[13], double row, double column) {
    for (int k = 0; k < 13; ++k) full[k] = 0.0;
    const double dy = row - m.centreRow;
    const double dx = column - m.centreColumn;
    const int cls = modelClass(m.type);
    const double* c = m.c;
    if (cls == 2) {
        for (int k = 6; k < 12; ++k) full[k] = c[k];
        full[2] = 2 * c[6] * dx + c[7] * dy;
        full[3] = c[7] * dx + 2 * c[8] * dy;
        full[4] = 2 * c[9] * dx + c[10] * dy;
        full[5] = c[10] * dx + 2 * c[11] * dy;
        full[0] = (c[7] * dy + c[6] * dx) * dx + c[8] * dy * dy;
        full[1] = (c[10] * dy + c[9] * dx) * dx + c[11] * dy * dy;
    }
    if (cls == 1 || cls == 2) {
        full[2] += c[2];
        full[3] += c[3];
        full[4] += c[4];
        full[5] += c[5];
        full[0] += c[3] * dy + c[2] * dx;
        full[1] += c[5] * dy + c[4] * dx;
    }
    if (cls >= 0) {
        full[0] += c[0];
        full[1] += c[1];
    }
    full[12] = m.offset;
    return inRange(full);
}

bool coefficientsInRange(const RegistrationModel& model) { return inRange(model.c); }

void scaleModelToLevel(const RegistrationModel& source, RegistrationModel& destination, int n) {
    const RegistrationModel s = source;
    std::memcpy(destination.c, s.c, sizeof destination.c);
    destination.offset = s.offset;
    destination.centreRow = s.centreRow;
    destination.centreColumn = s.centreColumn;
    const double f = n > 0 ? 0.5 : 2.0;
    const int steps = n < 0 ? -n : n;
    for (int i = 0; i < steps; ++i) {
        destination.centreRow *= f;
        destination.centreColumn *= f;
        destination.c[0] *= f;
        destination.c[1] *= f;
        for (int k = 6; k < 12; ++k) destination.c[k] *= 1.0 / f;
    }
    destination.type = s.type;
    destination.offsetEstimated = s.offsetEstimated;
    destination.parameterCount = s.parameterCount;
}

void splitModelRows(const RegistrationModel& m, uint8_t offsetFlag, double xTerms[6],
                    double yTerms[6], double& offset) {
    xTerms[0] = m.c[0]; xTerms[1] = m.c[2]; xTerms[2] = m.c[3];
    xTerms[3] = m.c[6]; xTerms[4] = m.c[7]; xTerms[5] = m.c[8];
    yTerms[0] = m.c[1]; yTerms[1] = m.c[4]; yTerms[2] = m.c[5];
    yTerms[3] = m.c[9]; yTerms[4] = m.c[10]; yTerms[5] = m.c[11];
    offset = offsetFlag ? m.offset : 0.0;
}

void resetModelTerms(RegistrationModel& model, int n) {
    model.offset = 0.0;
    if (n >= 1 && n <= 3)
        for (int k = 2; k < 12; ++k) model.c[k] = 0.0;
}

void coarseModelType(int type, uint8_t offsetFlag, RegistrationModel& model) {
    const int coarse = coarseType(type);
    model.type = coarse;
    model.parameterCount = modelParameterCount(coarse);
    model.offsetEstimated = coarse == type ? offsetFlag : 0;
}

void modelNormWeights(ModelNormWeights& weights, int type, uint8_t offsetFlag, int colStart,
                      int rowStart, int colEnd, int rowEnd) {
    const double W = double(colEnd) - double(colStart);
    const double H = double(rowEnd) - double(rowStart);
    for (double& v : weights.w) v = 0.0;
    if (offsetFlag) weights.w[12] = 0.05;
    const int cls = modelClass(type);
    if (cls == 2) {
        weights.w[6] = weights.w[9] = W * W / 12.0;
        weights.w[7] = weights.w[10] = W * H / 16.0;
        weights.w[8] = weights.w[11] = H * H / 12.0;
    }
    if (cls == 1 || cls == 2) {
        weights.w[2] = weights.w[4] = W / 4.0;
        weights.w[3] = weights.w[5] = H / 4.0;
    }
    if (cls >= 0) weights.w[0] = weights.w[1] = 1.0;
}

double modelDistance(const RegistrationModel& a, const RegistrationModel& b,
                     const ModelNormWeights& weights, int mode) {
    if (mode != 0 && mode != 1) return 0.0;
    const int cls = modelClass(a.type);
    int count = 0;
    if (cls == 0) count = 2;
    else if (cls == 1) count = 6;
    else if (cls == 2) count = 12;
    double sum = 0.0;
    for (int k = 0; k < count; ++k)
        sum += weights.w[k] * std::fabs(mode == 1 ? a.c[k] : a.c[k] - b.c[k]);
    if (a.offsetEstimated)
        sum += weights.w[12] * std::fabs(mode == 1 ? a.offset : a.offset - b.offset);
    return sum;
}

void initCovariance(RegistrationModel& model) {
    for (auto& row : model.covariance)
        for (double& v : row) v = 1000000.0;
}

namespace {

// Coefficient that represents each parameter of a type in the covariance
// (the first coefficient the parameter writes).
constexpr int kCovarianceIndex[20][12] = {
    {},
    {0}, {1}, {0, 1}, {0, 2}, {0, 1, 2}, {0, 1, 3}, {1, 2, 3, 4, 5}, {0, 2, 3, 4, 5},
    {0, 1, 2, 3, 4}, {0, 1, 2, 3, 5}, {0, 1, 2, 3, 4}, {0, 1, 2, 3, 5}, {0, 1, 2, 3},
    {0, 1, 2, 3, 4, 5}, {0, 2, 6, 7}, {0, 1, 6, 7}, {0, 1, 2, 6, 7},
    {0, 1, 2, 3, 4, 5, 6, 7}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11},
};

}  // namespace

void storeCovariance(const double* inverse, RegistrationModel& model) {
    if (!validType(model.type)) return;
    const int p = modelParameterCount(model.type);
    const int n = p + (model.offsetEstimated ? 1 : 0);
    auto index = [&](int i) { return i < p ? kCovarianceIndex[model.type][i] : 12; };
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            model.covariance[index(i)][index(j)] = model.residualVariance * inverse[i * n + j];
}
