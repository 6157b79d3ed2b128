// Synthetic sequences for the engine's end-to-end tests and benchmark: a
// textured ground truth defined everywhere in the plane, frames that
// integrate it over decimated pixel footprints under known motions, with
// optional noise, and the PSNR of a result plane against the truth.
#pragma once

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "engine/image.h"

namespace synthetic {

// Grey texture over ground-truth coordinates (u, v): oriented gratings of
// several frequencies, soft blobs and a few sharp-edged bars, in 25..230.
inline double texture(double u, double v)
{
    double s = 128.0;
    // Products of gratings and a lattice of soft spots: no direction along
    // which the whole picture is invariant.
    s += 22.0 * std::sin(0.061 * u + 0.4) * std::cos(0.047 * v - 0.3);
    s += 10.0 * std::sin(0.23 * u) * std::sin(0.17 * v + 1.1);
    s += 18.0 * std::sin(0.19 * u - 0.13 * v + 1.0);
    s += 14.0 * std::sin(0.07 * u + 0.41 * v + 2.0);
    s += 10.0 * std::sin(0.52 * u + 0.21 * v + 0.5);
    s += 8.0 * std::sin(-0.33 * u + 0.66 * v + 0.3);
    // Above the frames' Nyquist limit at decimation 2: aliased in every
    // frame, recoverable only from several sub-pixel shifted frames.
    s += 12.0 * std::sin(1.55 * u + 0.9 * v + 0.7);
    s += 30.0 * std::exp(-((u - 60.0) * (u - 60.0) + (v - 50.0) * (v - 50.0)) / 300.0);
    s -= 30.0 * std::exp(-((u - 130.0) * (u - 130.0) + (v - 110.0) * (v - 110.0)) / 200.0);
    const double su = std::fmod(u + 10000.0, 83.0) - 41.5;
    const double sv = std::fmod(v + 10000.0, 71.0) - 35.5;
    s += 16.0 * std::exp(-(su * su + sv * sv) / 90.0);
    // Sharp-edged bars every 37 units.
    const double bar = std::fmod(u + 0.5 * v + 1000.0, 37.0);
    s += bar < 6.0 ? 12.0 : 0.0;
    if (s < 25.0)
        s = 25.0;
    if (s > 230.0)
        s = 230.0;
    return s;
}

// Motion of one frame: the frame's pixel footprint centres are
// (a*x + b*y + dx, c*x + d*y + dy) in ground-truth units, with x, y the
// reference footprint centres (decimation included in a..d).
struct Motion {
    double dx = 0.0;
    double dy = 0.0;
    double rotation = 0.0;  // radians
    double zoom = 1.0;
};

struct SequenceSpec {
    int width = 96;
    int height = 80;
    double decimation = 2.0;   // ground-truth units per frame pixel
    double noiseSigma = 0.0;   // grey levels, Gaussian
    uint32_t seed = 1;
};

// Mean of the texture over the square footprint of side `side` centred at
// (u, v), sampled on a 4 x 4 grid.
inline double footprint(double u, double v, double side)
{
    double sum = 0.0;
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i)
            sum += texture(u + side * ((i + 0.5) / 4.0 - 0.5), v + side * ((j + 0.5) / 4.0 - 0.5));
    return sum / 16.0;
}

// Ground-truth position of frame pixel (x, y) under a motion about the
// frame centre.
inline void framePosition(const SequenceSpec& spec, const Motion& m, double x, double y, double& u, double& v)
{
    const double cx = spec.width * 0.5;
    const double cy = spec.height * 0.5;
    const double px = (x - cx) * spec.decimation;
    const double py = (y - cy) * spec.decimation;
    const double cr = std::cos(m.rotation) * m.zoom;
    const double sr = std::sin(m.rotation) * m.zoom;
    u = cx * spec.decimation + cr * px - sr * py + m.dx * spec.decimation + 40.0;
    v = cy * spec.decimation + sr * px + cr * py + m.dy * spec.decimation + 30.0;
}

// One grey frame (blue, green, red equal) of the sequence, rounded to bytes.
inline void renderFrame(const SequenceSpec& spec, const Motion& m, uint32_t noiseSeed, Image8uC3* frame)
{
    frame->reallocate(spec.width, spec.height);
    std::mt19937 rng(noiseSeed);
    std::normal_distribution<double> noise(0.0, spec.noiseSigma > 0.0 ? spec.noiseSigma : 1.0);
    for (int y = 0; y < spec.height; ++y) {
        Vp8u* row = frame->row(y);
        for (int x = 0; x < spec.width; ++x) {
            double u, v;
            framePosition(spec, m, x, y, u, v);
            double g = footprint(u, v, spec.decimation);
            if (spec.noiseSigma > 0.0)
                g += noise(rng);
            const long q = std::lround(g);
            const Vp8u b = static_cast<Vp8u>(q < 0 ? 0 : (q > 255 ? 255 : q));
            row[3 * x] = b;
            row[3 * x + 1] = b;
            row[3 * x + 2] = b;
        }
    }
}

// The truth seen by the reference frame, rendered on an output grid of
// trunc(scale*width) x trunc(scale*height) pixels with the frames' own
// footprint (the camera's integration is not undone by the engine).
inline std::vector<double> renderTruth(const SequenceSpec& spec, double scale, int gridW, int gridH)
{
    std::vector<double> t(static_cast<std::size_t>(gridW) * gridH);
    const Motion none;
    for (int y = 0; y < gridH; ++y)
        for (int x = 0; x < gridW; ++x) {
            double u, v;
            framePosition(spec, none, x / scale, y / scale, u, v);
            t[static_cast<std::size_t>(y) * gridW + x] = footprint(u, v, spec.decimation);
        }
    return t;
}

// PSNR of a plane against the truth over the region `margin` pixels in from
// every edge.
inline double psnr(const Image32f& plane, const std::vector<double>& truth, int margin)
{
    double se = 0.0;
    long n = 0;
    for (int y = margin; y < plane.height - margin; ++y)
        for (int x = margin; x < plane.width - margin; ++x) {
            const double d = plane.row(y)[x] - truth[static_cast<std::size_t>(y) * plane.width + x];
            se += d * d;
            ++n;
        }
    if (n == 0)
        return 0.0;
    const double mse = se / n;
    return mse <= 0.0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

// Motions of a run of up to 9 frames around the reference (index count/2):
// sub-pixel shifts with a slight rotation and zoom.
inline Motion runMotion(int index, int count)
{
    static const double shifts[9][2] = {{-1.37, 0.81}, {0.52, -1.29}, {-0.26, 0.47}, {1.18, 0.33}, {0.0, 0.0},
                                        {-0.71, -0.58}, {0.39, 1.12}, {1.46, -0.83}, {-1.08, -1.41}};
    const int centre = count / 2;
    const int k = index - centre + 4;
    Motion m;
    if (k == 4)
        return m;
    m.dx = shifts[k][0];
    m.dy = shifts[k][1];
    m.rotation = 0.004 * (k - 4);
    m.zoom = 1.0 + 0.002 * (k % 3 - 1);
    return m;
}

}  // namespace synthetic
