#include "effects/notes.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/clock.hpp"
#include "core/fatal.hpp"
#include "draw/draw.hpp"
#include "effects/box.hpp"
#include "effects/gain.hpp"

namespace lumo {

namespace {

// Corners (x, y) of every third face.  Every face's indices are checked, not only the
// ones used, so a bad model is caught whichever faces it would have contributed.
PointList face_corners(const Model& model) {
    check_face_indices(model);
    PointList corners;
    for (std::size_t number = 1; number <= model.faces.size(); ++number) {
        const Face& face = model.faces[number - 1];
        if (number % 3 != 0) continue;
        for (const VertexIndex index : face) {
            const Vertex& v = model.vertices[index];
            corners.push_back({v.x, v.y});
        }
    }
    return corners;
}

// Appends `slice` to the end of `out`, a plain copy of its samples.
void append_copy(ChannelPair& out, const ChannelPair& slice) {
    const std::size_t at = out.size();
    out.x.resize(at + slice.size());
    out.y.resize(at + slice.size());
    std::copy(slice.x.begin(), slice.x.end(), out.x.begin() + static_cast<std::ptrdiff_t>(at));
    std::copy(slice.y.begin(), slice.y.end(), out.y.begin() + static_cast<std::ptrdiff_t>(at));
}

// The closing figure's box in space, corners numbered as BoxCorners draws them.
using Box = std::array<Vertex, 8>;

constexpr Box kBoxStart{{
    {-20.0f, 20.0f, 0.0f},
    {20.0f, 20.0f, 0.0f},
    {20.0f, -20.0f, 0.0f},
    {-20.0f, -20.0f, 0.0f},
    {-20.0f, 20.0f, 40.0f},
    {20.0f, 20.0f, 40.0f},
    {20.0f, -20.0f, 40.0f},
    {-20.0f, -20.0f, 40.0f},
}};

// The entries of Rz(1°)·Ry(1°)·Rx(1°), fixed to the bit so that the 1783 turns of the
// closing figure accumulate the same rounding on every build.
const float kC2 = std::bit_cast<float>(0x3F7FEC0Au);
const float kC3 = std::bit_cast<float>(0x3F7FEC63u);
const float kK1 = std::bit_cast<float>(0x3C8C741Bu);
const float kK2 = std::bit_cast<float>(0x3C8EF2C6u);
const float kK3 = std::bit_cast<float>(0x3C916BF7u);
const float kS1 = std::bit_cast<float>(0x3C8EF859u);

void turn(Box& box) {
    for (Vertex& v : box) {
        const float x = v.x;
        const float y = v.y;
        const float z = v.z;
        v.x = ((x * kC2) - (y * kK1)) + (z * kK3);
        v.y = ((y * kC3) + (x * kK2)) - (z * kK1);
        v.z = ((y * kK2) - (x * kS1)) + (z * kC2);
    }
}

float toward_zero(float value) { return value > 0.0f ? value - 0.5f : value + 0.5f; }

// Only x and y are pulled in; the turn then mixes z back in, so the box never quite
// reaches the origin.
void collapse(Box& box) {
    for (Vertex& v : box) {
        v.x = toward_zero(v.x);
        v.y = toward_zero(v.y);
    }
}

// Moves the box on by one slice and returns its edges as one list.
PointList next_box_slice(Box& box, bool collapsing, float step) {
    if (collapsing) collapse(box);
    turn(box);
    BoxCorners corners;
    for (std::size_t i = 0; i < corners.size(); ++i) corners[i] = {box[i].x, box[i].y};
    PointList lines;
    draw_box(lines, corners, step);
    return lines;
}

// One pass of the melody: the box fitted to each note for repeats - 1 slices, collapsing
// over the last slices of every note.
void melody_pass(Box& box, unsigned repeats, std::span<const Note> notes, float step, ChannelPair& out) {
    const unsigned threshold = repeats - repeats / 8;
    for (const Note& note : notes) {
        for (unsigned k = 1; k < repeats; ++k) {
            PointList fitted = wave_to_length(note.octave, note.name, next_box_slice(box, k > threshold, step));
            append_slice(out, fitted, 1);
        }
    }
}

// Blends `count` points of the figure into the box's samples from `xs` and `ys` on, the
// samples numbered from `first` in the cross-fade: the box weighs number / last.  The
// lists are apart (__restrict), so the compiler makes vector operations of the loop;
// inlined, it would lose sight of that.
[[gnu::noinline]] void blend(float* __restrict xs, float* __restrict ys, const Point* __restrict figure,
                             std::size_t count, std::size_t first, float last) {
    for_each_index(count, [=](std::size_t i) {
        const float t = static_cast<float>(static_cast<std::int32_t>(first + i)) / last;
        xs[i] = t * xs[i] + figure[i].x * (1.0f - t);
        ys[i] = t * ys[i] + figure[i].y * (1.0f - t);
    });
}

// The turning box blended in from `figure`: the weight moves linearly over the whole
// cross-fade, so it begins on the figure and ends on the box.
void cross_fade(Box& box, std::uint64_t slices, const PointList& figure, float step, ChannelPair& out) {
    const std::size_t begin = out.size();
    for (std::uint64_t k = 0; k < slices; ++k) {
        PointList lines = next_box_slice(box, false, step);
        append_slice(out, lines, 1);
    }
    // The figure side is the figure repeated once per slice; it is read in place.
    const std::size_t box_length = out.size() - begin;
    const std::uint64_t figure_length = slices * figure.size();
    if (figure_length != box_length) {
        fatal("assertion `left == right` failed: Vectors must be the same length\n  left: " +
              std::to_string(figure_length) + "\n right: " + std::to_string(box_length));
    }
    const float last = static_cast<float>(std::max<std::size_t>(box_length, 2) - 1);
    for (std::size_t start = 0; start < box_length; start += figure.size()) {
        blend(out.x.data() + begin + start, out.y.data() + begin + start, figure.data(), figure.size(), start, last);
    }
}

}  // namespace

ChannelPair obj_note(unsigned repeats, std::span<const Note> notes, const Model& model, float scale) {
    if (notes.empty() || repeats < 2) return {};
    // The corners do not depend on the note, and every slice of a note is the same, so
    // each note's slice is rendered once and copied.
    const PointList corners = face_corners(model);
    ChannelPair out;
    out.reserve(notes.size() * (repeats - 1) * kSliceSamples);
    for (const Note& note : notes) {
        PointList fitted = wave_to_length(note.octave, note.name, corners);
        ChannelPair slice;
        append_slice(slice, fitted, 5);
        for (unsigned k = 1; k < repeats; ++k) append_copy(out, slice);
    }
    const float delta = (scale + (-0.3f)) - scale;
    apply_linear_gain(out, 0, scale, delta);
    return out;
}

ChannelPair loppu(unsigned repeats, const PointList& figure, std::span<const Note> notes, float step) {
    Box box = kBoxStart;
    ChannelPair out;
    const std::uint64_t slices_total = static_cast<std::uint64_t>(repeats) * notes.size();
    const std::uint64_t fade_slices = slices_total >= 2 ? slices_total - 1 : 0;
    const bool melody = !notes.empty() && repeats >= 2;
    const std::uint64_t pass_slices = melody ? notes.size() * (repeats - 1) : 0;
    // Room for every slice: a slice whose box is too small to draw leaves its room unused
    // (and untouched, so it costs no memory).
    out.reserve(static_cast<std::size_t>((fade_slices + 2 * pass_slices) * kSliceSamples));
    if (fade_slices > 0) cross_fade(box, fade_slices, figure, step, out);
    if (!melody) return out;

    melody_pass(box, repeats, notes, step, out);
    // The second pass fades out in place: 1 + (-1) * (i / n) is exactly 1 - i / n.
    const std::size_t fading = out.size();
    melody_pass(box, repeats, notes, step, out);
    apply_linear_gain(out, fading, 1.0f, -1.0f);
    return out;
}

}  // namespace lumo
