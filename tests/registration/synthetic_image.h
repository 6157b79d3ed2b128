// Synthetic textured frames with a known motion between them, for the
// registration tests and benchmark. The texture is a smooth analytic
// function, so a frame moved by any map is sampled exactly, not resampled.
#pragma once

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace regtest {

struct Texture {
    struct Wave {
        double kx, ky, phase, amplitude;
    };
    std::vector<Wave> waves;

    explicit Texture(unsigned seed, int count = 24) {
        std::mt19937 rng(seed);
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        const double pi = 3.14159265358979323846;
        for (int i = 0; i < count; ++i) {
            const double wavelength = 6.0 + 90.0 * unit(rng);
            const double angle = 2.0 * pi * unit(rng);
            const double k = 2.0 * pi / wavelength;
            waves.push_back({k * std::cos(angle), k * std::sin(angle), 2.0 * pi * unit(rng),
                             (0.5 + unit(rng)) * 90.0 / count * std::sqrt(wavelength / 20.0)});
        }
    }

    double operator()(double x, double y) const {
        double v = 128.0;
        for (const Wave& w : waves) v += w.amplitude * std::sin(w.kx * x + w.ky * y + w.phase);
        return v;
    }
};

inline uint8_t toByte(double v) {
    v = std::floor(v + 0.5);
    return uint8_t(v < 0.0 ? 0.0 : (v > 255.0 ? 255.0 : v));
}

// Affine map about (0, 0) in the registration's convention:
// x' = c0 + (1 + c2) x + c3 y, y' = c1 + c4 x + (1 + c5) y.
struct Affine {
    double c[6] = {0, 0, 0, 0, 0, 0};

    void apply(double x, double y, double& xp, double& yp) const {
        xp = c[0] + (1.0 + c[2]) * x + c[3] * y;
        yp = c[1] + c[4] * x + (1.0 + c[5]) * y;
    }
    void invert(double xp, double yp, double& x, double& y) const {
        const double a = 1.0 + c[2], b = c[3], d = c[4], e = 1.0 + c[5];
        const double det = a * e - b * d;
        const double u = xp - c[0], v = yp - c[1];
        x = (e * u - b * v) / det;
        y = (-d * u + a * v) / det;
    }
    // Rotation by degrees and isotropic scale about the image centre, then a
    // shift, expressed about (0, 0).
    static Affine rotationScale(double degrees, double scale, double cx, double cy, double sx,
                                double sy) {
        const double t = degrees * 3.14159265358979323846 / 180.0;
        const double a = scale * std::cos(t), b = -scale * std::sin(t);
        const double d = scale * std::sin(t), e = scale * std::cos(t);
        Affine m;
        m.c[2] = a - 1.0;
        m.c[3] = b;
        m.c[4] = d;
        m.c[5] = e - 1.0;
        m.c[0] = cx + sx - (a * cx + b * cy);
        m.c[1] = cy + sy - (d * cx + e * cy);
        return m;
    }
};

// current(x, y) = T(x, y); reference(x', y') = T(x, y) - offset where
// (x', y') = motion(x, y): the reference sampled at the model position plus
// the offset gives the current frame back.
inline void makePair(const Texture& texture, int rows, int columns, const Affine& motion,
                     double offset, std::vector<uint8_t>& current,
                     std::vector<uint8_t>& reference) {
    current.assign(size_t(rows) * size_t(columns), 0);
    reference.assign(size_t(rows) * size_t(columns), 0);
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < columns; ++x) {
            current[size_t(y) * columns + x] = toByte(texture(x, y));
            double sx, sy;
            motion.invert(x, y, sx, sy);
            reference[size_t(y) * columns + x] = toByte(texture(sx, sy) - offset);
        }
}

// Largest distance, over the four image corners, between the positions given
// by the estimated coefficients c0..c5 and by the true motion.
inline double cornerError(const double estimated[6], const Affine& truth, int rows, int columns) {
    Affine e;
    for (int k = 0; k < 6; ++k) e.c[k] = estimated[k];
    const double xs[2] = {0.0, double(columns - 1)};
    const double ys[2] = {0.0, double(rows - 1)};
    double worst = 0.0;
    for (double x : xs)
        for (double y : ys) {
            double ax, ay, bx, by;
            e.apply(x, y, ax, ay);
            truth.apply(x, y, bx, by);
            worst = std::max(worst, std::hypot(ax - bx, ay - by));
        }
    return worst;
}

}  // namespace regtest
