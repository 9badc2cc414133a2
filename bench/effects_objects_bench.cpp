// The object effect on a model as large as the show's biggest (about 4700 faces) over a
// 6-second figure, and the blocks figure of the show.
#include <benchmark/benchmark.h>

#include <cmath>

#include "core/random.hpp"
#include "effects/blocks.hpp"
#include "effects/objects.hpp"

namespace lumo {
namespace {

// A bumpy open grid of 69 x 68 quads, each kept as its first triangle the way the loader
// keeps a quad: few edges are shared, so the outline is nearly every edge.
Model grid_model() {
    constexpr int columns = 70;
    constexpr int rows = 69;
    Model model;
    for (int j = 0; j < rows; ++j) {
        for (int i = 0; i < columns; ++i) {
            const float x = -80.0f + 160.0f * static_cast<float>(i) / (columns - 1);
            const float y = -80.0f + 160.0f * static_cast<float>(j) / (rows - 1);
            model.vertices.push_back({x, y, 10.0f * std::sin(x * 0.1f) * std::cos(y * 0.1f) - 100.0f});
        }
    }
    auto at = [](int i, int j) { return static_cast<VertexIndex>(j * columns + i); };
    for (int j = 0; j + 1 < rows; ++j) {
        for (int i = 0; i + 1 < columns; ++i) model.faces.push_back({at(i, j), at(i + 1, j), at(i + 1, j + 1)});
    }
    model.center = {0.0f, 0.0f, -100.0f};
    return model;
}

void BM_ObjLength144(benchmark::State& state) {
    const Model model = grid_model();
    const auto mode = static_cast<ObjMode>(state.range(0));
    RandomEngine random(1);
    for (auto _ : state) {
        ChannelPair figure = obj(144, model, mode, 0.02f, 0.01f, 0.015f, 1.0f, 1.0f, 1.0f, std::nullopt, 2, 1, random);
        benchmark::DoNotOptimize(figure.x.data());
    }
    state.counters["faces"] = static_cast<double>(model.faces.size());
}
BENCHMARK(BM_ObjLength144)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond);

void BM_Blocks400(benchmark::State& state) {
    RandomEngine random(1);
    for (auto _ : state) {
        ChannelPair figure = blocks(400, random);
        benchmark::DoNotOptimize(figure.x.data());
    }
}
BENCHMARK(BM_Blocks400)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace lumo
