// Row passes and row drivers of the nearest-neighbour, linear and cubic resize
// at the px level, on hand-made offset and weight tables.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "primitives/resize/resize_px.h"
#include "tests/primitives/resize/resize_test_util.h"

namespace {

using resize_test::Image;

// ---- cubic evaluation: worked values ---------------------------------------

TEST(ResizeCubicPass, LastColumnOffsetTwoLeavesHorizontalRoundingInRing) {
    // At t = 2 the horizontal factor n is 1 + 2^-25 (3 times the float third,
    // not rounded), so the last sample 50 comes out slightly low.
    const Vp32f src[4] = {100.0f, 0.0f, 100.0f, 50.0f};
    const int colOffsets[1] = {1};
    const float colWeights[1] = {2.0f};
    float ring[1] = {0.0f};
    ResizeCubicH_32f_C1_px(src, 1, colOffsets, colWeights, ring);
    EXPECT_FLOAT_EQ(ring[0], 49.9999886f);
    EXPECT_LT(ring[0], 50.0f);

    // A vertical pass at t = 0 returns its second row exactly; 8u truncates it.
    const float other[1] = {7.0f};
    Vp8u out8 = 0;
    ResizeCubicV_8u_px(&out8, 1, 0.0f, other, ring, other, other);
    EXPECT_EQ(out8, 49);

    // The vertical factor n is rounded to float, so t = 2 gives the last row exactly.
    const float a[1] = {100.0f}, b[1] = {0.0f}, c[1] = {100.0f}, d[1] = {50.0f};
    Vp32f out32 = 0.0f;
    ResizeCubicV_32f_px(&out32, 1, 2.0f, a, b, c, d);
    EXPECT_EQ(out32, 50.0f);
}

struct VerticalCase {
    float a, b, c, d, t;
    int expected8u;
};

TEST(ResizeCubicPass, EightBitVerticalTruncatesAndClamps) {
    const VerticalCase cases[] = {
        {0, 255, 255, 0, 0.5f, 255},   // cubic overshoot 286.875
        {0, 0, 255, 255, -0.5f, 0},    // undershoot -63.75
        {0, 0, 255, 255, 0.5f, 127},   // 127.5 truncates
        {10, 20, 30, 40, 0.25f, 22},   // a straight line: 22.5 truncates
        {0, 255, 0, 255, 0.0f, 255},   // t = 0 gives b
        {17, 255, 0, 255, -1.0f, 17},  // t = -1 gives a
    };
    for (const VerticalCase& vc : cases) {
        const float r0[2] = {vc.a, vc.a}, r1[2] = {vc.b, vc.b}, r2[2] = {vc.c, vc.c}, r3[2] = {vc.d, vc.d};
        Vp8u out[2] = {1, 1};
        ResizeCubicV_8u_px(out, 2, vc.t, r0, r1, r2, r3);
        EXPECT_EQ(out[0], vc.expected8u) << vc.a << " " << vc.b << " " << vc.c << " " << vc.d << " t=" << vc.t;
        EXPECT_EQ(out[1], vc.expected8u);
        // The AC4 pass computes the same values into elements 0..2 and keeps element 3.
        const float q0[3] = {vc.a, vc.a, vc.a}, q1[3] = {vc.b, vc.b, vc.b}, q2[3] = {vc.c, vc.c, vc.c},
                    q3[3] = {vc.d, vc.d, vc.d};
        Vp8u px4[4] = {1, 1, 1, 99};
        ResizeCubicV_8u_AC4_px(px4, 1, vc.t, q0, q1, q2, q3);
        EXPECT_EQ(px4[0], vc.expected8u);
        EXPECT_EQ(px4[2], vc.expected8u);
        EXPECT_EQ(px4[3], 99);
    }
}

TEST(ResizeCubicPass, OvershootValuesBeforeConversion) {
    const float a[1] = {0}, b[1] = {255}, c[1] = {255}, d[1] = {0};
    Vp32f v = 0;
    ResizeCubicV_32f_px(&v, 1, 0.5f, a, b, c, d);
    EXPECT_EQ(v, 286.875f);
    const float e[1] = {0}, f[1] = {0}, g[1] = {255}, h[1] = {255};
    ResizeCubicV_32f_px(&v, 1, -0.5f, e, f, g, h);
    EXPECT_EQ(v, -63.75f);
}

TEST(ResizeCubicPass, SixteenBitKeepsLargeValuesAndSaturates) {
    const float k[1] = {40000.0f};
    Vp16u out = 0;
    ResizeCubicV_16u_px(&out, 1, 0.3f, k, k, k, k);
    EXPECT_EQ(out, 40000);
    const float a[1] = {0}, b[1] = {65535}, c[1] = {65535}, d[1] = {0};
    ResizeCubicV_16u_px(&out, 1, 0.5f, a, b, c, d);
    EXPECT_EQ(out, 65535);
    Vp16u px4[4] = {0, 0, 0, 1234};
    const float q[3] = {40000.0f, 40000.0f, 40000.0f};
    ResizeCubicV_16u_AC4_px(px4, 1, 0.7f, q, q, q, q);
    EXPECT_EQ(px4[0], 40000);
    EXPECT_EQ(px4[1], 40000);
    EXPECT_EQ(px4[2], 40000);
    EXPECT_EQ(px4[3], 1234);
}

TEST(ResizeCubicPass, EndpointsAndConstantsAreExactOnEveryPass) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> dist(-1000.0f, 1000.0f);
    for (int trial = 0; trial < 200; ++trial) {
        const float s[4] = {dist(rng), dist(rng), dist(rng), dist(rng)};
        const int off[1] = {1};
        for (float t : {0.0f, -1.0f}) {
            const float w[1] = {t};
            float ring = 0;
            ResizeCubicH_32f_C1_px(s, 1, off, w, &ring);
            EXPECT_EQ(ring, t == 0.0f ? s[1] : s[0]);
            Vp32f v = 0;
            ResizeCubicV_32f_px(&v, 1, t, &s[0], &s[1], &s[2], &s[3]);
            EXPECT_EQ(v, t == 0.0f ? s[1] : s[0]);
        }
        const float k = dist(rng);
        const float ks[4] = {k, k, k, k};
        const float t = std::uniform_real_distribution<float>(-1.0f, 2.0f)(rng);
        const float w[1] = {t};
        float ring = 0;
        ResizeCubicH_32f_C1_px(ks, 1, off, w, &ring);
        EXPECT_EQ(ring, k);
        Vp32f v = 0;
        ResizeCubicV_32f_px(&v, 1, t, &ks[0], &ks[1], &ks[2], &ks[3]);
        EXPECT_EQ(v, k);
        Vp32f v4[4] = {0, 0, 0, -5.0f};
        const float k3[3] = {k, k, k};
        ResizeCubicV_32f_AC4_px(v4, 1, t, k3, k3, k3, k3);
        EXPECT_EQ(v4[0], k);
        EXPECT_EQ(v4[1], k);
        EXPECT_EQ(v4[2], k);
        EXPECT_EQ(v4[3], -5.0f);
    }
}

