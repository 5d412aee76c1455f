// The screen blitter's conversion of a full 480 x 640 screen from 16-bit
// 5-6-5 pixels to the frame buffer's 18-bit three-byte pixels, against
// QImage::convertToFormat from RGB16 to RGB888 of the same pixels in the
// same run (the reference). Goal: at most 1.5x the reference.
#include <benchmark/benchmark.h>

#include <QImage>

#include <vector>

#include "host/blitrows.h"

namespace {

constexpr int width = 480, height = 640;

std::vector<uint16_t> screenPixels()
{
    std::vector<uint16_t> pixels(size_t(Blit_engineRowBytes(width) / 2) * height);
    for (size_t i = 0; i < pixels.size(); i++)
        pixels[i] = uint16_t(i * 2654435761u >> 16);
    return pixels;
}

void BM_Blit565To18(benchmark::State &state)
{
    std::vector<uint16_t> pixels = screenPixels();
    std::vector<uint8_t> frame(size_t(width) * height * 3);
    for (auto _ : state) {
        Blit_rows565To18(reinterpret_cast<const uint8_t *>(pixels.data()),
                         Blit_engineRowBytes(width), frame.data(), width * 3, width, height);
        benchmark::DoNotOptimize(frame.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * width * height);
}
BENCHMARK(BM_Blit565To18);

void BM_QImageRgb16ToRgb888(benchmark::State &state)
{
    std::vector<uint16_t> pixels = screenPixels();
    const QImage source(reinterpret_cast<const uchar *>(pixels.data()), width, height,
                        Blit_engineRowBytes(width), QImage::Format_RGB16);
    for (auto _ : state) {
        QImage out = source.convertToFormat(QImage::Format_RGB888);
        benchmark::DoNotOptimize(out.constBits());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * width * height);
}
BENCHMARK(BM_QImageRgb16ToRgb888);

} // namespace
