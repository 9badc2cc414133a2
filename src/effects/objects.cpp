#include "effects/objects.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "core/clock.hpp"
#include "core/convert.hpp"
#include "core/fatal.hpp"
#include "draw/draw.hpp"
#include "effects/gain.hpp"
#include "wave/filter.hpp"

namespace lumo {

namespace {

constexpr float kFramesPerLengthUnit = 2.0833333f;  // nearest float to 25 / 12

using Matrix = std::array<std::array<float, 3>, 3>;

// Rz · Ry · Rx, each entry formed in the order below: the figures depend on its rounding.
Matrix rotation(float rot_y, float rot_z, float rot_x) {
    const float cy = std::cos(rot_y), sy = std::sin(rot_y);
    const float cz = std::cos(rot_z), sz = std::sin(rot_z);
    const float cx = std::cos(rot_x), sx = std::sin(rot_x);
    return {{
        {cy * cz, (sy * cz) * sx - sz * cx, sz * sx + (sy * cz) * cx},
        {cy * sz, cz * cx + (sy * sz) * sx, (sy * sz) * cx - cz * sx},
        {-sy, cy * sx, cy * cx},
    }};
}

// The turning positions, kept axis by axis in blocks: turning a block is a fixed-length
// loop, which the compiler makes into vector operations.  The last block is padded.
struct PositionBlock {
    std::array<float, kBlockLength> x;
    std::array<float, kBlockLength> y;
    std::array<float, kBlockLength> z;
};

struct Positions {
    std::vector<PositionBlock> blocks;
    std::size_t count = 0;
};

Positions positions_for(std::size_t count) {
    return {std::vector<PositionBlock>((count + kBlockLength - 1) / kBlockLength), count};
}

void set_position(Positions& positions, std::size_t i, const Vertex& v) {
    PositionBlock& block = positions.blocks[i / kBlockLength];
    block.x[i % kBlockLength] = v.x;
    block.y[i % kBlockLength] = v.y;
    block.z[i % kBlockLength] = v.z;
}

// Orthographic: a position is drawn at its x and y.
Point drawn_at(const Positions& positions, std::size_t i) {
    const PositionBlock& block = positions.blocks[i / kBlockLength];
    return {block.x[i % kBlockLength], block.y[i % kBlockLength]};
}

// Turns every position once, in place, so the rotation accumulates from frame to frame.
// About a pivot the difference is taken first and the pivot added back last; about the
// origin nothing is added at all (adding 0 would turn -0 into +0).  Each row sums the
// y-term first, then the x-term, then the z-term.
void turn(Positions& positions, const Matrix& m, bool about_origin, Vertex pivot) {
    // Copied out, so that the compiler knows the stores below leave them alone.
    const float r00 = m[0][0], r01 = m[0][1], r02 = m[0][2];
    const float r10 = m[1][0], r11 = m[1][1], r12 = m[1][2];
    const float r20 = m[2][0], r21 = m[2][1], r22 = m[2][2];
    const float px = pivot.x, py = pivot.y, pz = pivot.z;
    for (PositionBlock& b : positions.blocks) {
        if (about_origin) {
            for (std::size_t j = 0; j < kBlockLength; ++j) {
                const float x = b.x[j], y = b.y[j], z = b.z[j];
                b.x[j] = r01 * y + r00 * x + r02 * z;
                b.y[j] = r11 * y + r10 * x + r12 * z;
                b.z[j] = r21 * y + r20 * x + r22 * z;
            }
        } else {
            for (std::size_t j = 0; j < kBlockLength; ++j) {
                const float dx = b.x[j] - px, dy = b.y[j] - py, dz = b.z[j] - pz;
                b.x[j] = px + (r01 * dy + r00 * dx + r02 * dz);
                b.y[j] = py + (r11 * dy + r10 * dx + r12 * dz);
                b.z[j] = pz + (r21 * dy + r20 * dx + r22 * dz);
            }
        }
    }
}

// The corners that a dots frame plays: those of every face_every-th face, in face order,
// as far as one slice reaches.  A vertex shared by several faces is one corner of each,
// turned along with them; identical arithmetic keeps the copies identical.
Positions dot_corners(const Model& model, std::int32_t face_every, std::size_t heard) {
    std::vector<VertexIndex> corners;
    std::int64_t counter = 0;
    for (const Face& face : model.faces) {
        if (corners.size() >= heard) break;
        ++counter;
        if (counter % face_every == 0) corners.insert(corners.end(), face.begin(), face.end());
    }
    Positions positions = positions_for(std::min(corners.size(), heard));
    for (std::size_t i = 0; i < positions.count; ++i) set_position(positions, i, model.vertices[corners[i]]);
    return positions;
}

// A dots frame: the corners, in order, a block at a time.
void draw_dots(PointList& frame, const Positions& corners) {
    std::size_t left = corners.count;
    for (const PositionBlock& block : corners.blocks) {
        const std::size_t count = std::min(left, kBlockLength);
        for (std::size_t j = 0; j < count; ++j) frame.push_back({block.x[j], block.y[j]});
        left -= count;
    }
}

Positions all_vertices(const Model& model) {
    Positions positions = positions_for(model.vertices.size());
    for (std::size_t i = 0; i < positions.count; ++i) set_position(positions, i, model.vertices[i]);
    return positions;
}

void append_line(PointList& frame, const Positions& positions, VertexIndex from, VertexIndex to, float step) {
    const Point a = drawn_at(positions, from);
    const Point b = drawn_at(positions, to);
    append_line(frame, a.x, a.y, b.x, b.y, step);
}

// Only the first `heard` points of a frame are played, so drawing stops once it has them.
void draw_triangles(PointList& frame, const Positions& positions, const std::vector<Face>& faces, float step,
                    std::size_t heard) {
    for (const Face& face : faces) {
        if (frame.size() >= heard) return;
        append_line(frame, positions, face[0], face[1], step);
        append_line(frame, positions, face[1], face[2], step);
        append_line(frame, positions, face[2], face[0], step);
    }
}

struct Edge {
    VertexIndex low;
    VertexIndex high;
};

// The edges that belong to exactly one face.  Faces do not change from frame to frame,
// so the outline is found once, by sorting the packed (smaller, larger) keys and keeping
// the keys that occur once.
std::vector<Edge> outline_edges(const std::vector<Face>& faces) {
    std::vector<std::uint64_t> keys;
    keys.reserve(faces.size() * 3);
    auto add = [&keys](VertexIndex a, VertexIndex b) {
        const VertexIndex low = std::min(a, b);
        const VertexIndex high = std::max(a, b);
        keys.push_back((static_cast<std::uint64_t>(low) << 32) | high);
    };
    for (const Face& face : faces) {
        add(face[0], face[1]);
        add(face[1], face[2]);
        add(face[0], face[2]);
    }
    std::sort(keys.begin(), keys.end());
    std::vector<Edge> edges;
    for (std::size_t i = 0; i < keys.size();) {
        std::size_t j = i + 1;
        while (j < keys.size() && keys[j] == keys[i]) ++j;
        if (j - i == 1) {
            edges.push_back({static_cast<VertexIndex>(keys[i] >> 32), static_cast<VertexIndex>(keys[i])});
        }
        i = j;
    }
    return edges;
}

void check_edges(const std::vector<Edge>& edges, std::size_t vertex_count) {
    for (const Edge& edge : edges) {
        checked_index(edge.low, vertex_count);
        checked_index(edge.high, vertex_count);
    }
}

// Only the first 1920 samples of a frame are heard, so the outline is drawn in a new
// order every frame to let all of a large outline appear over time.  Written out with
// random_int so that a seeded run gives the same order with any standard library.
void shuffle(std::vector<Edge>& edges, RandomEngine& random) {
    for (std::size_t i = edges.size(); i > 1; --i) {
        const auto j = static_cast<std::size_t>(random_int(random, 0, static_cast<std::int64_t>(i - 1)));
        std::swap(edges[i - 1], edges[j]);
    }
}

void draw_outline(PointList& frame, const Positions& positions, std::vector<Edge>& edges, float step,
                  std::size_t heard, RandomEngine& random) {
    shuffle(edges, random);
    for (const Edge& edge : edges) {
        if (frame.size() >= heard) return;
        append_line(frame, positions, edge.low, edge.high, step);
    }
}

// Points outside the unit square go, the rest keep their order; NaN coordinates stay,
// as their comparisons fail.  Most figures lie wholly inside, which a vectorised scan
// finds out before anything is moved.
void clip(ChannelPair& figure) {
    const auto outside = [&figure](std::size_t i) {
        // `|`, not `||`: both sides are always evaluated, so the scan vectorises.
        return (std::abs(figure.x[i]) > 1.0f) | (std::abs(figure.y[i]) > 1.0f);
    };
    int any_outside = 0;
    for_each_index(figure.size(), [&](std::size_t i) { any_outside |= outside(i); });
    if (any_outside == 0) return;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < figure.size(); ++i) {
        if (outside(i)) continue;
        figure.x[kept] = figure.x[i];
        figure.y[kept] = figure.y[i];
        ++kept;
    }
    figure.x.resize(kept);
    figure.y.resize(kept);
}

}  // namespace

