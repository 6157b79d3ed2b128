#include "engine/frame_enhancer.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "engine/kept_planes.h"

namespace {

constexpr float kOrientationWeightsInterlaced[8] = {1.0f, 0.9f, 0.7f, 0.6f, 0.5f, 0.6f, 0.7f, 0.9f};

}  // namespace

FrameEnhancer::FrameEnhancer(int width, int height, int frameCount, int interlaced, double enlargement)
    : progressCallback(DoNothing), fieldsDone(0), fieldsAdded(0), singleFrame(0), referenceIndex(0), lumaNoiseLevels{},
      scale(enlargement), chromaNoiseMode(11), lumaNoiseMode(3), motionThreshold(1.5f), motionSlope(0.1f)
{
    for (int s = 0; s < 4; ++s) {
        lumaThresholdFactors[s] = 1.0f;
        lumaBoosts[s] = 1.0f;
        lumaGainFloors[s] = 0.1f;
        lumaGainCeilings[s] = 1.0f;
    }
    frameStore = std::make_unique<FrameStore>(width, height, frameCount, interlaced);
    gaborBank = std::make_unique<LogGaborBank>();
    if (interlaced != 0)
        for (int o = 0; o < 8; ++o)
            gaborBank->orientationWeights[o] = kOrientationWeightsInterlaced[o];
    gridWidth_ = scaledExtent(width, scale);
    gridHeight_ = scaledExtent(height, scale);
    // Before the first plane: large blocks kept for another grid size go back
    // to the system, those of this size serve the run again.
    startCapturePlanes(gridWidth_, gridHeight_);
    accumY = std::make_unique<Image32f>();
    accumU = std::make_unique<Image32f>();
    accumV = std::make_unique<Image32f>();
    accumY->allocate(gridWidth_, gridHeight_);
    accumU->allocate(gridWidth_, gridHeight_);
    accumV->allocate(gridWidth_, gridHeight_);
    setImageValue(0.0f, accumY.get());
    setImageValue(0.0f, accumU.get());
    setImageValue(0.0f, accumV.get());
    // The registration sees the planes of the run, which lose the odd last
    // line of an interlaced frame.
    const int rows = runRows();
    referencePyramid.allocate(rows, width, 4);
    currentPyramid.allocate(rows, width, 4);
    if (mask.allocate(rows, width))
        std::memset(mask.data, 250, static_cast<std::size_t>(mask.size));
}

FrameEnhancer::~FrameEnhancer()
{
    accumY.reset();
    accumU.reset();
    accumV.reset();
    frameStore.reset();
    gaborBank.reset();
    mask.free();
    // warper, referencePyramid, currentPyramid and estimator follow as
    // members, in that order.
}

int FrameEnhancer::runRows() const
{
    return frameStore->mode != 0 ? 2 * frameStore->halfHeight : frameStore->height;
}

void FrameEnhancer::progress(int percent)
{
    if (progressCallback != nullptr)
        progressCallback(percent);
}

void FrameEnhancer::setIdentity(MotionModel& model)
{
    model.setType(14);
    model.setCentre(0.0, 0.0);
    model.setOffset(0, 0.0);
    model.zeroCoefficients();
}

int FrameEnhancer::estimateNoise(int referenceSlot)
{
    referenceIndex = referenceSlot;
    if (lumaNoiseMode == 3 && frameStore->hasFrame(referenceSlot)) {
        gaborBank->resetStatistics();
        Image8u& plane = planes_.extracted;
        frameStore->extractPlane(frameStore->yPlanes[static_cast<std::size_t>(referenceSlot)].get(), 0, &plane);
        gaborBank->estimateNoise(&plane);
        gaborBank->finishNoiseEstimate();
        for (int s = 0; s < gaborBank->scaleCount && s < 4; ++s)
            lumaNoiseLevels[s] = gaborBank->noiseLevels[s];
    }
    return 1;
}

