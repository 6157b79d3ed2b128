// The engine of one capture request: pre-filters the stored frames, rebuilds
// full frames from fields, registers every other field onto the reference,
// leaves out fields of another shot, weights each registered pixel by its
// agreement with the reference and forms the weighted mean of all frames on an
// enlarged output grid.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/frame_store.h"
#include "engine/image.h"
#include "engine/log_gabor.h"
#include "engine/run_planes.h"
#include "registration/registration.h"

class FrameEnhancer {
public:
    // scale: enlargement of the output grid; the accumulators are
    // trunc(scale*width) x trunc(scale*height).
    FrameEnhancer(int width, int height, int frameCount, int interlaced, double scale);
    ~FrameEnhancer();
    FrameEnhancer(const FrameEnhancer&) = delete;
    FrameEnhancer& operator=(const FrameEnhancer&) = delete;

    // Records the reference slot and, when lumaNoiseMode is 3, estimates the
    // luma noise levels of its first field. Returns 1.
    int estimateNoise(int referenceSlot);
    // Fills accumY, accumU, accumV. Returns 1.
    int run();
    // Registers one field and adds it, weighted, into the accumulators and
    // the weight sum, unless it shows another shot than the reference
    // (shot_check.h). Returns 1.
    int processFrame(int slot, int parity, const Image32f* referenceLuma, Image32f* sumY, Image32f* sumU,
                     Image32f* sumV, Image32f* weightSum);

    // Rebuilds full-height planes (w x 2f) from the fields (w x f) of one
    // parity by line averaging. Returns 1.
    static int deinterlaceField(int parity, const Image32f* fieldY, const Image32f* fieldU, const Image32f* fieldV,
                                Image32f* outY, Image32f* outU, Image32f* outV);

    // Pre-filter of one plane: kind 0 luma, 1 chroma. Returns 1.
    int prefilterPlane(int kind, const Image8u* plane, Image32f* out);
    // Confidence of every pixel of the registered luma against the reference
    // (0..1) into `confidence` (sized by the caller). Returns 1.
    int computeWeightMap(const Image32f* reference, const Image32f* registered, Image32f* confidence);

    int buildReferencePyramid(const Image8u* plane);
    // Estimates the motion of the plane against the reference pyramid; the
    // model is the identity unless the estimate succeeds. 1 on success.
    int estimateMotion(const Image8u* plane, MotionModel& model);
    // The plane warped onto the reference (1), or copied unwarped when the
    // warp refuses the model (0).
    int warpPlaneByModel(const Image8u* plane, const MotionModel& model, Image8u* destination);
    // The source resampled (cubic) onto the destination grid with the affine
    // part of the model scaled by `scale`; pixels outside the image of the
    // source keep their values. Returns 1.
    static int warpToOutputGrid(double scale, const MotionModel& model, const Image32f* source,
                                Image32f* destination);
    // sum += plane * weight for the three planes and weightSum += weight, at
    // every pixel whose weight is above 0 and whose planes were written (not
    // NaN); weights above 1 count as 1. All planes of one size.
    static void accumulateWeighted(const Image32f* y, const Image32f* u, const Image32f* v, const Image32f* weight,
                                   Image32f* sumY, Image32f* sumU, Image32f* sumV, Image32f* weightSum);
    // Type 14, centre (0, 0), no brightness offset, all coefficients 0.
    static void setIdentity(MotionModel& model);

    ProgressCallback progressCallback;
    int32_t fieldsDone;
    // Fields of other frames (and the reference's second field) that the last
    // run added into the accumulators; the others showed another shot.
    int32_t fieldsAdded;
    int32_t singleFrame;
    std::unique_ptr<FrameStore> frameStore;
    int32_t referenceIndex;
    std::unique_ptr<LogGaborBank> gaborBank;
    float lumaNoiseLevels[4];
    double scale;
    std::unique_ptr<Image32f> accumY;
    std::unique_ptr<Image32f> accumU;
    std::unique_ptr<Image32f> accumV;
    int32_t chromaNoiseMode;
    int32_t lumaNoiseMode;
    float lumaThresholdFactors[4];
    float lumaBoosts[4];
    float lumaGainFloors[4];
    float lumaGainCeilings[4];
    float motionThreshold;
    float motionSlope;
    MotionEstimator estimator;
    ImagePyramid currentPyramid;
    ImagePyramid referencePyramid;
    ModelWarper warper;
    ByteMap mask;

private:
    void progress(int percent);
    // Extracts the slot's three planes with the given parity and pre-filters
    // them; when the store is interlaced the fields are rebuilt into full
    // planes. Reports progress after the luma pre-filter.
    void preparePlanes(int slot, int parity, Image32f* y, Image32f* u, Image32f* v, int progressAfterLuma);
    // Whether a field's pre-filtered luma shows the reference's shot, compared
    // unmoved and, when its estimate succeeded, warped by its model.
    bool showsReferenceShot(const Image32f* referenceLuma, const Image32f* luma, const MotionModel& model,
                            bool registered);
    // Lines of the planes inside the run: the frame height, or both fields'
    // lines when the store is interlaced.
    int runRows() const;

    // Work planes of the run, kept across its frames.
    RunPlanes planes_;
    int gridWidth_ = 0;
    int gridHeight_ = 0;
    bool referenceReady_ = false;
};
