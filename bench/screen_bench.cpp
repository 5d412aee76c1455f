// Turning a 480 x 640 16-bit screen image for orientations 1 to 3, against
// the plain orientation-0 copy of the same bytes in the same run (the
// reference: argument 0). Goal: each turn at most 3x the plain copy.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "viewer/screen/screen.h"

namespace {

constexpr int32_t width = 480, height = 640;

void BM_ScreenTurn(benchmark::State &state)
{
    int32_t orientation = int32_t(state.range(0));
    size_t bytes = size_t(Screen_rowBytes(width, 2)) * height;
    std::vector<uint16_t> source(bytes / 2), out(bytes / 2);
    for (size_t i = 0; i < source.size(); i++)
        source[i] = uint16_t(i * 2654435761u >> 16);
    for (auto _ : state) {
        if (orientation == 0)
            memmove(out.data(), source.data(), bytes);
        else
            Screen_turn16(source.data(), width, height, out.data(), orientation);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}
BENCHMARK(BM_ScreenTurn)->Arg(0)->Arg(1)->Arg(2)->Arg(3);

} // namespace