int FrameEnhancer::deinterlaceField(int parity, const Image32f* fieldY, const Image32f* fieldU,
                                    const Image32f* fieldV, Image32f* outY, Image32f* outU, Image32f* outV)
{
    const int p = parity != 0 ? 1 : 0;
    const Image32f* fields[3] = {fieldY, fieldU, fieldV};
    Image32f* outs[3] = {outY, outU, outV};
    for (int k = 0; k < 3; ++k) {
        const Image32f* f = fields[k];
        Image32f* o = outs[k];
        const int w = f->width;
        const int lines = f->height;
        o->ensureSize(w, 2 * lines);
        if (f->data == nullptr || o->data == nullptr || w <= 0 || lines <= 0)
            continue;
        const std::size_t bytes = static_cast<std::size_t>(w) * sizeof(Vp32f);
        for (int i = 0; i < lines; ++i)
            std::memcpy(o->row(p + 2 * i), f->row(i), bytes);
        for (int i = 0; i + 1 < lines; ++i) {
            const Vp32f* a = f->row(i);
            const Vp32f* b = f->row(i + 1);
            Vp32f* d = o->row(p + 2 * i + 1);
            for (int x = 0; x < w; ++x)
                d[x] = (a[x] + b[x]) * 0.5f;
        }
        if (p == 1)
            std::memcpy(o->row(0), f->row(0), bytes);
        else
            std::memcpy(o->row(2 * lines - 1), f->row(lines - 1), bytes);
    }
    return 1;
}

void FrameEnhancer::preparePlanes(int slot, int parity, Image32f* y, Image32f* u, Image32f* v,
                                  int progressAfterLuma)
{
    const std::size_t i = static_cast<std::size_t>(slot);
    const bool fields = frameStore->mode != 0;
    Image8u& plane = planes_.extracted;
    Image32f& fy = planes_.fieldY;
    Image32f& fu = planes_.fieldU;
    Image32f& fv = planes_.fieldV;
    frameStore->extractPlane(frameStore->yPlanes[i].get(), parity, &plane);
    prefilterPlane(0, &plane, fields ? &fy : y);
    if (progressAfterLuma >= 0)
        progress(progressAfterLuma);
    frameStore->extractPlane(frameStore->uPlanes[i].get(), parity, &plane);
    prefilterPlane(1, &plane, fields ? &fu : u);
    frameStore->extractPlane(frameStore->vPlanes[i].get(), parity, &plane);
    prefilterPlane(1, &plane, fields ? &fv : v);
    if (fields)
        deinterlaceField(parity, &fy, &fu, &fv, y, u, v);
}

int FrameEnhancer::run()
{
    const int n = frameStore->frameCount;
    const int r = referenceIndex;
    const bool interlaced = frameStore->mode != 0;
    progress(1);
    fieldsAdded = 0;
    setImageValue(0.0f, accumY.get());
    setImageValue(0.0f, accumU.get());
    setImageValue(0.0f, accumV.get());
    if (n <= 0 || !frameStore->hasFrame(r)) {
        // Without a stored reference there is nothing to enhance: the result
        // stays black.
        fieldsDone = 2 * (n > 0 ? n : 0);
        progress(100);
        return 1;
    }

    Image32f& yr = planes_.referenceY;
    Image32f& ur = planes_.referenceU;
    Image32f& vr = planes_.referenceV;
    preparePlanes(r, 0, &yr, &ur, &vr, -1);
    fieldsDone = 1;
    progress(50 / n);

    MotionModel identity;
    setIdentity(identity);
    warpToOutputGrid(scale, identity, &yr, accumY.get());
    warpToOutputGrid(scale, identity, &ur, accumU.get());
    warpToOutputGrid(scale, identity, &vr, accumV.get());

    if (singleFrame == 0) {
        Image32f& weightSum = planes_.weightSum;
        weightSum.ensureSize(gridWidth_, gridHeight_);
        setImageValue(1.0f, &weightSum);
        convertTo8u(&yr, &planes_.luma8);
        buildReferencePyramid(&planes_.luma8);
        auto slotDone = [&]() {
            ++fieldsDone;
            progress(fieldsDone * 50 / n);
        };
        for (int i = r - 1; i >= 0; --i) {
            if (interlaced)
                processFrame(i, 1, &yr, accumY.get(), accumU.get(), accumV.get(), &weightSum);
            slotDone();
            processFrame(i, 0, &yr, accumY.get(), accumU.get(), accumV.get(), &weightSum);
            slotDone();
        }
        if (interlaced)
            processFrame(r, 1, &yr, accumY.get(), accumU.get(), accumV.get(), &weightSum);
        slotDone();
        for (int i = r + 1; i < n; ++i) {
            processFrame(i, 0, &yr, accumY.get(), accumU.get(), accumV.get(), &weightSum);
            slotDone();
            if (interlaced)
                processFrame(i, 1, &yr, accumY.get(), accumU.get(), accumV.get(), &weightSum);
            slotDone();
        }
        // With no field added the weight sum is 1 everywhere: the result is
        // the reference as it stands, as a single-frame run gives it.
        if (fieldsAdded > 0 && weightSum.data != nullptr) {
            vpiDiv_32f_C1IR(weightSum.data, weightSum.step, accumY->data, accumY->step, weightSum.size());
            vpiDiv_32f_C1IR(weightSum.data, weightSum.step, accumU->data, accumU->step, weightSum.size());
            vpiDiv_32f_C1IR(weightSum.data, weightSum.step, accumV->data, accumV->step, weightSum.size());
        }
        referenceReady_ = false;
    }
    progress(100);
    return 1;
}

