// The shot check of the engine's run on generated sequences: a black frame
// inside dark footage keeps its neighbours out, and footage without a cut
// keeps every field, under noise, motion, fades, compression and interlacing.
// (A cut between two shots is captured end to end in tests/app/capture.)
#include <gtest/gtest.h>

#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "tests/engine/engine_presets.h"
#include "tests/primitives/level_harness.h"

namespace {

using presets::RunOptions;
using synthetic::Motion;
using synthetic::SequenceSpec;

SequenceSpec sceneSpec(double noise)
{
    SequenceSpec s;
    s.noiseSigma = noise;
    s.seed = 3;
    return s;
}

// Multiplies every byte of the frame by `gain`, rounded and saturated.
void scaleBrightness(Image8uC3* f, double gain)
{
    for (int y = 0; y < f->height; ++y)
        for (int x = 0; x < 3 * f->width; ++x)
            f->row(y)[x] = static_cast<Vp8u>(std::min(255L, std::lround(f->row(y)[x] * gain)));
}

// The frame through a JPEG coder at the given quality and back.
void jpegDamage(Image8uC3* f, int quality)
{
    jpeg_error_mgr error;
    jpeg_compress_struct c;
    c.err = jpeg_std_error(&error);
    jpeg_create_compress(&c);
    unsigned char* bytes = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &bytes, &size);
    c.image_width = static_cast<JDIMENSION>(f->width);
    c.image_height = static_cast<JDIMENSION>(f->height);
    c.input_components = 3;
    c.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = f->row(static_cast<int>(c.next_scanline));
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    jpeg_decompress_struct d;
    d.err = jpeg_std_error(&error);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, bytes, size);
    jpeg_read_header(&d, TRUE);
    d.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&d);
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = f->row(static_cast<int>(d.output_scanline));
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    std::free(bytes);
}

bool samePlanes(const FrameEnhancer& a, const FrameEnhancer& b)
{
    const Image32f* pa[3] = {a.accumY.get(), a.accumU.get(), a.accumV.get()};
    const Image32f* pb[3] = {b.accumY.get(), b.accumU.get(), b.accumV.get()};
    for (int k = 0; k < 3; ++k)
        for (int y = 0; y < pa[k]->height; ++y)
            if (std::memcmp(pa[k]->row(y), pb[k]->row(y), sizeof(Vp32f) * static_cast<std::size_t>(pa[k]->width)) != 0)
                return false;
    return true;
}

// A black frame inside dark textured footage is captured as itself: its
// neighbours (block structure about 3 grey levels, where the black frame has
// none) stay out, and the result is the single-frame result bit for bit, at
// every processor level (no division by a weight sum of 1 through a
// reciprocal estimate).
TEST(ShotCheck, ABlackFrameInDarkFootageStaysBlack)
{
    const SequenceSpec spec = sceneSpec(0.0);
    for (VpLevel level : level_harness::kAllLevels) {
        level_harness::ScopedLevel atLevel(level);
        for (int frames : {3, 9}) {
            SCOPED_TRACE(testing::Message() << level_harness::levelName(level) << ", " << frames << " frames");
            const int chosen = frames / 2;
            auto frameAt = [&](int i, Image8uC3* f) {
                synthetic::renderFrame(spec, synthetic::runMotion(i, frames), 20 + i, f);
                scaleBrightness(f, i == chosen ? 0.0 : 0.2);
            };
            RunOptions o;
            o.frames = frames;
            o.scale = 2.0;
            auto all = presets::run(spec, o, frameAt);
            EXPECT_EQ(all->fieldsAdded, 0);
            float brightest = 0.0f;
            for (int y = 0; y < all->accumY->height; ++y)
                for (int x = 0; x < all->accumY->width; ++x)
                    brightest = std::max(brightest, all->accumY->row(y)[x]);
            EXPECT_LT(brightest, 0.5f);
            o.frames = 1;
            auto one = presets::run(spec, o, [&](int, Image8uC3* f) { frameAt(chosen, f); });
            EXPECT_TRUE(samePlanes(*all, *one));
        }
    }
}

