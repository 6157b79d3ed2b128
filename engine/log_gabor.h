// Log-Gabor filter bank: estimates the noise of an 8-bit plane per scale and
// denoises planes by shrinking the responses of 4 scales x 8 orientations of
// oriented band-pass filters, tile by tile on a 128 x 128 transform.
#pragma once

#include <cstdint>

#include "engine/image.h"

class LogGaborBank {
public:
    static constexpr int kScales = 4;
    static constexpr int kOrientations = 8;
    static constexpr int kTile = 128;

    LogGaborBank();
    ~LogGaborBank();
    LogGaborBank(const LogGaborBank&) = delete;
    LogGaborBank& operator=(const LogGaborBank&) = delete;

    // tilesCounted, histograms and noiseLevels to 0. Returns 1.
    int resetStatistics();
    // Counts the sampled tiles of the plane into the histograms. Returns 1.
    int estimateNoise(const Image8u* plane);
    // Turns the histograms into noiseLevels; 0 (levels unchanged) when no
    // tile was counted since the reset.
    int finishNoiseEstimate();
    void setNoiseLevels(const float levels[kScales]);
    // Denoises the plane; the result is left in `result`. Returns 1.
    int apply(const Image8u* plane);

    // Internal steps, public for the tests.
    void buildFilters();
    void ensureWorkPlanes(int w, int h);
    void loadPlane(const Image8u* plane);
    void estimateTiles();
    void accumulateTileHistograms(int tileWidth, int tileHeight);
    void filterTiles();
    void filterTile();
    // filterTile with the band sums formed only over the region of the tile
    // (tileSum keeps 0 elsewhere).
    void filterTileRegion(int x0, int y0, int width, int height);
    const Image32f* filter(int scale, int orientation) const { return &filters[scale * kOrientations + orientation]; }

    int tileRows;
    int tileColumns;
    int scaleCount;
    int orientationCount;
    double wavelengthStep;
    double minWavelength;
    double radialSigmaRatio;
    double angularSpreadRatio;
    double filterGain;
    Image32f filters[kScales * kOrientations];
    int tilesCounted;
    float noiseLevels[kScales];
    uint32_t histograms[kScales][256];
    float histogramScale;
    Image32f bordered;
    Image32f lowPass;
    Image32f highPass;
    Image32f result;
    Image64f tileSpatial;
    Image32f tileSum;
    Image64f tileSpectrum;
    Image64f bandSpectrum;
    Image32f bandMagnitude;
    Image32f bandGain;
    int firstScale;
    float thresholdFactors[kScales];
    float boosts[kScales];
    float gainFloors[kScales];
    float gainCeilings[kScales];
    float orientationWeights[kOrientations];
    VpiFFTSpec_C_32fc* fftSpec;
    Vp8u* fftBuffer;
    Image8u histogramTile;

private:
    // Evaluates the 32 filters from the parameters (buildFilters takes them
    // from the previous bank when its parameters were the same).
    void computeFilters();
    void preparePlane(const Image8u* plane);

    int planeWidth_ = 0;
    int planeHeight_ = 0;
};

// The 17-tap Gaussian (sigma 4) low pass of the bank over the bordered plane:
// a column pass into `intermediate`, then a row pass into `lowPass`, over the
// image area and 8 samples beyond it on every side.
void gaussianLowPass17(const Image32f* bordered, Image32f* lowPass, Image32f* intermediate);
