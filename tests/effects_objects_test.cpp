// The wireframe object effect: frame counts, the drawing modes, the pivot, and the
// filter, clip and zoom that follow.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <set>
#include <utility>
#include <vector>

#include "core/random.hpp"
#include "draw/draw.hpp"
#include "effects/objects.hpp"

namespace lumo {
namespace {

constexpr std::size_t kSlice = 1920;

Model make_model(std::vector<Vertex> vertices, std::vector<Face> faces) {
    Model model{std::move(vertices), std::move(faces), {}};
    constexpr float inf = std::numeric_limits<float>::infinity();
    Vertex low{inf, inf, inf}, high{-inf, -inf, -inf};
    for (const Vertex& v : model.vertices) {
        low = {std::min(low.x, v.x), std::min(low.y, v.y), std::min(low.z, v.z)};
        high = {std::max(high.x, v.x), std::max(high.y, v.y), std::max(high.z, v.z)};
    }
    model.center = {(low.x + high.x) * 0.5f, (low.y + high.y) * 0.5f, (low.z + high.z) * 0.5f};
    return model;
}

// A still picture: no rotation, no zoom, no filter; an outline's order from seed 1.
ChannelPair still(std::int32_t length, const Model& model, ObjMode mode, unsigned repeat = 2,
                std::int32_t face_every = 1) {
    RandomEngine random(1);
    return obj(length, model, mode, 0, 0, 0, 1.0f, 1.0f, 1.0f, std::nullopt, repeat, face_every, random);
}

using PointSet = std::set<std::pair<float, float>>;

PointSet distinct(const ChannelPair& figure) {
    PointSet set;
    for (std::size_t i = 0; i < figure.size(); ++i) set.insert({figure.x[i], figure.y[i]});
    return set;
}

// The output points of the given edges, drawn in drawing units, scaled to output units.
PointSet expected_lines(const Model& model, const std::vector<std::pair<VertexIndex, VertexIndex>>& edges) {
    PointSet set;
    for (auto [a, b] : edges) {
        const Vertex& p = model.vertices[a];
        const Vertex& q = model.vertices[b];
        for (const Point& point : create_line_float(p.x, p.y, q.x, q.y, 1.0f)) {
            set.insert({point.x / 100.0f, point.y / 100.0f});
        }
    }
    return set;
}

const Model& square() {
    // Two triangles sharing the diagonal from vertex 1 to vertex 2.
    static const Model model =
        make_model({{0, 0, 0}, {40, 0, 0}, {0, 40, 0}, {40, 40, 0}}, {{0, 1, 2}, {1, 3, 2}});
    return model;
}

TEST(ObjEffect, FrameCountFollowsLength) {
    const Model triangle = make_model({{10, 10, 0}, {20, 10, 0}, {10, 20, 0}}, {{0, 1, 2}});
    EXPECT_EQ(still(72, triangle, ObjMode::DotsAboutCentre).size(), 149 * kSlice);
    EXPECT_EQ(still(6, triangle, ObjMode::DotsAboutCentre).size(), 11 * kSlice);
    EXPECT_EQ(still(2, triangle, ObjMode::DotsAboutCentre).size(), 3 * kSlice);
    EXPECT_EQ(still(1, triangle, ObjMode::DotsAboutCentre).size(), 1 * kSlice);
    EXPECT_TRUE(still(0, triangle, ObjMode::DotsAboutCentre).empty());
    EXPECT_TRUE(still(-5, triangle, ObjMode::DotsAboutCentre).empty());
    // No frame means no division by face_every either.
    EXPECT_TRUE(still(0, triangle, ObjMode::DotsAboutCentre, 2, 0).empty());
}

TEST(ObjEffect, StillModelDrawsTheSameEveryFrame) {
    const ChannelPair figure = still(2, square(), ObjMode::Triangles);
    ASSERT_EQ(figure.size(), 3 * kSlice);
    for (std::size_t i = 0; i < kSlice; ++i) {
        ASSERT_EQ(figure[i], figure[kSlice + i]);
        ASSERT_EQ(figure[i], figure[2 * kSlice + i]);
    }
}

TEST(ObjEffect, LongFrameIsCutWhereverTheSliceEnds) {
    // A frame drawing far longer than a slice: the slice is its beginning, whatever the hold.
    std::vector<Vertex> vertices;
    std::vector<Face> faces;
    for (int j = 0; j < 11; ++j) {
        for (int i = 0; i < 11; ++i) vertices.push_back({static_cast<float>(i * 8 - 40), static_cast<float>(j * 8 - 40), 0});
    }
    for (VertexIndex j = 0; j < 10; ++j) {
        for (VertexIndex i = 0; i < 10; ++i) faces.push_back({j * 11 + i, j * 11 + i + 1, j * 11 + i + 12});
    }
    const Model model = make_model(vertices, faces);
    PointList drawing;
    for (const Face& f : faces) {
        for (auto [a, b] : {std::pair{f[0], f[1]}, std::pair{f[1], f[2]}, std::pair{f[2], f[0]}}) {
            const PointList line = create_line_float(vertices[a].x, vertices[a].y, vertices[b].x, vertices[b].y, 1);
            drawing.insert(drawing.end(), line.begin(), line.end());
        }
    }
    ASSERT_GT(drawing.size(), kSlice);
    for (unsigned repeat : {1u, 2u, 7u}) {
        EXPECT_EQ(still(1, model, ObjMode::Triangles, repeat), split_channels(draw_points_float(drawing, repeat, 0.02f))) << repeat;
    }
}

TEST(ObjEffect, OutlineDrawsEdgesOfExactlyOneFace) {
    const Model& model = square();
    EXPECT_EQ(distinct(still(1, model, ObjMode::Outline)), expected_lines(model, {{0, 1}, {0, 2}, {1, 3}, {2, 3}}));
    // The diagonal is drawn by the triangle mode, and left out of the outline.
    EXPECT_EQ(distinct(still(1, model, ObjMode::Triangles)),
              expected_lines(model, {{0, 1}, {1, 2}, {2, 0}, {1, 3}, {3, 2}, {2, 1}}));
    EXPECT_FALSE(distinct(still(1, model, ObjMode::Outline)).contains({0.2f, 0.2f}));

    const Model triangle = make_model({{0, 0, 0}, {30, 0, 0}, {0, 30, 0}}, {{0, 1, 2}});
    EXPECT_EQ(distinct(still(1, triangle, ObjMode::Outline)), expected_lines(triangle, {{0, 1}, {1, 2}, {0, 2}}));

    // Every edge of a tetrahedron belongs to two faces: nothing to draw.
    const Model closed = make_model({{0, 0, 0}, {30, 0, 0}, {0, 30, 0}, {0, 0, 30}},
                                    {{0, 1, 2}, {0, 3, 1}, {1, 3, 2}, {2, 3, 0}});
    EXPECT_TRUE(still(72, closed, ObjMode::Outline).empty());
}

TEST(ObjEffect, OutlineOrderChangesFromFrameToFrameAndFollowsTheSeed) {
    const auto outline = [](std::uint64_t seed) {
        RandomEngine random(seed);
        return obj(72, square(), ObjMode::Outline, 0, 0, 0, 1.0f, 1.0f, 1.0f, std::nullopt, 2, 1, random);
    };
    const ChannelPair first = outline(42);
    EXPECT_EQ(outline(42), first);
    EXPECT_NE(outline(43), first);

    // Four edges can be drawn in 24 orders; 149 frames should show many of them.
    std::set<std::vector<std::pair<float, float>>> frames;
    for (std::size_t k = 0; k < 149; ++k) {
        std::vector<std::pair<float, float>> frame;
        for (std::size_t i = 0; i < kSlice; ++i) frame.push_back({first[k * kSlice + i].x, first[k * kSlice + i].y});
        frames.insert(frame);
    }
    EXPECT_GT(frames.size(), 12u);
}

TEST(ObjEffect, DotsOfEveryNthFace) {
    std::vector<Vertex> vertices;
    std::vector<Face> faces;
    for (VertexIndex f = 0; f < 7; ++f) {
        for (VertexIndex c = 0; c < 3; ++c) vertices.push_back({static_cast<float>(f * 10 + c), 1, 0});
        faces.push_back({3 * f, 3 * f + 1, 3 * f + 2});
    }
    const ChannelPair figure = still(1, make_model(vertices, faces), ObjMode::DotsAboutCentre, 2, 3);
    ASSERT_EQ(figure.size(), kSlice);
    const float expected_x[] = {20, 21, 22, 50, 51, 52};  // the 3rd and 6th faces
    for (std::size_t i = 0; i < kSlice; ++i) {
        ASSERT_EQ(figure[i].x, expected_x[(i / 2) % 6] / 100.0f) << i;
    }
}

TEST(ObjEffect, ModeZeroTurnsAboutTheOriginOthersAboutTheCentre) {
    const Model model = make_model({{40, 50, 0}, {60, 50, 0}, {50, 60, 0}}, {{0, 1, 2}});
    const float quarter = std::numbers::pi_v<float> / 2;
    RandomEngine random(1);
    const auto first_dot = [&](ObjMode mode) {
        return obj(1, model, mode, 0, quarter, 0, 1, 1, 1, std::nullopt, 1, 1, random)[0];
    };
    // (40, 50) turned a quarter about the origin is (-50, 40); about the centre (50, 55) it
    // is (55, 45).
    const Point about_origin = first_dot(ObjMode::DotsAboutOrigin);
    EXPECT_NEAR(about_origin.x, -0.50f, 1e-5f);
    EXPECT_NEAR(about_origin.y, 0.40f, 1e-5f);
    const Point about_centre = first_dot(ObjMode::DotsAboutCentre);
    EXPECT_NEAR(about_centre.x, 0.55f, 1e-5f);
    EXPECT_NEAR(about_centre.y, 0.45f, 1e-5f);
}

TEST(ObjEffect, RotationAccumulatesFrameByFrame) {
    // A quarter turn per frame about z brings the dot back after four frames.
    const Model model = make_model({{50, 0, 0}, {50, 0, 0}, {50, 0, 0}}, {{0, 1, 2}});
    const float quarter = std::numbers::pi_v<float> / 2;
    RandomEngine random(1);
    const ChannelPair figure = obj(3, model, ObjMode::DotsAboutOrigin, 0, quarter, 0, 1, 1, 1, std::nullopt, 1, 1, random);
    ASSERT_EQ(figure.size(), 5 * kSlice);
    const float expected[][2] = {{0, 0.5f}, {-0.5f, 0}, {0, -0.5f}, {0.5f, 0}, {0, 0.5f}};
    for (std::size_t k = 0; k < 5; ++k) {
        EXPECT_NEAR(figure[k * kSlice].x, expected[k][0], 1e-5f) << k;
        EXPECT_NEAR(figure[k * kSlice].y, expected[k][1], 1e-5f) << k;
    }
}

TEST(ObjEffect, ClipKeepsTheBorderAndNaN) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    ASSERT_GT(100.00002f / 100.0f, 1.0f);
    const Model model{{{100, -100, 0}, {100.00002f, 0, 0}, {nan, 50, 0}}, {{0, 1, 2}}, {50, 0, 0}};
    const ChannelPair figure = still(1, model, ObjMode::DotsAboutOrigin, 1);
    ASSERT_EQ(figure.size(), 1280u);
    EXPECT_EQ(figure[0], (Point{1.0f, -1.0f}));
    EXPECT_TRUE(std::isnan(figure[1].x));
    EXPECT_EQ(figure[2], (Point{1.0f, -1.0f}));
}

TEST(ObjEffect, ZoomRunsFromStartTowardEnd) {
    // One dot inside the square among 479 outside, each held 4 samples: 4 points survive.
    std::vector<Face> faces(160, Face{1, 1, 1});
    faces[0] = {0, 1, 1};
    const Model model{{{10, 20, 0}, {200, 0, 0}}, faces, {0, 0, 0}};
    RandomEngine random(1);
    const ChannelPair figure = obj(1, model, ObjMode::DotsAboutOrigin, 0, 0, 0, 1, 5.0f, 1.0f, std::nullopt, 4, 1, random);
    ASSERT_EQ(figure.size(), 4u);
    const float x = 10.0f / 100.0f, y = 20.0f / 100.0f;
    const float factors[] = {5, 4, 3, 2};
    for (std::size_t j = 0; j < 4; ++j) EXPECT_EQ(figure[j], (Point{x * factors[j], y * factors[j]})) << j;
}

TEST(ObjEffect, ZeroLowpassFreezesTheFirstPoint) {
    const Model model = make_model({{10, 10, 0}, {20, 15, 0}, {10, 30, 0}}, {{0, 1, 2}});
    RandomEngine random(1);
    const ChannelPair figure = obj(2, model, ObjMode::DotsAboutCentre, 0.3f, 0.2f, 0.1f, 1, 1, 1, Lowpass{0, 0}, 2, 1, random);
    ASSERT_EQ(figure.size(), 3 * kSlice);
    for (std::size_t i = 0; i < figure.size(); ++i) ASSERT_EQ(figure[i], figure[0]);
    EXPECT_TRUE(obj(0, model, ObjMode::DotsAboutCentre, 0, 0, 0, 1, 1, 1, Lowpass{0, 0}, 2, 1, random).empty());
}

TEST(ObjEffectDeathTest, BadFaceStopsTheProgram) {
    const auto stops = testing::ExitedWithCode(101);
    const std::vector<Vertex> vertices{{0, 0, 0}, {10, 0, 0}, {0, 10, 0}};
    // The second face is skipped by face_every 2 in the dot modes, and still checked.
    const Model bad{vertices, {{0, 1, 2}, {0, 1, 5}}, {5, 5, 0}};
    for (const ObjMode mode : {ObjMode::DotsAboutOrigin, ObjMode::DotsAboutCentre, ObjMode::Triangles, ObjMode::Outline}) {
        EXPECT_EXIT(still(1, bad, mode, 2, 3), stops, "index out of bounds: the len is 3 but the index is 5")
            << static_cast<int>(mode);
    }
    const Model wrapped{vertices, {{4294967295u, 1, 2}}, {5, 5, 0}};
    EXPECT_EXIT(still(1, wrapped, ObjMode::Outline), stops, "the len is 3 but the index is 4294967295");
    EXPECT_EXIT(still(1, make_model(vertices, {{0, 1, 2}}), ObjMode::DotsAboutCentre, 2, 0), stops, "face_every");
}

}  // namespace
}  // namespace lumo