TEST(ResizeCubicPass, ThreeChannelHorizontalUsesPixelStride) {
    // Four-element pixels, three channels resampled: channel k of a pixel reads
    // elements k - 4, k, k + 4, k + 8 around the base.
    Vp8u row[16];
    for (int i = 0; i < 16; ++i) row[i] = static_cast<Vp8u>(i * 10);
    const int off[1] = {4};
    const float w[1] = {0.0f};
    float ring[3] = {};
    ResizeCubicH_8u_C3_px(row, 1, 4, off, w, ring);
    EXPECT_EQ(ring[0], 40.0f);
    EXPECT_EQ(ring[1], 50.0f);
    EXPECT_EQ(ring[2], 60.0f);
}

// ---- linear passes ----------------------------------------------------------

TEST(ResizeLinearPass, PxRoundsToNearest) {
    // Halfway between a row of 0 and a row of 255: px gives 128.
    const Vp16s upper[3] = {0, 0, 0};
    const Vp16s lower[3] = {255 * 64, 255 * 64, 255 * 64};
    Vp8u out[3] = {};
    ResizeLinearV_8u_px(out, 3, 8192, upper, lower);
    EXPECT_EQ(out[0], 128);
    EXPECT_EQ(out[2], 128);
    Vp8u px4[8] = {0, 0, 0, 11, 0, 0, 0, 22};
    const Vp16s up6[6] = {}, lo6[6] = {255 * 64, 255 * 64, 255 * 64, 255 * 64, 255 * 64, 255 * 64};
    ResizeLinearV_8u_AC4_px(px4, 2, 8192, up6, lo6);
    EXPECT_EQ(px4[0], 128);
    EXPECT_EQ(px4[3], 11);
    EXPECT_EQ(px4[7], 22);

    // Horizontal 8u: units of 1/64 grey level, rounded.
    const Vp8u src[2] = {0, 255};
    const int off[1] = {0};
    const Vp16u pair[2] = {8192, 8192};
    Vp16s ring = 0;
    ResizeLinearH_8u_C1_px(src, 1, off, pair, &ring);
    EXPECT_EQ(ring, (255 * 8192 + 128) >> 8);

    // 16u: (s0*w0 + s1*w1 + 8192) >> 14.
    const Vp16u src16[2] = {65535, 65534};
    Vp16u ring16 = 0;
    ResizeLinearH_16u_C1_px(src16, 1, off, pair, &ring16);
    EXPECT_EQ(ring16, 65535);  // 65534.5 rounds up
    Vp16u out16 = 0;
    const Vp16u u16[1] = {1}, l16[1] = {2};
    ResizeLinearV_16u_px(&out16, 1, 8192, u16, l16);
    EXPECT_EQ(out16, 2);
}

