#include "assets/assets.hpp"

#include "core/fatal.hpp"

// The begin/end symbols come from the assembler file that cmake/assets.cmake generates.
#define LUMO_ASSET(name)                     \
    extern "C" const std::byte name##_begin[]; \
    extern "C" const std::byte name##_end[];
LUMO_ASSET(lumo_clip_1)
LUMO_ASSET(lumo_clip_2)
LUMO_ASSET(lumo_clip_3)
LUMO_ASSET(lumo_clip_4)
LUMO_ASSET(lumo_clip_5)
LUMO_ASSET(lumo_clip_6)
LUMO_ASSET(lumo_clip_7)
LUMO_ASSET(lumo_clip_8)
LUMO_ASSET(lumo_model_1)
LUMO_ASSET(lumo_model_2)
LUMO_ASSET(lumo_model_3)
LUMO_ASSET(lumo_model_4)
LUMO_ASSET(lumo_model_5)
LUMO_ASSET(lumo_model_6)
LUMO_ASSET(lumo_model_7)
LUMO_ASSET(lumo_model_8)
LUMO_ASSET(lumo_model_9)
LUMO_ASSET(lumo_model_10)
LUMO_ASSET(lumo_model_11)
#undef LUMO_ASSET

namespace lumo::assets {
namespace {

struct Embedded {
    const std::byte* begin;
    const std::byte* end;
};

#define LUMO_ASSET(name) Embedded{name##_begin, name##_end}
constexpr Embedded kClips[kClipCount] = {
    LUMO_ASSET(lumo_clip_1), LUMO_ASSET(lumo_clip_2), LUMO_ASSET(lumo_clip_3),
    LUMO_ASSET(lumo_clip_4), LUMO_ASSET(lumo_clip_5), LUMO_ASSET(lumo_clip_6),
    LUMO_ASSET(lumo_clip_7), LUMO_ASSET(lumo_clip_8),
};
constexpr Embedded kModels[kModelCount] = {
    LUMO_ASSET(lumo_model_1), LUMO_ASSET(lumo_model_2),  LUMO_ASSET(lumo_model_3),
    LUMO_ASSET(lumo_model_4), LUMO_ASSET(lumo_model_5),  LUMO_ASSET(lumo_model_6),
    LUMO_ASSET(lumo_model_7), LUMO_ASSET(lumo_model_8),  LUMO_ASSET(lumo_model_9),
    LUMO_ASSET(lumo_model_10), LUMO_ASSET(lumo_model_11),
};
#undef LUMO_ASSET

// Numbers are 1-based, as in the show; anything else is a bug in the caller.
const Embedded& lookup(const Embedded* table, int count, int number) {
    std::size_t index = checked_index(static_cast<std::size_t>(number) - 1, static_cast<std::size_t>(count));
    return table[index];
}

}  // namespace

std::span<const std::byte> clip(int number) {
    const Embedded& asset = lookup(kClips, kClipCount, number);
    return {asset.begin, asset.end};
}

std::string_view model(int number) {
    const Embedded& asset = lookup(kModels, kModelCount, number);
    return {reinterpret_cast<const char*>(asset.begin), static_cast<std::size_t>(asset.end - asset.begin)};
}

}  // namespace lumo::assets