int FrameEnhancer::processFrame(int slot, int parity, const Image32f* referenceLuma, Image32f* sumY,
                                Image32f* sumU, Image32f* sumV, Image32f* weightSum)
{
    if (!frameStore->hasFrame(slot))
        return 1;
    const int n = frameStore->frameCount;
    const int base = fieldsDone * 50 / n;

    // The pre-filtered planes reach the grid before any 8-bit step.
    Image32f& py = planes_.frameY;
    Image32f& pu = planes_.frameU;
    Image32f& pv = planes_.frameV;
    preparePlanes(slot, parity, &py, &pu, &pv, base + 10 / n);
    progress(base + 20 / n);

    MotionModel model;
    Image8u& luma8 = planes_.luma8;
    convertTo8u(&py, &luma8);
    const int ok = estimateMotion(&luma8, model);
    progress(base + 30 / n);

    // Only the registered luma is needed (for the confidence map); the
    // registered chroma would not be used.
    Image32f& registered = planes_.registered;
    const Image32f* registeredLuma = &py;
    if (ok) {
        Image8u& warped8 = planes_.registered8;
        warpPlaneByModel(&luma8, model, &warped8);
        convertTo32f(&warped8, &registered);
        registeredLuma = &registered;
    }
    progress(base + 40 / n);

    Image32f& confidence = planes_.confidence;
    confidence.ensureSize(py.width, py.height);
    computeWeightMap(referenceLuma, registeredLuma, &confidence);
    progress(base + 45 / n);

    if (!showsReferenceShot(referenceLuma, &py, model, ok != 0))
        return 1;
    ++fieldsAdded;

    // Grid planes of the frame start as NaN, so that pixels its warp does not
    // reach are known and get no weight; the warped confidence starts at 0.
    const float unset = std::numeric_limits<float>::quiet_NaN();
    Image32f& oy = planes_.gridY;
    Image32f& ou = planes_.gridU;
    Image32f& ov = planes_.gridV;
    Image32f& om = planes_.gridWeight;
    oy.ensureSize(gridWidth_, gridHeight_);
    ou.ensureSize(gridWidth_, gridHeight_);
    ov.ensureSize(gridWidth_, gridHeight_);
    om.ensureSize(gridWidth_, gridHeight_);
    setImageValue(unset, &oy);
    setImageValue(unset, &ou);
    setImageValue(unset, &ov);
    setImageValue(0.0f, &om);
    warpToOutputGrid(scale, model, &py, &oy);
    warpToOutputGrid(scale, model, &pu, &ou);
    warpToOutputGrid(scale, model, &pv, &ov);
    setIdentity(model);
    warpToOutputGrid(scale, model, &confidence, &om);

    accumulateWeighted(&oy, &ou, &ov, &om, sumY, sumU, sumV, weightSum);
    return 1;
}

void FrameEnhancer::accumulateWeighted(const Image32f* y, const Image32f* u, const Image32f* v,
                                       const Image32f* weight, Image32f* sumY, Image32f* sumU, Image32f* sumV,
                                       Image32f* weightSum)
{
    const Image32f* all[8] = {y, u, v, weight, sumY, sumU, sumV, weightSum};
    for (const Image32f* p : all)
        if (p->data == nullptr || !p->sameSize(weight->width, weight->height))
            return;
    for (int r = 0; r < weight->height; ++r) {
        const Vp32f* a = y->row(r);
        const Vp32f* b = u->row(r);
        const Vp32f* c = v->row(r);
        const Vp32f* w = weight->row(r);
        Vp32f* sy = sumY->row(r);
        Vp32f* su = sumU->row(r);
        Vp32f* sv = sumV->row(r);
        Vp32f* ss = weightSum->row(r);
        for (int x = 0; x < weight->width; ++x) {
            float k = w[x];
            if (!(k > 0.0f) || std::isnan(a[x]) || std::isnan(b[x]) || std::isnan(c[x]))
                continue;
            if (k > 1.0f)
                k = 1.0f;
            sy[x] += a[x] * k;
            su[x] += b[x] * k;
            sv[x] += c[x] * k;
            ss[x] += k;
        }
    }
}
