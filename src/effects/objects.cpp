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

// Each row sums the y-term first, then the x-term, then the z-term.
Vertex rotate(const Matrix& r, Vertex d) {
    return {r[0][1] * d.y + r[0][0] * d.x + r[0][2] * d.z,
            r[1][1] * d.y + r[1][0] * d.x + r[1][2] * d.z,
            r[2][1] * d.y + r[2][0] * d.x + r[2][2] * d.z};
}

void turn(std::vector<Vertex>& vertices, const Matrix& r, bool about_origin, Vertex pivot) {
    for (Vertex& v : vertices) {
        if (about_origin) {
            v = rotate(r, v);
        } else {
            const Vertex d = rotate(r, {v.x - pivot.x, v.y - pivot.y, v.z - pivot.z});
            v = {pivot.x + d.x, pivot.y + d.y, pivot.z + d.z};
        }
    }
}

void append_line(PointList& frame, const Vertex& a, const Vertex& b, float step) {
    append(frame, create_line_float(a.x, a.y, b.x, b.y, step));
}

void draw_dots(PointList& frame, const std::vector<Vertex>& vertices, const std::vector<Face>& faces,
               std::int32_t face_every) {
    std::int64_t counter = 0;
    for (const Face& face : faces) {
        // Skipped faces are checked too: a bad index is a bad model whichever faces are shown.
        const Vertex& a = vertices[checked_index(face[0], vertices.size())];
        const Vertex& b = vertices[checked_index(face[1], vertices.size())];
        const Vertex& c = vertices[checked_index(face[2], vertices.size())];
        ++counter;
        if (counter % face_every == 0) {
            frame.push_back({a.x, a.y});
            frame.push_back({b.x, b.y});
            frame.push_back({c.x, c.y});
        }
    }
}

// The number of drawn points a slice plays: later points are cut off, so a frame stops
// drawing lines once it has them (indices are still checked to the end).  With `repeat`
// 0 nothing is played at all.
std::size_t heard_points(unsigned repeat) {
    return repeat == 0 ? 0 : (kSliceSamples + repeat - 1) / repeat;
}

void draw_triangles(PointList& frame, const std::vector<Vertex>& vertices, const std::vector<Face>& faces,
                    float step, std::size_t heard) {
    for (const Face& face : faces) {
        const Vertex& a = vertices[checked_index(face[0], vertices.size())];
        const Vertex& b = vertices[checked_index(face[1], vertices.size())];
        const Vertex& c = vertices[checked_index(face[2], vertices.size())];
        if (frame.size() >= heard) continue;
        append_line(frame, a, b, step);
        append_line(frame, b, c, step);
        append_line(frame, c, a, step);
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

// Only the first 1920 samples of a frame are heard, so the outline is drawn in a new
// order every frame to let all of a large outline appear over time.  Written out with
// random_int so that a seeded run gives the same order with any standard library.
void shuffle(std::vector<Edge>& edges, RandomEngine& random) {
    for (std::size_t i = edges.size(); i > 1; --i) {
        const auto j = static_cast<std::size_t>(random_int(random, 0, static_cast<std::int64_t>(i - 1)));
        std::swap(edges[i - 1], edges[j]);
    }
}

void draw_outline(PointList& frame, const std::vector<Vertex>& vertices, std::vector<Edge>& edges,
                  float step, std::size_t heard, RandomEngine& random) {
    shuffle(edges, random);
    for (const Edge& edge : edges) {
        const Vertex& a = vertices[checked_index(edge.low, vertices.size())];
        const Vertex& b = vertices[checked_index(edge.high, vertices.size())];
        if (frame.size() >= heard) continue;
        append_line(frame, a, b, step);
    }
}

void filter_channels(PointList& figure, Lowpass lowpass) {
    if (figure.empty()) return;
    ChannelPair channels = split_channels(figure);
    sweeping_lowpass(channels.x, lowpass.start_hz, lowpass.end_hz);
    sweeping_lowpass(channels.y, lowpass.start_hz, lowpass.end_hz);
    for (std::size_t i = 0; i < figure.size(); ++i) figure[i] = {channels.x[i], channels.y[i]};
}

// Points outside the unit square go; NaN coordinates stay, as their comparisons fail.
void clip(PointList& figure) {
    std::erase_if(figure, [](const Point& p) { return std::abs(p.x) > 1.0f || std::abs(p.y) > 1.0f; });
}

void zoom(PointList& figure, float scale_start, float scale_end) {
    const float n = static_cast<float>(figure.size());
    for (std::size_t j = 0; j < figure.size(); ++j) {
        const float w = scale_start + (scale_end - scale_start) * (static_cast<float>(j) / n);
        figure[j] = {figure[j].x * w, figure[j].y * w};
    }
}

}  // namespace

PointList obj(std::int32_t length, const Model& model, std::uint8_t mode, float rot_y, float rot_z,
              float rot_x, float step, float scale_start, float scale_end,
              std::optional<Lowpass> lowpass, unsigned repeat, std::int32_t face_every, RandomEngine& random) {
    const std::int32_t frame_count =
        saturating_cast<std::int32_t>(static_cast<float>(length) * kFramesPerLengthUnit);
    const std::size_t frames = frame_count < 2 ? 0 : static_cast<std::size_t>(frame_count - 1);

    const bool dots = mode != 2 && mode != 3;
    if (frames > 0 && dots && face_every == 0 && !model.faces.empty()) {
        fatal("obj: face_every must not be 0 when drawing dots (modes 0 and 1)");
    }

    PointList figure;
    if (frames > 0) {
        std::vector<Vertex> vertices = model.vertices;
        const Matrix r = rotation(rot_y, rot_z, rot_x);
        std::vector<Edge> outline;
        if (mode == 3) outline = outline_edges(model.faces);

        figure.reserve(frames * kSliceSamples);
        const std::size_t heard = heard_points(repeat);
        PointList frame;
        for (std::size_t k = 0; k < frames; ++k) {
            turn(vertices, r, mode == 0, model.center);
            if (dots) {
                draw_dots(frame, vertices, model.faces, face_every);
            } else if (mode == 2) {
                draw_triangles(frame, vertices, model.faces, step, heard);
            } else {
                draw_outline(frame, vertices, outline, step, heard, random);
            }
            append_slice(figure, frame, repeat);
        }
    }

    if (lowpass) filter_channels(figure, *lowpass);
    clip(figure);
    zoom(figure, scale_start, scale_end);
    return figure;
}

}  // namespace lumo