TEST(ResizeLinearPass, FloatWeightsAndNonFinite) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const int off[1] = {0};
    float out = 0;
    const Vp32f s1[2] = {2.0f, 6.0f};
    const float f25[1] = {0.25f};
    ResizeLinearH_32f_C1_px(s1, 1, off, f25, &out);
    EXPECT_EQ(out, 3.0f);
    // An infinite left sample gives NaN whatever the weight; a NaN spreads even at weight 0.
    const Vp32f s2[2] = {inf, 1.0f};
    const float f0[1] = {0.0f};
    ResizeLinearH_32f_C1_px(s2, 1, off, f0, &out);
    EXPECT_TRUE(std::isnan(out));
    const Vp32f s3[2] = {1.0f, nan};
    ResizeLinearH_32f_C1_px(s3, 1, off, f0, &out);
    EXPECT_TRUE(std::isnan(out));
    // Vertical: an infinite sample gives NaN only at weight 0.
    const float up[1] = {inf}, lo[1] = {1.0f};
    Vp32f v = 0;
    ResizeLinearV_32f_px(&v, 1, 1.0f, up, lo);
    EXPECT_TRUE(std::isnan(v));
    ResizeLinearV_32f_px(&v, 1, 0.5f, up, lo);
    EXPECT_TRUE(std::isinf(v));
}

// ---- nearest neighbour --------------------------------------------------------

TEST(ResizeNNKernel, CopiesBitsAndKeepsFourthElement) {
    const float nan = std::bit_cast<float>(std::uint32_t{0x7FC12345u});
    const Vp32f src[4] = {nan, -0.0f, 3.0f, 4.0f};
    const int rows[2] = {0, 0};
    const int cols[4] = {0, 0, 1, 1};
    Vp32f dst[8];
    ResizeNN_32f_C1_px(src, dst, 4, 4, 2, rows, cols, 0);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(std::bit_cast<std::uint32_t>(dst[4 * i + 0]), 0x7FC12345u);
        EXPECT_EQ(std::bit_cast<std::uint32_t>(dst[4 * i + 1]), 0x7FC12345u);
        EXPECT_EQ(std::bit_cast<std::uint32_t>(dst[4 * i + 2]), 0x80000000u);
        EXPECT_EQ(std::bit_cast<std::uint32_t>(dst[4 * i + 3]), 0x80000000u);
    }
    // Three channels at stride 4: element 3 of each destination pixel stays.
    const Vp8u src3[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    const int r1[1] = {0};
    const int c3[2] = {4, 0};
    Vp8u d3[8] = {0, 0, 0, 77, 0, 0, 0, 88};
    ResizeNN_8u_C3_px(src3, d3, 8, 2, 1, r1, c3, 4);
    const Vp8u expected[8] = {5, 6, 7, 77, 1, 2, 3, 88};
    EXPECT_EQ(std::memcmp(d3, expected, 8), 0);
}

