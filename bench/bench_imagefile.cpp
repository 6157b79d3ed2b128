// Speed of saving a 1440x1152 24-bit picture (a 2x enhanced PAL frame) in
// each main format, into memory, beside OpenCV's encoders of the same
// formats when they are available (single-threaded).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "imagefile/raster_image.h"

#if defined(FE_HAVE_OPENCV) && defined(FE_HAVE_OPENCV_IMGCODECS)
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#endif

namespace {

constexpr std::uint32_t kWidth = 1440;
constexpr std::uint32_t kHeight = 1152;

// A photograph-like picture: smooth gradients, texture and edges, so that
// the compressors have realistic work.
void FillPicture(std::uint8_t* pixels, std::size_t rowBytes)
{
    std::uint32_t noise = 1;
    for (std::uint32_t y = 0; y < kHeight; ++y) {
        std::uint8_t* row = pixels + y * rowBytes;
        for (std::uint32_t x = 0; x < kWidth; ++x) {
            noise = noise * 1664525u + 1013904223u;
            const int grain = static_cast<int>((noise >> 24) & 7);
            const bool block = ((x / 96) + (y / 96)) % 3 == 0;
            row[3 * x + 0] = static_cast<std::uint8_t>((block ? 200 : x * 255 / kWidth) - grain);
            row[3 * x + 1] = static_cast<std::uint8_t>((y * 255 / kHeight) ^ (block ? 64 : 0));
            row[3 * x + 2] = static_cast<std::uint8_t>(((x + y) * 255 / (kWidth + kHeight)) + grain);
        }
    }
}

void Save(benchmark::State& state, std::uint32_t typeId, std::uint32_t codecOptions)
{
    RasterImage image(kWidth, kHeight, 24, 0);
    FillPicture(image.RowAddress(0), image.info.rowBytes);
    image.info.quality = 95;
    image.info.codecOptions = codecOptions;
    std::int64_t bytes = 0;
    for (auto _ : state) {
        RasterMemoryStream stream;
        if (!image.Encode(&stream, typeId)) {
            state.SkipWithError(image.LastError());
            break;
        }
        bytes = stream.Size();
        benchmark::DoNotOptimize(stream.Data());
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
    state.counters["file_bytes"] = static_cast<double>(bytes);
}

void BM_SaveBmp(benchmark::State& state) { Save(state, RASTER_TYPE_BMP, 0); }
void BM_SaveTga(benchmark::State& state) { Save(state, RASTER_TYPE_TGA, 0); }
void BM_SavePcx(benchmark::State& state) { Save(state, RASTER_TYPE_PCX, 0); }
void BM_SaveJpegQ95(benchmark::State& state) { Save(state, RASTER_TYPE_JPEG, 0); }
void BM_SavePng(benchmark::State& state) { Save(state, RASTER_TYPE_PNG, 0); }
void BM_SaveTiffJpeg(benchmark::State& state) { Save(state, RASTER_TYPE_TIFF, 0); }
void BM_SaveTiffLzw(benchmark::State& state) { Save(state, RASTER_TYPE_TIFF, 5); }
BENCHMARK(BM_SaveBmp)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveTga)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SavePcx)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveJpegQ95)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SavePng)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveTiffJpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveTiffLzw)->Unit(benchmark::kMillisecond);

#if defined(FE_HAVE_OPENCV) && defined(FE_HAVE_OPENCV_IMGCODECS)
// OpenCV's encoders on the same picture (cv::Mat rows top-down; the pixel
// order does not change the work). OpenCV's PNG default uses a faster
// compression level than libpng's default, and its TIFF default is LZW.
void OpenCvSave(benchmark::State& state, const char* extension, std::vector<int> params)
{
    cv::setNumThreads(1);
    cv::Mat picture(static_cast<int>(kHeight), static_cast<int>(kWidth), CV_8UC3);
    FillPicture(picture.data, picture.step);
    std::vector<std::uint8_t> out;
    for (auto _ : state) {
        cv::imencode(extension, picture, out, params);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
    state.counters["file_bytes"] = static_cast<double>(out.size());
}

void BM_OpenCv_Bmp(benchmark::State& state) { OpenCvSave(state, ".bmp", {}); }
void BM_OpenCv_JpegQ95(benchmark::State& state) { OpenCvSave(state, ".jpg", {cv::IMWRITE_JPEG_QUALITY, 95}); }
void BM_OpenCv_Png(benchmark::State& state) { OpenCvSave(state, ".png", {}); }
void BM_OpenCv_TiffLzw(benchmark::State& state) { OpenCvSave(state, ".tif", {}); }
BENCHMARK(BM_OpenCv_Bmp)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenCv_JpegQ95)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenCv_Png)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenCv_TiffLzw)->Unit(benchmark::kMillisecond);
#endif

} // namespace

BENCHMARK_MAIN();
