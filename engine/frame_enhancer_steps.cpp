// Pre-filter, confidence weights, registration, the shot check and warping
// onto the output grid: the per-plane steps of the engine's run.
#include <cstring>
#include <limits>

#include "engine/frame_enhancer.h"
#include "engine/shot_check.h"

namespace {

constexpr Vp32f kConfidenceColumnKernel[7] = {0.0923f, 0.1377f, 0.1751f, 0.1897f, 0.1751f, 0.1377f, 0.0923f};
constexpr Vp32f kConfidenceRowKernel[7] = {0.0366f, 0.1113f, 0.2167f, 0.2707f, 0.2167f, 0.1113f, 0.0366f};
constexpr uint8_t kMaskKey = 250;

bool holdsPixels(const Image32f* p)
{
    return p != nullptr && p->data != nullptr && p->width > 0 && p->height > 0;
}

}  // namespace

int FrameEnhancer::prefilterPlane(int kind, const Image8u* plane, Image32f* out)
{
    if (kind == 0 && lumaNoiseMode == 3) {
        gaborBank->firstScale = 0;
        gaborBank->setNoiseLevels(lumaNoiseLevels);
        for (int s = 0; s < 4; ++s) {
            gaborBank->thresholdFactors[s] = lumaThresholdFactors[s];
            gaborBank->boosts[s] = lumaBoosts[s];
            gaborBank->gainFloors[s] = lumaGainFloors[s];
            gaborBank->gainCeilings[s] = lumaGainCeilings[s];
        }
        gaborBank->apply(plane);
        copyImage32f(&gaborBank->result, out);
        return 1;
    }
    const int k = chromaNoiseMode == 12 ? 5 : (chromaNoiseMode == 13 ? 7 : 0);
    const int w = plane->width;
    const int h = plane->height;
    if (k == 0 || w < k || h < k || plane->data == nullptr) {
        convertTo32f(plane, out);
        return 1;
    }
    const int a = k / 2;
    Image8u& filtered = planes_.median;
    filtered.ensureSize(w, h);
    vpiFilterMedian_8u_C1R(plane->at(a, a), plane->step, filtered.at(a, a), filtered.step,
                           MakeVpiSize(w - 2 * a, h - 2 * a), MakeVpiSize(k, k), VpiPoint{a, a});
    copyBorder(plane, &filtered, a, a);
    convertTo32f(&filtered, out);
    return 1;
}

int FrameEnhancer::computeWeightMap(const Image32f* reference, const Image32f* registered, Image32f* confidence)
{
    const int w = reference->width;
    const int h = reference->height;
    if (!holdsPixels(reference) || !holdsPixels(registered) || !holdsPixels(confidence) ||
        registered->width != w || registered->height != h || confidence->width != w || confidence->height != h)
        return 1;
    const VpiSize size = MakeVpiSize(w, h);
    const std::size_t rowBytes = static_cast<std::size_t>(w) * sizeof(Vp32f);
    Image32f& d = planes_.difference;
    d.ensureSize(w, h);
    // d := reference - registered.
    vpiSub_32f_C1R(registered->data, registered->step, reference->data, reference->step, d.data, d.step, size);

    // Vertical blur into the confidence plane; the three lines at the top
    // and at the bottom, which the 7-tap window cannot reach, repeat the
    // nearest blurred line (or keep the difference when no line is blurred).
    if (h >= 7) {
        vpiFilterColumn_32f_C1R(d.row(3), d.step, confidence->row(3), confidence->step, MakeVpiSize(w, h - 6),
                                kConfidenceColumnKernel, 7, 3);
        for (int y = 0; y < 3; ++y) {
            std::memcpy(confidence->row(y), confidence->row(3), rowBytes);
            std::memcpy(confidence->row(h - 1 - y), confidence->row(h - 4), rowBytes);
        }
    } else {
        vpiCopy_32f_C1R(d.data, d.step, confidence->data, confidence->step, size);
    }
    // Horizontal blur back into d; its three outer columns on each side keep
    // the unblurred difference.
    if (w >= 7)
        vpiFilterRow_32f_C1R(confidence->at(3, 0), confidence->step, d.at(3, 0), d.step, MakeVpiSize(w - 6, h),
                             kConfidenceRowKernel, 7, 3);

    vpiAbs_32f_C1R(d.data, d.step, confidence->data, confidence->step, size);
    vpiSubC_32f_C1IR(motionThreshold, confidence->data, confidence->step, size);
    vpiMulC_32f_C1IR(motionSlope, confidence->data, confidence->step, size);
    setImageValue(1.0f, &d);
    vpiSub_32f_C1IR(confidence->data, confidence->step, d.data, d.step, size);
    vpiThreshold_LT_32f_C1R(d.data, d.step, confidence->data, confidence->step, size, 0.0f);
    vpiThreshold_GT_32f_C1IR(confidence->data, confidence->step, size, 1.0f);
    if (w >= 3 && h >= 3)
        vpiErode3x3_32f_C1IR(confidence->at(1, 1), confidence->step, MakeVpiSize(w - 2, h - 2));
    return 1;
}

