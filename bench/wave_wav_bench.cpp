// Decoding a clip-sized WAV file from memory: the show decodes eight of these before
// it starts playing.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string_view>
#include <vector>

#include "wave/wav.hpp"

namespace {

// A 16-bit stereo file of 289,786 frames, the size of every embedded clip.
std::vector<std::byte> clip_sized_file() {
    constexpr std::uint32_t frames = 289786;
    std::vector<std::byte> file;
    auto put = [&](std::uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) file.push_back(static_cast<std::byte>((value >> (8 * i)) & 0xFF));
    };
    auto text = [&](std::string_view s) {
        for (char c : s) file.push_back(static_cast<std::byte>(c));
    };
    text("RIFF");
    put(36 + frames * 4, 4);
    text("WAVEfmt ");
    put(16, 4);
    put(1, 2);
    put(2, 2);
    put(96000, 4);
    put(384000, 4);
    put(4, 2);
    put(16, 2);
    text("data");
    put(frames * 4, 4);
    std::uint32_t state = 1;
    for (std::uint32_t i = 0; i < frames * 2; ++i) {
        state = state * 1664525u + 1013904223u;
        put(state >> 16, 2);
    }
    return file;
}

void BM_ReadClipSizedWav(benchmark::State& state) {
    const std::vector<std::byte> file = clip_sized_file();
    for (auto _ : state) {
        lumo::Result<lumo::PointList> points = lumo::read_wav_to_vec(file);
        benchmark::DoNotOptimize(points.value().data());
    }
    state.SetItemsProcessed(state.iterations() * 289786);
}
BENCHMARK(BM_ReadClipSizedWav)->Unit(benchmark::kMillisecond);

}  // namespace
