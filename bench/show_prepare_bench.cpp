// Start-up: the time from the chosen device to the first sound is mostly show preparation.
#include <benchmark/benchmark.h>

#include "core/random.hpp"
#include "show/prepare.hpp"

namespace {

void BM_PrepareShow(benchmark::State& state) {
    lumo::RandomEngine random(1);
    std::size_t wavetable_bytes = 0;
    for (auto _ : state) {
        lumo::PreparedShow show = lumo::prepare_show(random);
        wavetable_bytes = 0;
        for (const lumo::ChannelPair& pair : show.voice_figures) {
            wavetable_bytes += (pair.x.size() + pair.y.size()) * sizeof(float);
        }
        benchmark::DoNotOptimize(show);
    }
    state.counters["wavetable_MB"] = static_cast<double>(wavetable_bytes) / 1e6;
}
BENCHMARK(BM_PrepareShow)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