bool FrameEnhancer::showsReferenceShot(const Image32f* referenceLuma, const Image32f* luma, const MotionModel& model,
                                       bool registered)
{
    const ShotComparison unmoved = compareShotBlocks(*referenceLuma, *luma);
    if (showsSameShot(unmoved, nullptr))
        return true;
    if (!registered)
        return false;
    // The luma as it would reach the grid, at the frame's own scale: NaN where
    // the warp does not reach. The registered plane is free again once the
    // confidence map is made.
    Image32f& warped = planes_.registered;
    warped.ensureSize(luma->width, luma->height);
    setImageValue(std::numeric_limits<float>::quiet_NaN(), &warped);
    warpToOutputGrid(1.0, model, luma, &warped);
    const ShotComparison moved = compareShotBlocks(*referenceLuma, warped);
    return showsSameShot(unmoved, &moved);
}

int FrameEnhancer::buildReferencePyramid(const Image8u* plane)
{
    referenceReady_ = false;
    if (plane->width != referencePyramid.columns || plane->height != referencePyramid.rows ||
        referencePyramid.allocated == 0 || plane->data == nullptr)
        return 1;
    ByteMap& bytes = planes_.registrationBytes;
    copyToByteMap(plane, &bytes);
    if (bytes.data != nullptr)
        referenceReady_ = referencePyramid.build(bytes.data) == 0;
    return 1;
}

int FrameEnhancer::estimateMotion(const Image8u* plane, MotionModel& model)
{
    setIdentity(model);
    // The registration reads whole level-0 planes and masks: only planes of
    // the pyramids' size are registered.
    if (!referenceReady_ || currentPyramid.allocated == 0 || plane->data == nullptr ||
        plane->width != currentPyramid.columns || plane->height != currentPyramid.rows ||
        mask.data == nullptr || mask.rows != plane->height || mask.columns != plane->width)
        return 0;
    ByteMap& bytes = planes_.registrationBytes;
    copyToByteMap(plane, &bytes);
    if (bytes.data == nullptr || currentPyramid.build(bytes.data) != 0)
        return 0;
    return estimator.estimate(currentPyramid, referencePyramid, mask.data, kMaskKey, model) ? 1 : 0;
}

int FrameEnhancer::warpPlaneByModel(const Image8u* plane, const MotionModel& model, Image8u* destination)
{
    const int w = plane->width;
    const int h = plane->height;
    // The warp writes into a zeroed map, as into a new one.
    ByteMap& warped = planes_.warpedBytes;
    if (warped.allocate(h, w))
        std::memset(warped.data, 0, static_cast<std::size_t>(warped.size));
    ByteMap& source = planes_.registrationBytes;
    copyToByteMap(plane, &source);
    bool ok = false;
    if (warped.data != nullptr && source.data != nullptr)
        ok = warper.warpImageByModel(source.data, warped.data, h, w, model);
    if (ok) {
        copyFromByteMap(&warped, destination);
        return 1;
    }
    copyImage8u(plane, destination);
    return 0;
}

int FrameEnhancer::warpToOutputGrid(double s, const MotionModel& model, const Image32f* source,
                                    Image32f* destination)
{
    if (!holdsPixels(source) || !holdsPixels(destination))
        return 1;
    double c[12];
    model.getCoefficients(c);
    const double coeffs[2][3] = {{s * (1.0 + c[2]), s * c[3], s * c[0]}, {s * c[4], s * (1.0 + c[5]), s * c[1]}};
    vpiWarpAffine_32f_C1R(source->data, source->size(), source->step,
                          MakeVpiRect(0, 0, source->width, source->height), destination->data, destination->step,
                          MakeVpiRect(0, 0, destination->width, destination->height), coeffs, VPI_INTER_CUBIC);
    return 1;
}
