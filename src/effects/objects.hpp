// The wireframe object effect: a model turned frame by frame and drawn as dots,
// triangles or its outline, one 0.02-second slice per frame.
#pragma once

#include <cstdint>
#include <optional>

#include "core/points.hpp"
#include "core/random.hpp"
#include "obj/obj.hpp"

namespace lumo {

// The cutoffs, in Hz, of the sweeping low-pass at the figure's first and last sample.
struct Lowpass {
    float start_hz;
    float end_hz;
};

// Modes: 0 dots turned about the origin; 1 (and any other value) dots turned about the
// model's centre; 2 every triangle's edges; 3 the outline (edges of exactly one face),
// drawn in an order that `random` shuffles anew every frame (no other mode draws from it).
ChannelPair obj(std::int32_t length, const Model& model, std::uint8_t mode, float rot_y, float rot_z,
                float rot_x, float step, float scale_start, float scale_end,
                std::optional<Lowpass> lowpass, unsigned repeat, std::int32_t face_every, RandomEngine& random);

}  // namespace lumo
