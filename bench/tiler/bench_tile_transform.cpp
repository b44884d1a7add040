// The block tiling transform on an 8192 x 8192 32-bit picture, for each block
// size, beside a plain memcpy of the same picture's pixels in the same run.
// Goals: a = 8 within 1.5 x the copy; a = 2 and a = 4 faster than the copy.

#include "platform/forms/graphics.h"
#include "tiler/tile_transform.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

constexpr int kSide = 8192;

TBitmap& Picture() {
    static TBitmap picture = [] {
        TBitmap b(kSide, kSide, TPixelFormat::pf32bit);
        for (int y = 0; y < kSide; ++y) {
            auto* row = reinterpret_cast<std::uint32_t*>(b.ScanLine(y));
            for (int x = 0; x < kSide; ++x)
                row[x] = 0xFF000000u | static_cast<std::uint32_t>(x * 2654435761u ^ y);
        }
        return b;
    }();
    return picture;
}

void BM_MemcpyPicture(benchmark::State& state) {
    TBitmap& picture = Picture();
    const size_t bytes = static_cast<size_t>(picture.Image().sizeInBytes());
    std::vector<std::uint8_t> target(bytes, 1);
    for (auto _ : state) {
        std::memcpy(target.data(), picture.ScanLine(0), bytes);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}
BENCHMARK(BM_MemcpyPicture)->Unit(benchmark::kMillisecond);

void BM_TileTopLeftBlock(benchmark::State& state) {
    TBitmap& picture = Picture();
    const int a = static_cast<int>(state.range(0));
    for (auto _ : state) {
        TileTopLeftBlock(picture, a);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            picture.Image().sizeInBytes());
}
BENCHMARK(BM_TileTopLeftBlock)->Arg(2)->Arg(4)->Arg(8)->Unit(benchmark::kMillisecond);

} // namespace

namespace {

// Encoding the same picture as a 32-bit BMP file in memory (what a save writes).
void BM_SaveToBytes32(benchmark::State& state) {
    TBitmap& picture = Picture();
    for (auto _ : state) {
        QByteArray file = picture.SaveToBytes();
        benchmark::DoNotOptimize(file.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            picture.Image().sizeInBytes());
}
BENCHMARK(BM_SaveToBytes32)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
