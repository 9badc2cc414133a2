// Decoding the embedded clips: the show decodes all eight, straight into their two
// channels, before it starts playing.
#include <benchmark/benchmark.h>

#include "assets/assets.hpp"
#include "wave/wav.hpp"

namespace {

void BM_ReadEmbeddedClips(benchmark::State& state) {
    for (auto _ : state) {
        for (int number = 1; number <= lumo::assets::kClipCount; ++number) {
            lumo::Result<lumo::ChannelPair> channels = lumo::read_wav_channels(lumo::assets::clip(number));
            benchmark::DoNotOptimize(channels.value().x.data());
        }
    }
    state.SetItemsProcessed(state.iterations() * lumo::assets::kClipCount * 289786);
}
BENCHMARK(BM_ReadEmbeddedClips)->Unit(benchmark::kMillisecond);

}  // namespace
