// What lumo-render asks of the show: the prepared show for a seed, and for each figure
// (1 … 27, in rendering order) its wavetables, the voice that plays it and what it shows.
// lumo-render reaches the show's preparation and its figure numbering only through here.
#pragma once

#include <cstdint>
#include <optional>

#include "core/points.hpp"
#include "show/prepare.hpp"

namespace lumo {

// Every figure rendered; with a seed, the random draws (the blocks' speeds, the order of
// outline edges) are the same on every run.
PreparedShow prepare_show_with_seed(std::optional<std::uint64_t> seed);

const ChannelPair& figure_wavetables(const PreparedShow& show, int figure);

// The voice (1 … 27) that plays figure `figure`.
int voice_of_figure(int figure);

// What figure `figure` shows, for labels; "" outside 1 … 27.
const char* figure_description(int figure);

}  // namespace lumo
