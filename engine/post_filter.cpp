#include "engine/post_filter.h"

#include <cmath>
#include <cstring>

namespace {

constexpr Vp32f kSigma10[7] = {0.0044f, 0.0540f, 0.2420f, 0.3991f, 0.2420f, 0.0540f, 0.0044f};
constexpr Vp32f kSigma12[7] = {0.0146f, 0.0831f, 0.2356f, 0.3333f, 0.2356f, 0.0831f, 0.0146f};
constexpr Vp32f kSigma15[7] = {0.0366f, 0.1113f, 0.2167f, 0.2707f, 0.2167f, 0.1113f, 0.0366f};
constexpr Vp32f kSigma19[7] = {0.0644f, 0.1287f, 0.1950f, 0.2239f, 0.1950f, 0.1287f, 0.0644f};
constexpr Vp32f kSigma25[7] = {0.0923f, 0.1377f, 0.1751f, 0.1897f, 0.1751f, 0.1377f, 0.0923f};

bool nearOne(double f) { return std::fabs(f - 1.0) <= 0.0001; }

// Rows 0..2 and the last three repeat rows 3 and height-4.
void replicateOuterRows(Image32f& p)
{
    const std::size_t bytes = static_cast<std::size_t>(p.width) * sizeof(Vp32f);
    for (int y = 0; y < 3; ++y) {
        std::memcpy(p.row(y), p.row(3), bytes);
        std::memcpy(p.row(p.height - 1 - y), p.row(p.height - 4), bytes);
    }
}

// Columns 0..2 and the last three repeat columns 3 and width-4.
void replicateOuterColumns(Image32f& p)
{
    for (int y = 0; y < p.height; ++y) {
        Vp32f* r = p.row(y);
        for (int x = 0; x < 3; ++x) {
            r[x] = r[3];
            r[p.width - 1 - x] = r[p.width - 4];
        }
    }
}

// The outermost ring repeats the nearest pixel one step inside.
void replicateRing(Image32f& p)
{
    const int w = p.width;
    const int h = p.height;
    for (int y = 1; y < h - 1; ++y) {
        Vp32f* r = p.row(y);
        r[0] = r[1];
        r[w - 1] = r[w - 2];
    }
    const std::size_t bytes = static_cast<std::size_t>(w) * sizeof(Vp32f);
    std::memcpy(p.row(0), p.row(1), bytes);
    std::memcpy(p.row(h - 1), p.row(h - 2), bytes);
}

}  // namespace

const Vp32f* PlanePostFilter::baseKernel(int index)
{
    switch (index) {
    case 1:
        return kSigma10;
    case 3:
        return kSigma15;
    case 4:
        return kSigma19;
    default:
        return kSigma12;
    }
}

const Vp32f* PlanePostFilter::rangeKernel() { return kSigma25; }

PlanePostFilter::PlanePostFilter(int index, float minRange, double sx, double sy)
    : kernelIndex(index), minimumRange(minRange < 0.0001f || std::isnan(minRange) ? 0.0001f : minRange),
      scaleX(sx), scaleY(sy), amount(0.0f), width(0), height(0)
{
}

PlanePostFilter::~PlanePostFilter() = default;

