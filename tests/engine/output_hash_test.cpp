// The engine's pictures pinned bit for bit: whole runs over synthetic
// sequences, their post-filters and the composed picture, each reduced to one
// 64-bit hash of its pixel bytes. Every run is done twice in one process, so a
// second capture that reuses planes of the first must give the same bits.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "engine/composition.h"
#include "engine/post_filter.h"
#include "tests/engine/engine_presets.h"

namespace {

// FNV-1a over the pixel bytes of every row (row padding excluded).
struct Hash {
    uint64_t h = 1469598103934665603ull;
    void add(const void* bytes, std::size_t n)
    {
        const auto* p = static_cast<const unsigned char*>(bytes);
        for (std::size_t i = 0; i < n; ++i) {
            h ^= p[i];
            h *= 1099511628211ull;
        }
    }
    template <typename Record>
    void addRecord(const Record& r, int bytesPerPixel)
    {
        add(&r.width, sizeof r.width);
        add(&r.height, sizeof r.height);
        if (r.data == nullptr)
            return;
        for (int y = 0; y < r.height; ++y)
            add(r.row(y), static_cast<std::size_t>(r.width) * static_cast<std::size_t>(bytesPerPixel));
    }
};

struct Case {
    const char* name;
    int width, height, frames, noiseReduction, interlaced;
    double scale;
    uint64_t engine;    // the three accumulators
    uint64_t picture;   // post-filtered, composed picture
};

// Hashes of the accumulators, and of the picture the capture makes from them:
// post-filters with the 720x576 pixel ratio, sharpening 3 (4.5 on chroma),
// a crop of 3 frame pixels and a contrast and saturation other than 1.
void hashRun(const Case& c, uint64_t* engineHash, uint64_t* pictureHash)
{
    synthetic::SequenceSpec spec;
    spec.width = c.width;
    spec.height = c.height;
    spec.decimation = c.scale;
    spec.noiseSigma = 3.0;
    spec.seed = 5;
    presets::RunOptions o;
    o.frames = c.frames;
    o.scale = c.scale;
    o.noiseReduction = c.noiseReduction;
    o.interlaced = c.interlaced;
    auto e = presets::runMoving(spec, o);
    Hash he;
    he.addRecord(*e->accumY, 4);
    he.addRecord(*e->accumU, 4);
    he.addRecord(*e->accumV, 4);
    *engineHash = he.h;

    PlanePostFilter fy(2, 1.0f, 1.067, 1.0), fu(4, 2.0f, 1.067, 1.0), fv(4, 2.0f, 1.067, 1.0);
    fy.amount = 3.0f;
    fu.amount = fv.amount = 4.5f;
    Image32f y, u, v;
    fy.prepare(e->accumY.get(), &y);
    fu.prepare(e->accumU.get(), &u);
    fv.prepare(e->accumV.get(), &v);
    OutputSettings s;
    const int border = static_cast<int>(3 * c.scale);
    s.crop = VpiRect{border, border, fy.width - 2 * border, fy.height - 2 * border};
    s.contrast = 1.2f;
    s.brightness = -10.0f;
    s.saturation = 1.3f;
    Image8uC3 picture;
    composeOutputImage(&s, &y, &u, &v, &picture);
    Hash hp;
    hp.addRecord(y, 4);
    hp.addRecord(u, 4);
    hp.addRecord(v, 4);
    hp.addRecord(picture, 3);
    *pictureHash = hp.h;
}

const Case kCases[] = {
    {"none 2x", 160, 120, 9, 0, 0, 2.0, 0x19f5987b3e53d29aull, 0x83ac55ac33219c21ull},
    {"low 2x", 160, 120, 9, 1, 0, 2.0, 0x2fd62bcc9801a3f9ull, 0x145e7d3ceeec0ae3ull},
    {"med 1.5x", 150, 110, 5, 2, 0, 1.5, 0x2d7acdd5eefb6d06ull, 0xac668a0775a97e5bull},
    {"high 2.5x", 130, 100, 5, 3, 0, 2.5, 0x6fcd691542737afeull, 0xd97ee041f34eedebull},
    {"low interlaced 2x", 160, 120, 3, 1, 1, 2.0, 0x39a6699f9f1482c9ull, 0x5c1ecbd81e0b7d86ull},
    {"none 1x", 97, 83, 3, 0, 0, 1.0, 0x9327078b15ce3528ull, 0x6108115faf89a991ull},
};

TEST(OutputHash, CapturesKeepTheirBitsAndRepeatInOneProcess)
{
    for (int pass = 0; pass < 2; ++pass)
        for (const Case& c : kCases) {
            uint64_t engine = 0, picture = 0;
            hashRun(c, &engine, &picture);
            if (pass == 0)
                std::printf("%-20s engine 0x%016" PRIx64 "ull picture 0x%016" PRIx64 "ull\n", c.name, engine,
                            picture);
            EXPECT_EQ(engine, c.engine) << c.name << ", pass " << pass;
            EXPECT_EQ(picture, c.picture) << c.name << ", pass " << pass;
        }
}

}  // namespace
