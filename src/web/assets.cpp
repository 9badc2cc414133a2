// lumo::assets for the page's module: the same interface as the embedded bytes of
// src/assets/, filled at run time.
#include "web/assets.hpp"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "assets/assets.hpp"
#include "clips.hpp"
#include "core/fatal.hpp"
#include "wav.hpp"

namespace lumo::web {
namespace {

std::array<std::string, assets::kModelCount> g_models;
std::array<bool, assets::kModelCount> g_models_set{};
std::array<std::vector<char>, assets::kClipCount> g_clips;

std::size_t index_of(int number, int count) {
    return checked_index(static_cast<std::size_t>(number) - 1, static_cast<std::size_t>(count));
}

}  // namespace

void set_model(int number, std::string text) {
    const std::size_t index = index_of(number, assets::kModelCount);
    g_models[index] = std::move(text);
    g_models_set[index] = true;
}

bool models_set() { return std::ranges::all_of(g_models_set, [](bool set) { return set; }); }

}  // namespace lumo::web

namespace lumo::assets {

// A clip is made when the show first asks for it; preparation decodes each one once.
std::span<const std::byte> clip(int number) {
    std::vector<char>& bytes = web::g_clips[web::index_of(number, kClipCount)];
    if (bytes.empty()) bytes = clipgen::wav_bytes(clipgen::make_clip(number));
    return std::as_bytes(std::span<const char>(bytes));
}

std::string_view model(int number) {
    const std::size_t index = web::index_of(number, kModelCount);
    if (!web::g_models_set[index]) fatal("the page has not handed the module model " + std::to_string(number));
    return web::g_models[index];
}

}  // namespace lumo::assets