// ---- row drivers against a ring-free reference ------------------------------
// The reference recomputes the horizontal passes of all needed rows for every
// destination row; the drivers must give the same bytes with their ring.

// Pixel forms the row drivers are run with: channels per pixel and the
// channel layout passed to the driver.
struct Form {
    int nChannels, layout;
};
constexpr Form kForms[] = {{1, 1}, {3, 3}, {4, 4}, {4, 3}};

std::vector<int> offsetPattern(int pattern, int count, int firstRow, int lastRow, std::mt19937& rng) {
    std::vector<int> rows(count);
    int r = firstRow;
    for (int i = 0; i < count; ++i) {
        rows[i] = std::min(r, lastRow);
        switch (pattern) {
            case 0: r += (i % 3 == 2); break;                    // enlarging: rows shared by ~3
            case 1: r += 3; break;                               // reducing by three
            case 2: r += static_cast<int>(rng() % 6); break;     // irregular jumps
            default: r += 1; break;
        }
    }
    return rows;
}

TEST(ResizeCubicKernel, RingMatchesRecomputedRows) {
    std::mt19937 rng(11);
    const int srcW = 23, srcH = 40;
    for (const Form form : kForms) {
        Image<Vp8u> src(srcW, srcH, form.nChannels, 5);
        resize_test::fillRandom(src, 3, 0.0, 255.0);
        const int srcStepE = src.step;
        for (int pattern = 0; pattern < 4; ++pattern) {
            const int dstW = 9, dstH = 14;
            std::vector<int> rowIdx = offsetPattern(pattern, dstH, 1, srcH - 3, rng);
            std::vector<int> rowOffsets(dstH), colOffsets(dstW);
            std::vector<float> rowWeights(dstH), colWeights(dstW);
            std::uniform_real_distribution<float> tdist(-1.0f, 2.0f);
            for (int i = 0; i < dstH; ++i) {
                rowOffsets[i] = rowIdx[i] * srcStepE;
                rowWeights[i] = tdist(rng);
            }
            const int pixStride = form.layout == 1 ? 1 : form.nChannels;
            for (int j = 0; j < dstW; ++j) {
                colOffsets[j] = (1 + static_cast<int>(rng() % (srcW - 3))) * pixStride;
                colWeights[j] = tdist(rng);
            }
            const int ringLen = form.layout == 1 ? dstW + 4 : (form.layout == 3 ? 3 * dstW + 12 : 4 * dstW + 16);
            std::vector<float> ring[4];
            for (auto& r : ring) r.assign(ringLen, 0.0f);
            const int dstStep = dstW * form.nChannels + 3;
            std::vector<Vp8u> dst(static_cast<std::size_t>(dstStep) * dstH, 0xEE);
            std::vector<Vp8u> ref(dst);
            if (form.layout == 1) {
                ResizeCubic_8u_C1_px(src.data(), dst.data(), srcStepE, dstStep, dstW, dstH, rowOffsets.data(),
                                     colOffsets.data(), rowWeights.data(), colWeights.data(), ring[0].data(),
                                     ring[1].data(), ring[2].data(), ring[3].data(), 1, 1);
            } else {
                ResizeCubic_8u_C3C4_px(src.data(), dst.data(), srcStepE, dstStep, dstW, dstH, rowOffsets.data(),
                                       colOffsets.data(), rowWeights.data(), colWeights.data(), ring[0].data(),
                                       ring[1].data(), ring[2].data(), ring[3].data(), form.nChannels, form.layout);
            }
            // Reference.
            const int values = dstW * (form.layout == 1 ? 1 : form.layout);
            std::vector<float> rows4[4];
            for (auto& r : rows4) r.assign(values, 0.0f);
            for (int i = 0; i < dstH; ++i) {
                for (int k = 0; k < 4; ++k) {
                    const Vp8u* row = src.data() + rowOffsets[i] + (k - 1) * srcStepE;
                    if (form.layout == 1) {
                        ResizeCubicH_8u_C1_px(row, dstW, colOffsets.data(), colWeights.data(), rows4[k].data());
                    } else if (form.layout == 3) {
                        ResizeCubicH_8u_C3_px(row, dstW, form.nChannels, colOffsets.data(), colWeights.data(),
                                              rows4[k].data());
                    } else {
                        ResizeCubicH_8u_C4_px(row, dstW, colOffsets.data(), colWeights.data(), rows4[k].data());
                    }
                }
                Vp8u* out = ref.data() + static_cast<std::size_t>(i) * dstStep;
                if (form.nChannels == form.layout) {
                    ResizeCubicV_8u_px(out, values, rowWeights[i], rows4[0].data(), rows4[1].data(),
                                       rows4[2].data(), rows4[3].data());
                } else {
                    ResizeCubicV_8u_AC4_px(out, dstW, rowWeights[i], rows4[0].data(), rows4[1].data(),
                                           rows4[2].data(), rows4[3].data());
                }
            }
            EXPECT_EQ(dst, ref) << "form " << form.nChannels << "/" << form.layout << " pattern " << pattern;
        }
    }
}

