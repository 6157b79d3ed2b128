// Warp of an 8-bit plane by a motion model: inverse mapping with bilinear
// interpolation for translation and linear models, forward splatting with a
// running weighted mean for quadratic models.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "registration/registration_core.h"

namespace {

bool validImage(const uint8_t* source, const uint8_t* destination, int rows, int columns) {
    return source != nullptr && destination != nullptr && rows > 0 && columns > 0;
}

size_t pixelCount(int rows, int columns) { return size_t(int64_t(rows) * int64_t(columns)); }

// Running weighted mean of one cell: m holds the truncated mean, W the
// weight sum. The 16-bit mean saturates instead of wrapping.
inline void splatInto(int16_t& m, float& W, double v, double w) {
    double sum = std::trunc(double(m) * double(W) + w * v);
    if (sum > 32767.0) sum = 32767.0;
    if (sum < -32768.0) sum = -32768.0;
    m = int16_t(sum);
    const double newWeight = double(W) + w;
    W = float(newWeight);
    if (newWeight == 0.0) return;
    m = int16_t(std::trunc(double(m) / newWeight));
}

}  // namespace

ModelWarper::ModelWarper() : bufferA(nullptr), bufferB(nullptr) {}

ModelWarper::~ModelWarper() {
    if (bufferA != nullptr || bufferB != nullptr) freePair(bufferA, bufferB);
}

bool ModelWarper::warpImageByModel(const uint8_t* source, uint8_t* destination, int rows,
                                   int columns, MotionModel model) {
    const RegistrationModel record = registrationModelFrom(model);
    return warpQuadraticSplat(source, destination, rows, columns, record, 0);
}

bool warpQuadraticSplat(const uint8_t* source, uint8_t* destination, int rows, int columns,
                        const RegistrationModel& model, uint8_t fill) {
    if (modelClass(model.type) < 2)
        return warpAffineBilinear(source, destination, rows, columns, model, fill);
    if (!validImage(source, destination, rows, columns)) return false;
    double c[13];
    if (!modelAtCentre(model, c, 0.0, 0.0)) return false;
    const double o = model.offsetEstimated ? model.offset : 0.0;

    const size_t count = pixelCount(rows, columns);
    int16_t* mean = static_cast<int16_t*>(regCalloc(count, sizeof(int16_t)));
    float* weight = static_cast<float*>(regCalloc(count, sizeof(float)));
    if (mean == nullptr || weight == nullptr) {
        regFree(mean);
        regFree(weight);
        return false;
    }
    for (int y = 0; y < rows; ++y) {
        const double yd = y;
        for (int x = 0; x < columns; ++x) {
            const double xd = x;
            const double X = c[0] + (1.0 + c[2]) * xd + c[3] * yd + c[6] * xd * xd +
                             c[7] * xd * yd + c[8] * yd * yd;
            const double Y = c[1] + c[4] * xd + (1.0 + c[5]) * yd + c[9] * xd * xd +
                             c[10] * xd * yd + c[11] * yd * yd;
            // Only landings whose integer parts lie before the last column and
            // row contribute (NaN fails the test too).
            if (!(X >= 0.0 && X < double(columns - 1) && Y >= 0.0 && Y < double(rows - 1)))
                continue;
            const double fxFloor = std::floor(X);
            const double fyFloor = std::floor(Y);
            const int ix = int(fxFloor);
            const int iy = int(fyFloor);
            const double v = double(source[int64_t(y) * columns + x]) - o;
            const double fx = X - fxFloor;
            const double fy = Y - fyFloor;
            const int64_t i = int64_t(iy) * columns + ix;
            splatInto(mean[i], weight[i], v, (1.0 - fx) * (1.0 - fy));
            splatInto(mean[i + 1], weight[i + 1], v, fx * (1.0 - fy));
            splatInto(mean[i + columns + 1], weight[i + columns + 1], v, fx * fy);
            splatInto(mean[i + columns], weight[i + columns], v, double(float((1.0 - fx) * fy)));
        }
    }
    for (size_t i = 0; i < count; ++i) {
        const int m = mean[i];
        destination[i] = uint8_t(m < 0 ? 0 : (m > 255 ? 255 : m));
    }
    regFree(mean);
    regFree(weight);
    return true;
}

bool warpAffineBilinear(const uint8_t* source, uint8_t* destination, int rows, int columns,
                        const RegistrationModel& model, uint8_t fill) {
    if (!validImage(source, destination, rows, columns)) return false;
    const size_t count = pixelCount(rows, columns);
    uint8_t* work = static_cast<uint8_t*>(regMalloc(count));
    if (work == nullptr) return false;
    std::memset(work, fill, count);

    double c[13];
    if (!modelAtCentre(model, c, 0.0, 0.0)) {
        regFree(work);
        return false;
    }
    const double det = (1.0 + c[2]) * (1.0 + c[5]) - c[3] * c[4];
    if (-1e-10 < det && det < 1e-10) {
        std::printf("\nCannot wp im\n");
        std::fflush(stdout);
        regFree(work);
        return false;
    }
    const double h = 1.0 / det;
    const double a11 = (1.0 + c[5]) * h;
    const double a12 = -c[3] * h;
    const double a21 = -c[4] * h;
    const double a22 = (1.0 + c[2]) * h;
    const double tx = h * (c[3] * c[1] - (1.0 + c[5]) * c[0]);
    const double ty = h * (c[4] * c[0] - (1.0 + c[2]) * c[1]);
    const double o = model.offsetEstimated ? model.offset : 0.0;

    const double lastX = double(columns - 1), lastY = double(rows - 1);
    for (int y = 0; y < rows; ++y) {
        // The products by the row index are the same for the whole row.
        const double a12y = a12 * y, a22y = a22 * y;
        for (int x = 0; x < columns; ++x) {
            const double xs = a11 * x + a12y + tx;
            const double ys = a21 * x + a22y + ty;
            // Positions whose integer parts reach the last column or row, and
            // NaN positions, keep the fill value.
            if (!(xs >= 0.0 && ys >= 0.0 && xs < lastX && ys < lastY)) continue;
            const int ix = int(xs);
            const int iy = int(ys);
            const double fx = xs - ix;
            const double fy = ys - iy;
            const int64_t i = int64_t(iy) * columns + ix;
            const double p00 = source[i], p01 = source[i + 1];
            const double p10 = source[i + columns], p11 = source[i + columns + 1];
            const double top = p00 + fx * (p01 - p00);
            const double bottom = p10 + fx * (p11 - p10);
            const double value = top + fy * (bottom - top) - o;
            work[int64_t(y) * columns + x] =
                value > 255.0 ? 255 : (value >= 0.0 ? uint8_t(std::trunc(value)) : 0);
        }
    }
    std::memcpy(destination, work, count);
    regFree(work);
    return true;
}
