// Double-precision references for the FFT tests: a plain DFT for short
// vectors and a radix-2 FFT with directly evaluated twiddles for long ones.
#pragma once

#include <cmath>
#include <complex>
#include <cstdint>
#include <random>
#include <vector>

namespace fftref {

using cd = std::complex<double>;

// sign -1: forward, +1: inverse; no scaling.
inline std::vector<cd> dft(const std::vector<cd>& x, int sign) {
    const std::size_t N = x.size();
    std::vector<cd> X(N);
    for (std::size_t k = 0; k < N; ++k) {
        long double re = 0, im = 0;
        for (std::size_t n = 0; n < N; ++n) {
            const std::size_t m = (n * k) % N;
            const long double a = sign * 2.0L * 3.14159265358979323846264338327950288L * m / N;
            const long double c = std::cos(a), s = std::sin(a);
            re += x[n].real() * c - x[n].imag() * s;
            im += x[n].real() * s + x[n].imag() * c;
        }
        X[k] = cd(static_cast<double>(re), static_cast<double>(im));
    }
    return X;
}

inline std::vector<cd> fft(std::vector<cd> a, int sign) {
    const std::size_t N = a.size();
    if (N <= 64) return dft(a, sign);
    for (std::size_t i = 1, j = 0; i < N; ++i) {
        std::size_t bit = N >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    std::vector<cd> w(N / 2);
    for (std::size_t k = 0; k < N / 2; ++k) {
        const double angle = sign * 2.0 * 3.14159265358979323846 * static_cast<double>(k) / static_cast<double>(N);
        w[k] = cd(std::cos(angle), std::sin(angle));
    }
    for (std::size_t len = 2; len <= N; len <<= 1) {
        const std::size_t step = N / len;
        for (std::size_t i = 0; i < N; i += len) {
            for (std::size_t k = 0; k < len / 2; ++k) {
                const cd u = a[i + k];
                const cd b = a[i + k + len / 2];
                const cd t = w[k * step];
                const cd v(b.real() * t.real() - b.imag() * t.imag(), b.real() * t.imag() + b.imag() * t.real());
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
            }
        }
    }
    return a;
}

// Uniform values in [-1, 1), interleaved as floats.
inline std::vector<float> randomSignal(std::size_t count, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    std::vector<float> v(2 * count);
    for (auto& f : v) f = dist(gen);
    return v;
}

inline std::vector<cd> toComplex(const float* p, std::size_t count) {
    std::vector<cd> v(count);
    for (std::size_t i = 0; i < count; ++i) v[i] = cd(p[2 * i], p[2 * i + 1]);
    return v;
}

// Largest |got - want| over the vector.
inline double maxError(const float* got, const std::vector<cd>& want, double scale = 1.0) {
    double e = 0;
    for (std::size_t i = 0; i < want.size(); ++i) {
        const double d = std::abs(cd(got[2 * i], got[2 * i + 1]) - want[i] * scale);
        if (!(d <= e)) e = d;  // NaN makes the error NaN-large
    }
    return e;
}

// Error allowed for a single-precision transform of `count` points whose
// input has Euclidean norm `norm`, after multiplying by `scale`: a few units
// of single-precision rounding per stage.
inline double tolerance(std::size_t count, double norm, double scale) {
    const double stages = count > 1 ? std::log2(static_cast<double>(count)) : 1.0;
    return 4.0 * 5.96e-8 * stages * norm * scale + 1e-30;
}

inline double norm2(const float* p, std::size_t count) {
    double s = 0;
    for (std::size_t i = 0; i < 2 * count; ++i) s += static_cast<double>(p[i]) * p[i];
    return std::sqrt(s);
}

}  // namespace fftref