TEST(ResizeCubicKernel, FloatPlaneRingMatchesRecomputedRows) {
    std::mt19937 rng(12);
    const int srcW = 31, srcH = 50;
    Image<Vp32f> src(srcW, srcH, 1, 12);
    resize_test::fillRandom(src, 5, -10.0, 10.0);
    const int srcStepE = src.step / 4;
    for (int pattern = 0; pattern < 4; ++pattern) {
        const int dstW = 17, dstH = 16;
        std::vector<int> rowIdx = offsetPattern(pattern, dstH, 1, srcH - 3, rng);
        std::vector<int> rowOffsets(dstH), colOffsets(dstW);
        std::vector<float> rowWeights(dstH), colWeights(dstW);
        std::uniform_real_distribution<float> tdist(-1.0f, 2.0f);
        for (int i = 0; i < dstH; ++i) {
            rowOffsets[i] = rowIdx[i] * srcStepE;
            rowWeights[i] = tdist(rng);
        }
        for (int j = 0; j < dstW; ++j) {
            colOffsets[j] = 1 + static_cast<int>(rng() % (srcW - 3));
            colWeights[j] = tdist(rng);
        }
        std::vector<float> ring[4];
        for (auto& r : ring) r.assign(dstW + 4, 0.0f);
        std::vector<Vp32f> dst(static_cast<std::size_t>(dstW) * dstH, -1.0f), ref(dst);
        ResizeCubic_32f_C1_px(src.data(), dst.data(), srcStepE, dstW, dstW, dstH, rowOffsets.data(),
                              colOffsets.data(), rowWeights.data(), colWeights.data(), ring[0].data(),
                              ring[1].data(), ring[2].data(), ring[3].data(), 1, 1);
        std::vector<float> rows4[4];
        for (auto& r : rows4) r.assign(dstW, 0.0f);
        for (int i = 0; i < dstH; ++i) {
            for (int k = 0; k < 4; ++k) {
                ResizeCubicH_32f_C1_px(src.data() + rowOffsets[i] + (k - 1) * srcStepE, dstW, colOffsets.data(),
                                       colWeights.data(), rows4[k].data());
            }
            ResizeCubicV_32f_px(ref.data() + static_cast<std::size_t>(i) * dstW, dstW, rowWeights[i],
                                rows4[0].data(), rows4[1].data(), rows4[2].data(), rows4[3].data());
        }
        EXPECT_EQ(0, std::memcmp(dst.data(), ref.data(), dst.size() * sizeof(Vp32f))) << "pattern " << pattern;
    }
}

