#include "engine/shot_check.h"

#include <algorithm>
#include <cmath>

namespace {

// Side of the blocks whose means are compared: a mean keeps a quarter of the
// pixel noise's deviation, while shapes a few pixels across remain.
constexpr int kBlock = 4;

// Structure (grey levels) below which a picture is flat: a black frame or a
// flat fade has next to none, nor has a flat picture under noise of up to
// about 15 grey levels once the noise's share is taken out (1.2 at most);
// dark textured footage has 3 and more. Against a flat reference only flat
// frames count as its shot.
constexpr double kFlatStructure = 1.5;

// Evidence from which a frame shows the reference's shot: the correlation of
// the block means, weighed by the square root of the share of the reference
// they cover, as the weight of a correlation grows with the square root of the
// blocks behind it (over a small corner, a false motion finds a patch of an
// unrelated picture that matches). Frames of another shot, registered with
// whatever motion the estimate found, reach 0.3 (0.4 on frames as small as
// 64 x 48, where such a motion fits unrelated shapes more easily); frames of
// the same shot 0.47 and more, also under heavy noise, strong compression,
// fades, fast pans the estimate missed, or a large subject that the
// registration followed instead of the background.
constexpr double kSameShotEvidence = 0.4;

constexpr double kBlockArea = kBlock * kBlock;

// Sum of a block's pixels (NaN when one of them is NaN), and the sum of their
// squared deviations from its mean added into `spread`.
double blockSum(const Image32f& p, int x0, int y0, double* spread)
{
    double s = 0.0, q = 0.0;
    for (int y = y0; y < y0 + kBlock; ++y) {
        const Vp32f* row = p.row(y);
        for (int x = x0; x < x0 + kBlock; ++x) {
            s += row[x];
            q += static_cast<double>(row[x]) * row[x];
        }
    }
    if (!std::isnan(s))
        *spread += q - s * s / kBlockArea;
    return s;
}

// Sums over the compared blocks of both planes.
struct BlockSums {
    double n = 0.0;
    double r = 0.0, f = 0.0, rr = 0.0, ff = 0.0, rf = 0.0;
    double spreadR = 0.0, spreadF = 0.0;
};

// Deviation of the block means less the noise in them: pixel noise of
// variance v (the mean variance inside a block) leaves v / 16 in a mean.
double structure(double meanVariance, double spread, double blocks)
{
    const double noise = spread / (blocks * (kBlockArea - 1.0)) / kBlockArea;
    const double v = meanVariance - noise;
    return v > 0.0 ? std::sqrt(v) : 0.0;
}

// How strongly a comparison shows the reference's shot (see
// kSameShotEvidence).
double sameShotEvidence(const ShotComparison& c)
{
    return c.correlation * std::sqrt(c.overlap);
}

}  // namespace

ShotComparison compareShotBlocks(const Image32f& reference, const Image32f& frame)
{
    ShotComparison c;
    const int columns = reference.width / kBlock;
    const int rows = reference.height / kBlock;
    if (reference.data == nullptr || frame.data == nullptr || !frame.sameSize(reference.width, reference.height) ||
        columns <= 0 || rows <= 0)
        return c;
    BlockSums s;
    for (int by = 0; by < rows; ++by)
        for (int bx = 0; bx < columns; ++bx) {
            const double f = blockSum(frame, bx * kBlock, by * kBlock, &s.spreadF) / kBlockArea;
            if (std::isnan(f))
                continue;
            const double r = blockSum(reference, bx * kBlock, by * kBlock, &s.spreadR) / kBlockArea;
            s.n += 1.0;
            s.r += r;
            s.f += f;
            s.rr += r * r;
            s.ff += f * f;
            s.rf += r * f;
        }
    if (s.n == 0.0)
        return c;
    c.overlap = s.n / (static_cast<double>(columns) * rows);
    const double mr = s.r / s.n;
    const double mf = s.f / s.n;
    const double vr = s.rr / s.n - mr * mr;
    const double vf = s.ff / s.n - mf * mf;
    c.referenceStructure = structure(vr, s.spreadR, s.n);
    c.frameStructure = structure(vf, s.spreadF, s.n);
    // A side that is constant up to rounding has no shapes to correlate.
    constexpr double kConstantVariance = 1e-6;
    if (vr > kConstantVariance && vf > kConstantVariance)
        c.correlation = (s.rf / s.n - mr * mf) / std::sqrt(vr * vf);
    return c;
}

bool showsSameShot(const ShotComparison& unmoved, const ShotComparison* registered)
{
    // Planes too small to hold a block give nothing to judge by.
    if (unmoved.overlap == 0.0)
        return true;
    if (unmoved.referenceStructure < kFlatStructure)
        return unmoved.frameStructure < kFlatStructure;
    double evidence = sameShotEvidence(unmoved);
    if (registered != nullptr)
        evidence = std::max(evidence, sameShotEvidence(*registered));
    return evidence >= kSameShotEvidence;
}