int PlanePostFilter::prepare(const Image32f* source, Image32f* out)
{
    const int sw = source->width;
    const int sh = source->height;
    Image32f resized;
    if (nearOne(scaleX) && nearOne(scaleY)) {
        width = sw;
        height = sh;
        copyImage32f(source, &resized);
    } else {
        width = scaledExtent(sw, scaleX);
        height = scaledExtent(sh, scaleY);
        resized.allocate(width, height);
        if (resized.data != nullptr && source->data != nullptr && sw > 0 && sh > 0) {
            setImageValue(0.0f, &resized);
            vpiResize_32f_C1R(source->data, source->size(), source->step, MakeVpiRect(0, 0, sw, sh), resized.data,
                              resized.step, resized.size(), scaleX, scaleY, VPI_INTER_CUBIC);
        }
    }
    const int w = width;
    const int h = height;
    out->ensureSize(w, h);
    base.ensureSize(w, h);
    detail.ensureSize(w, h);
    detailWeight.ensureSize(w, h);
    if (resized.data == nullptr || w <= 0 || h <= 0)
        return render(out);
    const VpiSize size = MakeVpiSize(w, h);

    if (w < 7 || h < 7) {
        // Too small for the 7-tap passes: no sharpening, the plane as it is.
        copyImage32f(&resized, &base);
        setImageValue(0.0f, &detail);
        setImageValue(0.0f, &detailWeight);
        return render(out);
    }

    const Vp32f* k = baseKernel(kernelIndex);
    vpiFilterColumn_32f_C1R(resized.row(3), resized.step, out->row(3), out->step, MakeVpiSize(w, h - 6), k, 7, 3);
    replicateOuterRows(*out);
    vpiFilterRow_32f_C1R(out->at(3, 0), out->step, base.at(3, 0), base.step, MakeVpiSize(w - 6, h), k, 7, 3);
    replicateOuterColumns(base);
    vpiSub_32f_C1R(base.data, base.step, resized.data, resized.step, detail.data, detail.step, size);

    Image32f localMax, localMin, range;
    localMax.allocate(w, h);
    localMin.allocate(w, h);
    range.allocate(w, h);
    const VpiSize inner = MakeVpiSize(w - 2, h - 2);
    vpiDilate3x3_32f_C1R(resized.at(1, 1), resized.step, localMax.at(1, 1), localMax.step, inner);
    vpiErode3x3_32f_C1R(resized.at(1, 1), resized.step, localMin.at(1, 1), localMin.step, inner);
    replicateRing(localMax);
    replicateRing(localMin);
    vpiSub_32f_C1R(localMin.data, localMin.step, localMax.data, localMax.step, range.data, range.step, size);

    const Vp32f* kr = rangeKernel();
    vpiFilterColumn_32f_C1R(range.row(3), range.step, out->row(3), out->step, MakeVpiSize(w, h - 6), kr, 7, 3);
    replicateOuterRows(*out);
    vpiFilterRow_32f_C1R(out->at(3, 0), out->step, range.at(3, 0), range.step, MakeVpiSize(w - 6, h), kr, 7, 3);

    // max - v and v - min; the weight is the smaller one over the blurred range.
    vpiSub_32f_C1IR(resized.data, resized.step, localMax.data, localMax.step, size);
    vpiSub_32f_C1IR(localMin.data, localMin.step, resized.data, resized.step, size);
    for (int y = 0; y < h; ++y) {
        const Vp32f* above = localMax.row(y);
        const Vp32f* below = resized.row(y);
        Vp32f* d = detailWeight.row(y);
        for (int x = 0; x < w; ++x)
            d[x] = above[x] < below[x] ? above[x] : below[x];
    }
    vpiAddC_32f_C1IR(minimumRange, range.data, range.step, size);
    vpiDiv_32f_C1IR(range.data, range.step, detailWeight.data, detailWeight.step, size);
    return render(out);
}

int PlanePostFilter::render(Image32f* out)
{
    out->ensureSize(width, height);
    if (out->data == nullptr || detailWeight.data == nullptr || !detailWeight.sameSize(width, height) ||
        width <= 0 || height <= 0)
        return 1;
    const VpiSize size = MakeVpiSize(width, height);
    vpiMulC_32f_C1R(detailWeight.data, detailWeight.step, amount, out->data, out->step, size);
    vpiAddC_32f_C1IR(1.0f, out->data, out->step, size);
    vpiMul_32f_C1IR(detail.data, detail.step, out->data, out->step, size);
    vpiAdd_32f_C1IR(base.data, base.step, out->data, out->step, size);
    return 1;
}