TEST(ResizeLinearKernel, RingMatchesRecomputedRows) {
    std::mt19937 rng(13);
    const int srcW = 19, srcH = 45;
    for (const Form form : kForms) {
        Image<Vp8u> src(srcW, srcH, form.nChannels, 7);
        resize_test::fillRandom(src, 9, 0.0, 255.0);
        for (int pattern = 0; pattern < 4; ++pattern) {
            const int dstW = 8, dstH = 13;
            std::vector<int> rowIdx = offsetPattern(pattern, dstH, 0, srcH - 2, rng);
            std::vector<int> rowOffsets(dstH), colOffsets(dstW);
            std::vector<Vp16u> rowWeights(dstH), colWeights(2 * dstW);
            for (int i = 0; i < dstH; ++i) {
                rowOffsets[i] = rowIdx[i] * src.step;
                rowWeights[i] = static_cast<Vp16u>(rng() % 16385);
            }
            const int pixStride = form.layout == 1 ? 1 : form.nChannels;
            for (int j = 0; j < dstW; ++j) {
                colOffsets[j] = static_cast<int>(rng() % (srcW - 1)) * pixStride;
                const Vp16u w1 = static_cast<Vp16u>(rng() % 16385);
                colWeights[2 * j] = static_cast<Vp16u>(16384 - w1);
                colWeights[2 * j + 1] = w1;
            }
            const int ringLen = form.layout == 1 ? dstW + 4 : (form.layout == 3 ? 3 * dstW + 12 : 4 * dstW + 16);
            std::vector<Vp16s> ring0(ringLen), ring1(ringLen);
            const int dstStep = dstW * form.nChannels + 1;
            std::vector<Vp8u> dst(static_cast<std::size_t>(dstStep) * dstH, 0xEE), ref(dst);
            if (form.layout == 1) {
                ResizeLinear_8u_C1_px(src.data(), dst.data(), src.step, dstStep, dstW, dstH, rowOffsets.data(),
                                      colOffsets.data(), rowWeights.data(), colWeights.data(), ring0.data(),
                                      ring1.data(), 1, 1);
            } else {
                ResizeLinear_8u_C3C4_px(src.data(), dst.data(), src.step, dstStep, dstW, dstH, rowOffsets.data(),
                                        colOffsets.data(), rowWeights.data(), colWeights.data(), ring0.data(),
                                        ring1.data(), form.nChannels, form.layout);
            }
            const int values = dstW * (form.layout == 1 ? 1 : form.layout);
            std::vector<Vp16s> up(values), lo(values);
            auto horizontal = [&](const Vp8u* row, Vp16s* out) {
                if (form.layout == 1) {
                    ResizeLinearH_8u_C1_px(row, dstW, colOffsets.data(), colWeights.data(), out);
                } else if (form.layout == 3) {
                    ResizeLinearH_8u_C3_px(row, dstW, form.nChannels, colOffsets.data(), colWeights.data(), out);
                } else {
                    ResizeLinearH_8u_C4_px(row, dstW, colOffsets.data(), colWeights.data(), out);
                }
            };
            for (int i = 0; i < dstH; ++i) {
                horizontal(src.data() + rowOffsets[i], up.data());
                horizontal(src.data() + rowOffsets[i] + src.step, lo.data());
                Vp8u* out = ref.data() + static_cast<std::size_t>(i) * dstStep;
                if (form.nChannels == form.layout) {
                    ResizeLinearV_8u_px(out, values, rowWeights[i], up.data(), lo.data());
                } else {
                    ResizeLinearV_8u_AC4_px(out, dstW, rowWeights[i], up.data(), lo.data());
                }
            }
            EXPECT_EQ(dst, ref) << "form " << form.nChannels << "/" << form.layout << " pattern " << pattern;
        }
    }
}

