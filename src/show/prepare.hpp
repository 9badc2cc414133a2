// Show preparation: every figure of the show rendered into the voices' wavetables.
#pragma once

#include <array>
#include <memory>

#include "core/points.hpp"
#include "core/random.hpp"
#include "show/catalogue.hpp"
#include "show/score.hpp"

namespace lumo {

struct PreparedShow {
    // The wavetables of voices 1 … 27: voice v plays voice_figures[v - 1].
    std::array<ChannelPair, kFigureCount> voice_figures;
    std::shared_ptr<const Score> score;
};

// Loads every model and clip and renders all 27 figures in rendering order, drawing the
// blocks' speeds and the outlines' edge orders from `random`.  A clip that does not
// decode, or malformed embedded data, stops the program.
PreparedShow prepare_show(RandomEngine& random);

// The two channels of `figure` in a prepared show.
const ChannelPair& channels_of(const PreparedShow& show, Figure figure);

// The closing figure's input: the last (at most) 1920 points of `figure`, last point first.
PointList closing_input(const PointList& figure);

}  // namespace lumo
