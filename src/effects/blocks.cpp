#include "effects/blocks.hpp"

#include <array>
#include <cstddef>

#include "core/clock.hpp"
#include "draw/draw.hpp"
#include "effects/box.hpp"
#include "obj/obj.hpp"

namespace lumo {

namespace {

constexpr float kHalfSide = 10.0f;
constexpr float kNearZ = 500.0f;
constexpr float kFarZ = 540.0f;
constexpr float kRestartZ = 50.0f;

struct Block {
    std::array<Vertex, 8> corners;
    float center_x;
    float center_y;
    float speed;
};

// Corners laid out as BoxCorners expects.
void restart(Block& block, RandomEngine& random) {
    const float left = block.center_x - kHalfSide;
    const float right = block.center_x + kHalfSide;
    const float top = block.center_y + kHalfSide;
    const float bottom = block.center_y - kHalfSide;
    block.corners = {{
        {left, top, kNearZ},
        {right, top, kNearZ},
        {right, bottom, kNearZ},
        {left, bottom, kNearZ},
        {left, top, kFarZ},
        {right, top, kFarZ},
        {right, bottom, kFarZ},
        {left, bottom, kFarZ},
    }};
    block.speed = static_cast<float>(random_int(random, 1, 7));
}

void move(Block& block, RandomEngine& random) {
    if (block.corners[0].z <= kRestartZ) restart(block, random);
    for (Vertex& corner : block.corners) corner.z = corner.z - block.speed;
}

// A perspective of 100 / z, kept as three rounded steps: their rounding shows in where
// the lines land on the grid.
float project(float coordinate, float z) { return ((coordinate * 50.0f) / z * 200.0f) / 100.0f; }

void draw(PointList& frame, const Block& block) {
    BoxCorners screen;
    for (std::size_t i = 0; i < screen.size(); ++i) {
        const Vertex& c = block.corners[i];
        screen[i] = {project(c.x, c.z), project(c.y, c.z)};
    }
    draw_box(frame, screen, 1.0f);
}

}  // namespace

ChannelPair blocks(std::int32_t length, RandomEngine& random) {
    // Upper left, upper right, lower right, lower left; restarted in this order, so the
    // first four random draws go to blocks 0 to 3.
    std::array<Block, 4> boxes{{
        {{}, -20.0f, 20.0f, 0.0f},
        {{}, 20.0f, 20.0f, 0.0f},
        {{}, 20.0f, -20.0f, 0.0f},
        {{}, -20.0f, -20.0f, 0.0f},
    }};
    for (Block& block : boxes) restart(block, random);

    ChannelPair figure;
    if (length <= 1) return figure;
    const std::size_t frames = static_cast<std::size_t>(length - 1);
    figure.reserve(frames * kSliceSamples);
    PointList frame;
    for (std::size_t k = 0; k < frames; ++k) {
        for (Block& block : boxes) move(block, random);
        for (const Block& block : boxes) draw(frame, block);
        append_slice(figure, frame, 2);
    }
    return figure;
}

}  // namespace lumo
