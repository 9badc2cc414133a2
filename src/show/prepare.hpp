// Show preparation: every figure of the show rendered into the voices' wavetables.
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "assets/assets.hpp"
#include "core/points.hpp"
#include "core/random.hpp"
#include "obj/obj.hpp"
#include "show/catalogue.hpp"
#include "show/score.hpp"
#include "wave/note.hpp"

namespace lumo {

struct PreparedShow {
    // The wavetables of voices 1 … 27: voice v plays voice_figures[v - 1].
    std::array<ChannelPair, kFigureCount> voice_figures;
    std::shared_ptr<const Score> score;
};

// The threads preparation uses unless told otherwise: as many as the machine has, at
// most four.
unsigned preparation_threads();

// Loads every model and clip and renders all 27 figures, on `threads` threads (the
// calling one among them; all are joined before it returns).  Each figure draws its
// random numbers (the blocks' speeds, the outlines' edge orders) from an engine of its
// own, seeded in figure order from `random`, so a seed gives the same show whatever the
// thread count.  A clip that does not decode, or malformed embedded data, stops the
// program.
PreparedShow prepare_show(RandomEngine& random, unsigned threads = preparation_threads());

// The two channels of `figure` in a prepared show.
const ChannelPair& channels_of(const PreparedShow& show, Figure figure);

// The closing figure's input: the last (at most) 1920 points of `figure`, last point first.
PointList closing_input(const ChannelPair& figure);

namespace detail {

// The steps of prepare_show, for measuring figure by figure.

// What the figures are made from.
struct ShowInputs {
    std::array<Model, assets::kModelCount> models;
    std::vector<Note> melody;
};

ShowInputs load_show_inputs(unsigned threads);

// One engine per figure, in figure order, each seeded with one draw from `random`.
std::vector<RandomEngine> figure_engines(RandomEngine& random);

// Any figure but the closing one, drawing from `random` if it draws at all.
ChannelPair make_figure(Figure figure, const ShowInputs& inputs, RandomEngine& random);

// The closing figure, which starts from the end of the raised hand's long figure.
ChannelPair make_closing_figure(const ChannelPair& long_hand, const ShowInputs& inputs);

}  // namespace detail

}  // namespace lumo
