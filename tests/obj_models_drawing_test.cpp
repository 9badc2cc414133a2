// How the show draws the committed models, on the properties that make each figure read:
// the dots a frame hears reach over the whole figure, every outline is drawn whole in
// every frame, the wireframe's heard part spans the hand, and a title's dots lie in one
// plane.  (A frame holds 1920 samples and the show holds each point for 2: only the
// first 960 points of a frame's drawing are heard.)
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "draw/draw.hpp"
#include "model_texts.hpp"
#include "obj/obj.hpp"

namespace lumo {
namespace {

using testing_models::model_text;

constexpr std::size_t kHeard = 960;

struct Box {
    std::array<float, 3> lo{1e30f, 1e30f, 1e30f}, hi{-1e30f, -1e30f, -1e30f};
    void add(const Vertex& v) {
        const float c[3] = {v.x, v.y, v.z};
        for (int k = 0; k < 3; ++k) lo[k] = std::min(lo[k], c[k]), hi[k] = std::max(hi[k], c[k]);
    }
    float size(int axis) const { return hi[axis] - lo[axis]; }
};

// The corners of every `every`-th face, in drawing order.
std::vector<Vertex> drawn_dots(const Model& model, std::size_t every) {
    std::vector<Vertex> dots;
    for (std::size_t f = every - 1; f < model.faces.size(); f += every)
        for (VertexIndex i : model.faces[f]) dots.push_back(model.vertices.at(i));
    return dots;
}

// The show's turn of one frame, Rz · Ry · Rx, applied about `pivot`.
struct Turn {
    std::array<std::array<float, 3>, 3> r;
    Turn(float rot_y, float rot_z, float rot_x) {
        const float cy = std::cos(rot_y), sy = std::sin(rot_y), cz = std::cos(rot_z), sz = std::sin(rot_z);
        const float cx = std::cos(rot_x), sx = std::sin(rot_x);
        r = {{{cy * cz, (sy * cz) * sx - sz * cx, sz * sx + (sy * cz) * cx},
              {cy * sz, cz * cx + (sy * sz) * sx, (sy * sz) * cx - cz * sx},
              {-sy, cy * sx, cy * cx}}};
    }
    void apply(std::vector<Vertex>& vertices, Vertex pivot) const {
        for (Vertex& v : vertices) {
            const float d[3] = {v.x - pivot.x, v.y - pivot.y, v.z - pivot.z};
            v = {pivot.x + r[0][1] * d[1] + r[0][0] * d[0] + r[0][2] * d[2],
                 pivot.y + r[1][1] * d[1] + r[1][0] * d[0] + r[1][2] * d[2],
                 pivot.z + r[2][1] * d[1] + r[2][0] * d[0] + r[2][2] * d[2]};
        }
    }
};

constexpr float kHalfDegree = 0.008726646f, kTwoDegrees = 0.034906585f, kFourAndAHalfDegrees = 0.07853982f;

// Dot figures: the skulls (every 3rd face), the figures (every 2nd) and the hand (every
// 2nd and every 3rd).  The heard dots must span the drawn ones on every axis, and nearly
// every drawn dot must have a heard one close by: the frame shows the whole figure.
TEST(ModelDrawing, HeardDotsReachOverTheWholeFigure) {
    const std::pair<int, std::size_t> figures[] = {{4, 3}, {5, 3}, {7, 2}, {8, 2}, {8, 3}, {9, 2}};
    for (const auto& [number, every] : figures) {
        SCOPED_TRACE("model " + std::to_string(number) + ", every " + std::to_string(every));
        const Model model = load_obj(model_text(number));
        const std::vector<Vertex> dots = drawn_dots(model, every);
        const std::size_t heard = std::min(kHeard, dots.size());
        Box all, early;
        for (const Vertex& d : dots) all.add(d);
        for (std::size_t k = 0; k < heard; ++k) early.add(dots[k]);
        for (int axis = 0; axis < 3; ++axis) EXPECT_GE(early.size(axis), 0.9f * all.size(axis)) << "axis " << axis;
        const float reach = 0.04f * std::max({all.size(0), all.size(1), all.size(2)});
        std::size_t near = 0;
        for (const Vertex& d : dots) {
            for (std::size_t k = 0; k < heard; ++k) {
                if (std::hypot(d.x - dots[k].x, d.y - dots[k].y, d.z - dots[k].z) <= reach) {
                    ++near;
                    break;
                }
            }
        }
        EXPECT_GE(near, dots.size() * 9 / 10) << near << " of " << dots.size();
    }
}

// Figures 17 and 18 (model 7) and 22 (model 9) draw the edges of exactly one face as
// lines on the unit grid, at the model's own size, in a new order every frame: all of it
// must fit in the heard 960 points in every frame, and it must be closed loops, a
// silhouette and its features rather than loose strokes.
TEST(ModelDrawing, OutlinesAreClosedLoopsDrawnWholeInEveryFrame) {
    struct Outline {
        int model, frames;
        float rot_y, rot_z, rot_x;
    };
    const Outline outlines[] = {{7, 149, kTwoDegrees, kHalfDegree, kHalfDegree},
                                {7, 11, -kFourAndAHalfDegrees, kFourAndAHalfDegrees, 0},
                                {9, 299, kTwoDegrees, kHalfDegree, kHalfDegree}};
    for (const Outline& o : outlines) {
        SCOPED_TRACE("model " + std::to_string(o.model) + ", " + std::to_string(o.frames) + " frames");
        const Model model = load_obj(model_text(o.model));
        std::map<std::pair<VertexIndex, VertexIndex>, int> uses;
        for (const Face& f : model.faces)
            for (int k = 0; k < 3; ++k) {
                const VertexIndex a = f[static_cast<std::size_t>(k)], b = f[static_cast<std::size_t>((k + 1) % 3)];
                ++uses[{std::min(a, b), std::max(a, b)}];
            }
        std::vector<std::pair<VertexIndex, VertexIndex>> single;
        std::map<VertexIndex, int> degree;
        for (const auto& [edge, count] : uses) {
            if (count != 1) continue;
            single.push_back(edge);
            ++degree[edge.first], ++degree[edge.second];
        }
        ASSERT_GE(single.size(), 3u);
        for (const auto& [vertex, d] : degree) EXPECT_EQ(d, 2) << "vertex " << vertex;

        std::vector<Vertex> vertices = model.vertices;
        const Turn turn(o.rot_y, o.rot_z, o.rot_x);
        std::size_t longest = 0;
        for (int frame = 0; frame < o.frames; ++frame) {
            turn.apply(vertices, model.center);
            std::size_t points = 0;
            for (const auto& [a, b] : single)
                points += create_line_float(vertices[a].x, vertices[a].y, vertices[b].x, vertices[b].y, 1.0f).size();
            longest = std::max(longest, points);
        }
        EXPECT_LE(longest, kHeard);
    }
}

// Figure 24 draws model 10's faces as lines in order, turning about x: the heard points
// of every frame must span the whole drawing.
TEST(ModelDrawing, WireframeHandIsHeardWholeInEveryFrame) {
    const Model model = load_obj(model_text(10));
    std::vector<Vertex> vertices = model.vertices;
    const Turn turn(0, 0, -kHalfDegree);
    for (int frame = 0; frame < 149; ++frame) {
        turn.apply(vertices, model.center);
        PointList drawing;
        for (const Face& f : model.faces)
            for (int k = 0; k < 3; ++k) {
                const Vertex& a = vertices[f[static_cast<std::size_t>(k)]];
                const Vertex& b = vertices[f[static_cast<std::size_t>((k + 1) % 3)]];
                const PointList line = create_line_float(a.x, a.y, b.x, b.y, 1.0f);
                drawing.insert(drawing.end(), line.begin(), line.end());
            }
        Box all, heard;
        for (std::size_t k = 0; k < drawing.size(); ++k) {
            all.add({drawing[k].x, drawing[k].y, 0});
            if (k < kHeard) heard.add({drawing[k].x, drawing[k].y, 0});
        }
        ASSERT_GE(heard.size(0), 0.9f * all.size(0)) << "frame " << frame;
        ASSERT_GE(heard.size(1), 0.9f * all.size(1)) << "frame " << frame;
    }
}

// A title turns about a vertical axis through its middle; its dots (every 2nd face for
// titles 1 and 2, every 3rd for title 3) stay legible only if they lie in one plane, so
// that turning narrows the word instead of smearing it.
TEST(ModelDrawing, TitleDotsLieInOnePlane) {
    const std::pair<int, std::size_t> titles[] = {{1, 2}, {2, 2}, {3, 3}};
    for (const auto& [number, every] : titles) {
        SCOPED_TRACE("model " + std::to_string(number));
        const std::vector<Vertex> dots = drawn_dots(load_obj(model_text(number)), every);
        ASSERT_FALSE(dots.empty());
        for (const Vertex& d : dots) EXPECT_EQ(d.z, dots.front().z);
    }
}

}  // namespace
}  // namespace lumo
