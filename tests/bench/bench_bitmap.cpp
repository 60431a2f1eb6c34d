// Showing a large bitmap: a 4000 x 3000 24-bit BMP file loaded for an 81 x 81 and a 600 x 450
// box and drawn there, as a picture control draws it, beside reading the file's bytes (the
// floor of any decoder of it).
#include "benchpictures.h"
#include "filetesting.h"
#include "graphics.h"
#include "qtbridge.h"
#include "textfile.h"

#include <benchmark/benchmark.h>

#include <QPainter>

#include <cstdint>
#include <fstream>
#include <string>

namespace {

constexpr int kWidth = 4000, kHeight = 3000;

// The file, written once: a BITMAPFILEHEADER and BITMAPINFOHEADER, then bottom-up rows of
// blue, green, red (each a multiple of 4 bytes at this width), in a pattern that no row repeats.
struct BenchBitmap {
    BenchBitmap()
    {
        auto u16 = [](std::uint32_t v) { return std::string{static_cast<char>(v), static_cast<char>(v >> 8)}; };
        auto u32 = [&](std::uint32_t v) { return u16(v) + u16(v >> 16); };
        const std::uint32_t rowBytes = kWidth * 3, pixelsAt = 14 + 40;
        std::ofstream out(path, std::ios::binary);
        out << "BM" << u32(pixelsAt + rowBytes * kHeight) << u32(0) << u32(pixelsAt) << u32(40) << u32(kWidth)
            << u32(kHeight) << u16(1) << u16(24) << u32(0) << u32(rowBytes * kHeight) << u32(2835) << u32(2835)
            << u32(0) << u32(0);
        std::string row(rowBytes, '\0');
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                row[3 * x] = static_cast<char>(x + y);
                row[3 * x + 1] = static_cast<char>(x * 3 ^ y);
                row[3 * x + 2] = static_cast<char>(y * 7 - x);
            }
            out << row;
        }
    }
    testing_files::ScratchFolder scratch;
    const std::string path = scratch / "large.bmp";
};

const std::string& BitmapPath()
{
    static BenchBitmap bitmap;
    return bitmap.path;
}

void BM_BitmapReadFileBytes(benchmark::State& state)
{
    const std::string& path = BitmapPath();
    for (auto _ : state) {
        const std::string data = tk::ReadFileBytes(path);
        benchmark::DoNotOptimize(data.data());
    }
}
BENCHMARK(BM_BitmapReadFileBytes)->Name("Picture/Bmp4000x3000/floor")->Unit(benchmark::kMillisecond);

// Load for the box, then draw into it stretched and smoothed, as TImage paints. The file is
// saved anew before each load, as the picture kept from the last one would be taken instead.
void BM_BitmapShowInBox(benchmark::State& state)
{
    const AnsiString path = tk::FromUtf8(BitmapPath());
    const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
    QImage box(width, height, QImage::Format_RGB32);
    for (auto _ : state) {
        state.PauseTiming();
        bench::Touch(BitmapPath());
        state.ResumeTiming();
        TPicture picture;
        picture.SetTargetSize(width, height);
        picture.LoadFromFile(path);
        QPainter painter(&box);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(box.rect(), picture.impl().image);
        painter.end();
        benchmark::DoNotOptimize(box.constBits());
    }
}
BENCHMARK(BM_BitmapShowInBox)->Name("Picture/Bmp4000x3000")->Args({81, 81})->Args({600, 450})->Unit(benchmark::kMillisecond);

} // namespace
