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

// What obj draws of the model each frame.
enum class ObjMode : std::uint8_t {
    DotsAboutOrigin = 0,  // the corners as dots, turned about the origin
    DotsAboutCentre = 1,  // the corners as dots, turned about the model's centre (as is any other value)
    Triangles = 2,        // every triangle's edges
    Outline = 3,          // the edges of exactly one face, in an order `random` shuffles anew every
                          // frame (no other mode draws from it)
};

ChannelPair obj(std::int32_t length, const Model& model, ObjMode mode, float rot_y, float rot_z,
                float rot_x, float step, float scale_start, float scale_end,
                std::optional<Lowpass> lowpass, unsigned repeat, std::int32_t face_every, RandomEngine& random);

}  // namespace lumo