// The 8-bit three-channel horizontal pass against (s0 w0 + s1 w1 + 128) >> 8 for
// every pair of samples, at weights around the 16-bit limits of its arithmetic
// (w1 at 0, 16384 and either side of multiples of 128), in rows of one weight
// and in a row whose weights change from column to column.
TEST(ResizeLinearKernel, EightBitThreeChannelRowForEverySamplePair) {
    const int columns = 256 * 256;
    // Column k reads pixels 2k and 2k + 1: channel 0 holds (s0, s1), channel 1
    // the reverse, channel 2 their complements.
    std::vector<Vp8u> row(6 * columns + 2);
    std::vector<int> offsets(columns);
    for (int k = 0; k < columns; ++k) {
        const int s0 = k >> 8, s1 = k & 255;
        const Vp8u values[6] = {static_cast<Vp8u>(s0), static_cast<Vp8u>(s1), static_cast<Vp8u>(255 - s0),
                                static_cast<Vp8u>(s1), static_cast<Vp8u>(s0), static_cast<Vp8u>(255 - s1)};
        std::memcpy(&row[6 * static_cast<std::size_t>(k)], values, 6);
        offsets[k] = 6 * k;
    }
    const int weightTable[] = {0, 1, 2, 127, 128, 129, 255, 256, 8191, 8192, 8193, 16255, 16256, 16257, 16383, 16384};
    std::vector<Vp16u> weights(2 * columns);
    std::vector<Vp16s> out(3 * columns);
    auto check = [&](const char* what) {
        ResizeLinearH_8u_C3_px(row.data(), columns, 3, offsets.data(), weights.data(), out.data());
        for (int k = 0; k < columns; ++k) {
            const int w0 = weights[2 * k], w1 = weights[2 * k + 1];
            for (int c = 0; c < 3; ++c) {
                const int s0 = row[6 * k + c], s1 = row[6 * k + 3 + c];
                const Vp16s expected = static_cast<Vp16s>((s0 * w0 + s1 * w1 + 128) >> 8);
                ASSERT_EQ(out[3 * k + c], expected)
                    << what << ": column " << k << " channel " << c << " samples " << s0 << "," << s1 << " weights "
                    << w0 << "," << w1;
            }
        }
    };
    for (const int w1 : weightTable) {
        for (int k = 0; k < columns; ++k) {
            weights[2 * k] = static_cast<Vp16u>(16384 - w1);
            weights[2 * k + 1] = static_cast<Vp16u>(w1);
        }
        check("one weight");
    }
    for (int k = 0; k < columns; ++k) {
        const int w1 = weightTable[(k * 7 + k / 256) % 16];
        weights[2 * k] = static_cast<Vp16u>(16384 - w1);
        weights[2 * k + 1] = static_cast<Vp16u>(w1);
    }
    check("weights per column");
    // Pairs that do not sum to 16384 take the 32-bit products.
    weights[2 * 5000] = 16000;
    check("one pair off 16384");
    for (int k = 0; k < columns; ++k) weights[2 * k] = static_cast<Vp16u>(20000 - weights[2 * k + 1]);
    check("pairs of 20000");
}

