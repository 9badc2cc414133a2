// The two melody figures of the show, as the show renders them: the note-object figure
// over model 11, and the closing figure.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <vector>

#include "assets/assets.hpp"
#include "effects/notes.hpp"
#include "obj/obj.hpp"
#include "show/score.hpp"

namespace lumo {
namespace {

void BM_ObjNoteShow(benchmark::State& state) {
    const Model model = load_obj(assets::model(11));
    const std::vector<Note> melody = make_melody();
    for (auto _ : state) {
        ChannelPair figure = obj_note(75, melody, model, 0.7f);
        benchmark::DoNotOptimize(figure.x.data());
    }
}
BENCHMARK(BM_ObjNoteShow)->Unit(benchmark::kMillisecond);

void BM_LoppuShow(benchmark::State& state) {
    const std::vector<Note> melody = make_melody();
    PointList figure;
    for (std::size_t i = 0; i < 1920; ++i) {
        figure.push_back({static_cast<float>(i % 40) / 100.0f - 0.2f, static_cast<float>(i % 24) / 100.0f});
    }
    for (auto _ : state) {
        ChannelPair closing = loppu(75, figure, melody, 1.0f);
        benchmark::DoNotOptimize(closing.x.data());
    }
}
BENCHMARK(BM_LoppuShow)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace lumo
