// The two melody figures of the show at their show sizes: the note-object figure over a
// model of 1236 faces, and the closing figure.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <vector>

#include "effects/notes.hpp"

namespace lumo {
namespace {

using enum NoteName;

const std::vector<Note> kMelody = {
    {1, C, 32.7f}, {1, E, 41.2f}, {1, Ab, 51.91f}, {3, C, 130.81f},
    {1, E, 41.2f}, {1, B, 61.74f}, {2, Db, 69.3f}, {1, Ab, 51.91f},
};

// A strip of 1236 triangles over 620 vertices zig-zagging across the drawing plane.
Model strip_model() {
    Model model;
    for (int i = 0; i < 620; ++i) {
        const float x = -60.0f + 120.0f * static_cast<float>(i / 2) / 309.0f;
        model.vertices.push_back({x, i % 2 == 0 ? 40.0f : -40.0f, 0.0f});
    }
    for (VertexIndex i = 0; i < 1236; ++i) model.faces.push_back({i % 618, i % 618 + 1, i % 618 + 2});
    model.center = {0.0f, 0.0f, 0.0f};
    return model;
}

void BM_ObjNoteShow(benchmark::State& state) {
    const Model model = strip_model();
    for (auto _ : state) {
        PointList figure = obj_note(75, kMelody, model, 0.7f);
        benchmark::DoNotOptimize(figure.data());
    }
}
BENCHMARK(BM_ObjNoteShow)->Unit(benchmark::kMillisecond);

void BM_LoppuShow(benchmark::State& state) {
    PointList figure;
    for (std::size_t i = 0; i < 1920; ++i) {
        figure.push_back({static_cast<float>(i % 40) / 100.0f - 0.2f, static_cast<float>(i % 24) / 100.0f});
    }
    for (auto _ : state) {
        PointList closing = loppu(75, figure, kMelody, 1.0f);
        benchmark::DoNotOptimize(closing.data());
    }
}
BENCHMARK(BM_LoppuShow)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace lumo