// The 8-bit three-channel driver against the value-by-value formulas, with
// rows of extreme contrast (upper and lower source rows complementary), ring
// values from every weight class, and row weights across 0 .. 16384 (beyond
// it too): the vertical blend's 16-bit arithmetic at its limits, and the 32-bit
// one when a pair does not sum to 16384 or a row weight reaches 16384.
TEST(ResizeLinearKernel, EightBitThreeChannelBlendAtTheExtremes) {
    const int dstW = 700, srcW = dstW + 1;
    const int rowWeightTable[] = {0, 1, 2, 3, 4, 5, 63, 64, 127, 128, 4096, 8191, 8192, 8193, 12288, 16380,
                                  16381, 16382, 16383, 16384, 16385, 20000};
    const int dstH = static_cast<int>(sizeof(rowWeightTable) / sizeof(rowWeightTable[0]));
    std::mt19937 rng(29);
    Image<Vp8u> src(srcW, 2, 3, 5);
    for (int x = 0; x < srcW; ++x) {
        for (int c = 0; c < 3; ++c) {
            // Every fifth column runs 0 / 255 / 0 ...; the rest random.
            const int v = x % 5 == 0 ? (x / 5 % 2) * 255 : static_cast<int>(rng() % 256);
            src.at(x, 0, c) = static_cast<Vp8u>(v);
            src.at(x, 1, c) = static_cast<Vp8u>(255 - v);
        }
    }
    std::vector<int> rowOffsets(dstH, 0), colOffsets(dstW);
    std::vector<Vp16u> rowWeights(dstH), colWeights(2 * dstW);
    for (int i = 0; i < dstH; ++i) rowWeights[i] = static_cast<Vp16u>(rowWeightTable[i]);
    const int colWeightTable[] = {0, 1, 64, 127, 128, 129, 8192, 16255, 16256, 16383, 16384};
    for (int j = 0; j < dstW; ++j) {
        colOffsets[j] = 3 * j;
        const int w1 = j % 3 == 0 ? colWeightTable[j / 3 % 11] : static_cast<int>(rng() % 16385);
        colWeights[2 * j] = static_cast<Vp16u>(16384 - w1);
        colWeights[2 * j + 1] = static_cast<Vp16u>(w1);
    }
    auto check = [&](const char* what) {
        const int dstStep = 3 * dstW + 3;
        std::vector<Vp8u> dst(static_cast<std::size_t>(dstStep) * dstH, 0xEE);
        std::vector<Vp16s> ring0(3 * dstW + 12), ring1(3 * dstW + 12);
        ResizeLinear_8u_C3C4_px(src.data(), dst.data(), src.step, dstStep, dstW, dstH, rowOffsets.data(),
                                colOffsets.data(), rowWeights.data(), colWeights.data(), ring0.data(), ring1.data(),
                                3, 3);
        for (int i = 0; i < dstH; ++i) {
            const int a = rowWeights[i];
            for (int j = 0; j < dstW; ++j) {
                const int w0 = colWeights[2 * j], w1 = colWeights[2 * j + 1];
                for (int c = 0; c < 3; ++c) {
                    int h[2];
                    for (int y = 0; y < 2; ++y) {
                        h[y] = static_cast<Vp16s>((src.at(j, y, c) * w0 + src.at(j + 1, y, c) * w1 + 128) >> 8);
                    }
                    const Vp8u expected = static_cast<Vp8u>(((16384 - a) * h[0] + a * h[1] + 524288) >> 20);
                    ASSERT_EQ(dst[static_cast<std::size_t>(i) * dstStep + 3 * j + c], expected)
                        << what << ": row weight " << a << " column " << j << " channel " << c;
                }
            }
            ASSERT_EQ(dst[static_cast<std::size_t>(i) * dstStep + 3 * dstW], 0xEE) << what;
        }
    };
    check("pairs of 16384");
    colWeights[2 * 350] = 16383;  // one pair short of 16384
    check("one pair off 16384");
}

// ---- column sums ----------------------------------------------------------------

TEST(ResizeColumnSum, AddsRowsAndWraps) {
    Image<Vp8u> img(5, 3, 4);
    for (auto& b : img.bytes) b = 255;
    std::vector<Vp32s> acc(20, 0);
    acc[3] = 42;
    ResizeColumnSum_8u_C3_px(img.data(), img.step, 5, 3, acc.data(), 4);
    EXPECT_EQ(acc[0], 765);
    EXPECT_EQ(acc[2], 765);
    EXPECT_EQ(acc[3], 42);  // fourth entry untouched
    ResizeColumnSum_8u_C3_px(img.data(), img.step, 5, 0, acc.data(), 4);
    EXPECT_EQ(acc[0], 765);  // rows 0 adds nothing

    Image<Vp16u> tall(1, 3, 1);
    for (int y = 0; y < 3; ++y) tall.at(0, y) = 65535;
    std::vector<Vp32s> acc16(1, static_cast<Vp32s>(0xFFFF0000u));
    ResizeColumnSum_16u_C1_px(tall.data(), tall.step, 1, 3, acc16.data());
    EXPECT_EQ(static_cast<std::uint32_t>(acc16[0]), 0xFFFF0000u + 3u * 65535u);  // wraps modulo 2^32

    Image<Vp32f> f(2, 2, 4);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            for (int c = 0; c < 4; ++c) f.at(x, y, c) = 0.5f * (c + 1);
    std::vector<Vp32f> accf(8, 0.0f);
    ResizeColumnSum_32f_C4_px(f.data(), f.step, 2, 2, accf.data());
    EXPECT_EQ(accf[3], 4.0f);
    EXPECT_EQ(accf[4], 1.0f);
}

}  // namespace