struct Footage {
    const char* name;
    int frames;
    int interlaced;
    int noiseReduction;
    double noise;
    std::function<void(const SequenceSpec&, int i, Image8uC3*)> frameAt;
};

// Sub-pixel camera motion of the standard run.
void moving(const SequenceSpec& s, int i, Image8uC3* f, int frames)
{
    synthetic::renderFrame(s, synthetic::runMotion(i, frames), 30 + i, f);
}

// Fields of an interlaced camera, half a frame apart in time, the scene
// moving 4 pixels a field.
void interlacedFields(const SequenceSpec& s, int i, Image8uC3* f)
{
    Image8uC3 field[2];
    for (int k = 0; k < 2; ++k) {
        Motion m;
        m.dx = 4.0 * (2 * i + k - 2);
        m.dy = 1.2 * (2 * i + k - 2);
        synthetic::renderFrame(s, m, 40 + 2 * i + k, &field[k]);
    }
    f->reallocate(s.width, s.height);
    for (int y = 0; y < s.height; ++y)
        std::memcpy(f->row(y), field[y % 2].row(y), static_cast<std::size_t>(3 * s.width));
}

// Footage without a cut keeps every field of every neighbour.
TEST(ShotCheck, FootageWithoutACutKeepsEveryField)
{
    const Footage cases[] = {
        {"static, heavy noise", 5, 0, 0, 15.0,
         [](const SequenceSpec& s, int i, Image8uC3* f) { synthetic::renderFrame(s, Motion{}, 50 + i, f); }},
        {"flat grey, noise", 5, 0, 0, 0.0,
         [](const SequenceSpec& s, int i, Image8uC3* f) {
             f->reallocate(s.width, s.height);
             std::srand(60 + static_cast<unsigned>(i));
             for (int y = 0; y < s.height; ++y)
                 for (int x = 0; x < 3 * s.width; ++x)
                     f->row(y)[x] = static_cast<Vp8u>(110 + std::rand() % 21 + std::rand() % 21);
         }},
        {"moving, noise, med", 9, 0, 2, 8.0, [](const SequenceSpec& s, int i, Image8uC3* f) { moving(s, i, f, 9); }},
        {"object over a still scene", 9, 0, 0, 1.0,
         [](const SequenceSpec& s, int i, Image8uC3* f) {
             synthetic::renderFrame(s, Motion{}, 70 + i, f);
             for (int y = 20; y < 44; ++y)
                 for (int x = 10 + 5 * i; x < std::min(s.width, 34 + 5 * i); ++x) {
                     Vp8u* p = f->row(y) + 3 * x;
                     p[0] = 40;
                     p[1] = 200;
                     p[2] = 230;
                 }
         }},
        {"panning 3 pixels a frame", 9, 0, 0, 1.0,
         [](const SequenceSpec& s, int i, Image8uC3* f) {
             Motion m;
             m.dx = 3.0 * (i - 4);
             m.dy = 1.2 * (i - 4);
             synthetic::renderFrame(s, m, 80 + i, f);
         }},
        {"fade, 6% a frame", 9, 0, 0, 1.0,
         [](const SequenceSpec& s, int i, Image8uC3* f) {
             moving(s, i, f, 9);
             scaleBrightness(f, 1.0 - 0.06 * (i - 4));
         }},
        {"JPEG quality 10", 9, 0, 0, 2.0,
         [](const SequenceSpec& s, int i, Image8uC3* f) {
             moving(s, i, f, 9);
             jpegDamage(f, 10);
         }},
        {"interlaced, moving", 3, 1, 1, 1.0, interlacedFields},
    };
    for (const Footage& c : cases) {
        SCOPED_TRACE(c.name);
        SequenceSpec spec = sceneSpec(c.noise);
        RunOptions o;
        o.frames = c.frames;
        o.interlaced = c.interlaced;
        o.noiseReduction = c.noiseReduction;
        auto e = presets::run(spec, o, [&](int i, Image8uC3* f) { c.frameAt(spec, i, f); });
        EXPECT_EQ(e->fieldsAdded, c.interlaced ? 2 * c.frames - 1 : c.frames - 1);
    }
}

}  // namespace