ChannelPair obj(std::int32_t length, const Model& model, ObjMode mode, float rot_y, float rot_z,
                float rot_x, float step, float scale_start, float scale_end,
                std::optional<Lowpass> lowpass, unsigned repeat, std::int32_t face_every, RandomEngine& random) {
    const std::int32_t frame_count =
        saturating_cast<std::int32_t>(static_cast<float>(length) * kFramesPerLengthUnit);
    const std::size_t frames = frame_count < 2 ? 0 : static_cast<std::size_t>(frame_count - 1);

    const bool dots = mode != ObjMode::Triangles && mode != ObjMode::Outline;
    if (frames > 0 && dots && face_every == 0 && !model.faces.empty()) {
        fatal("obj: face_every must not be 0 when drawing dots (modes 0 and 1)");
    }

    ChannelPair figure;
    if (frames > 0) {
        const Matrix r = rotation(rot_y, rot_z, rot_x);
        const std::size_t heard = heard_points(repeat);
        std::vector<Edge> outline;
        if (mode == ObjMode::Outline) {
            outline = outline_edges(model.faces);
            check_edges(outline, model.vertices.size());
        } else {
            check_face_indices(model);  // the faces are the same in every frame
        }
        Positions positions = dots ? dot_corners(model, face_every, heard) : all_vertices(model);

        figure.reserve(frames * kSliceSamples);
        PointList frame;
        for (std::size_t k = 0; k < frames; ++k) {
            turn(positions, r, mode == ObjMode::DotsAboutOrigin, model.center);
            if (dots) {
                draw_dots(frame, positions);
            } else if (mode == ObjMode::Triangles) {
                draw_triangles(frame, positions, model.faces, step, heard);
            } else {
                draw_outline(frame, positions, outline, step, heard, random);
            }
            append_slice(figure, frame, repeat);
        }
    }

    if (lowpass) {
        sweeping_lowpass(figure.x, lowpass->start_hz, lowpass->end_hz);
        sweeping_lowpass(figure.y, lowpass->start_hz, lowpass->end_hz);
    }
    clip(figure);
    apply_linear_gain(figure, 0, scale_start, scale_end - scale_start);
    return figure;
}

}  // namespace lumo
