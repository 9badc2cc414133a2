// The committed skull (4, 5) and hand (8, 10) texts: counts and text form as the loader
// and the show see them, the rigid turns that relate each pair, and the long hand
// figure that must stay on screen in every frame.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "model_texts.hpp"
#include "obj/obj.hpp"

namespace lumo {
namespace {

using testing_models::model_text;
using testing_models::words;

// A face corner is v/vt/vn with one index three times, or v//vn; returns the index or 0.
unsigned long corner_index(const std::string& corner, bool with_uv) {
    const std::size_t slash = corner.find('/');
    if (slash == std::string::npos || slash == 0) return 0;
    const std::string v = corner.substr(0, slash);
    const std::string expected = with_uv ? v + "/" + v + "/" + v : v + "//" + v;
    if (corner != expected || v.find_first_not_of("0123456789") != std::string::npos) return 0;
    return std::stoul(v);
}

struct Row {
    int number;
    std::size_t vertices, triangles, quads, polylines;
    float x0, x1, y0, y1, z0, z1;
};
const Row rows[] = {
    {4, 829, 788, 0, 139, -1.09f, 65.58f, -43.16f, 73.19f, -106.81f, -40.68f},
    {5, 829, 788, 0, 139, -72.97f, 1.77f, -43.16f, 73.19f, -91.56f, -45.81f},
    {8, 670, 1302, 17, 0, -6.03f, 8.54f, -7.96f, 12.72f, -17.43f, -10.43f},
    {10, 670, 1302, 17, 0, -6.03f, 8.54f, -8.69f, 2.49f, -25.49f, -6.07f},
};

TEST(SkullHandModels, CountsFormAndExtents) {
    for (const Row& row : rows) {
        SCOPED_TRACE("model " + std::to_string(row.number));
        const std::string text = model_text(row.number);
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(text.find('\r'), std::string::npos);
        EXPECT_EQ(text.back(), '\n');

        std::istringstream lines(text);
        std::vector<std::string> all;
        for (std::string line; std::getline(lines, line);) all.push_back(line);
        ASSERT_GE(all.size(), 3u);
        EXPECT_EQ(all[0].rfind("# ", 0), 0u);
        EXPECT_EQ(all[1].rfind("# ", 0), 0u);
        EXPECT_EQ(all[2].rfind("mtllib ", 0), 0u);

        std::size_t v = 0, vn = 0, vt = 0, o = 0, s = 0, usemtl = 0, triangles = 0, quads = 0, polylines = 0;
        for (const std::string& line : all) {
            const std::vector<std::string> w = words(line);
            if (w.empty()) continue;
            v += w[0] == "v", vn += w[0] == "vn", vt += w[0] == "vt";
            o += w[0] == "o", s += w[0] == "s", usemtl += w[0] == "usemtl";
        }
        EXPECT_EQ(vn, v);
        EXPECT_EQ(vt, v);
        EXPECT_GE(o, 1u);
        EXPECT_GE(s, 1u);
        EXPECT_GE(usemtl, 1u);
        for (const std::string& line : all) {
            const std::vector<std::string> w = words(line);
            if (w.empty()) continue;
            if (w[0] == "f") {
                triangles += w.size() == 4, quads += w.size() == 5;
                EXPECT_TRUE(w.size() == 4 || w.size() == 5) << line;
                for (std::size_t k = 1; k < w.size(); ++k) {
                    const unsigned long index = corner_index(w[k], vt > 0);
                    EXPECT_TRUE(index >= 1 && index <= v) << line;
                }
            } else if (w[0] == "l") {
                ++polylines;
                EXPECT_GE(w.size(), 3u) << line;
                for (std::size_t k = 1; k < w.size(); ++k) {
                    const unsigned long index = std::stoul(w[k]);
                    EXPECT_TRUE(index >= 1 && index <= v) << line;
                }
            }
        }
        EXPECT_EQ(triangles, row.triangles);
        EXPECT_EQ(quads, row.quads);
        EXPECT_EQ(polylines, row.polylines);

        const Model model = load_obj(text);
        EXPECT_EQ(model.vertices.size(), row.vertices);
        EXPECT_EQ(model.faces.size(), row.triangles + row.quads);
        float lo[3], hi[3];
        for (int a = 0; a < 3; ++a) lo[a] = std::numeric_limits<float>::infinity(), hi[a] = -lo[a];
        for (const Vertex& p : model.vertices) {
            const float c[3] = {p.x, p.y, p.z};
            for (int a = 0; a < 3; ++a) lo[a] = std::fmin(lo[a], c[a]), hi[a] = std::fmax(hi[a], c[a]);
        }
        EXPECT_NEAR(lo[0], row.x0, 0.01f);
        EXPECT_NEAR(hi[0], row.x1, 0.01f);
        EXPECT_NEAR(lo[1], row.y0, 0.01f);
        EXPECT_NEAR(hi[1], row.y1, 0.01f);
        EXPECT_NEAR(lo[2], row.z0, 0.01f);
        EXPECT_NEAR(hi[2], row.z1, 0.01f);
    }
}

// `turned` is `source` turned rigidly about an axis along `axis` (0 = x, 1 = y): the same
// faces, the same coordinate along the axis, and in the plane across it the same
// distances and the same handedness (a mirror image would keep the distances too).
void expect_rigid_turn(int source_number, int turned_number, int axis) {
    const Model source = load_obj(model_text(source_number));
    const Model turned = load_obj(model_text(turned_number));
    ASSERT_EQ(source.vertices.size(), turned.vertices.size());
    EXPECT_EQ(source.faces, turned.faces);
    auto along = [axis](const Vertex& v) { return axis == 0 ? v.x : v.y; };
    auto plane = [axis](const Vertex& v) { return std::array<double, 2>{axis == 0 ? v.y : v.x, v.z}; };
    const std::size_t n = source.vertices.size();
    double worst_distance = 0, worst_area = 0;
    for (std::size_t i = 0; i < n; ++i) {
        EXPECT_EQ(along(source.vertices[i]), along(turned.vertices[i])) << i;
        const auto a = plane(source.vertices[i]), b = plane(turned.vertices[i]);
        for (std::size_t j = i + 1; j < n; ++j) {
            const auto c = plane(source.vertices[j]), d = plane(turned.vertices[j]);
            const double before = std::hypot(c[0] - a[0], c[1] - a[1]);
            const double after = std::hypot(d[0] - b[0], d[1] - b[1]);
            worst_distance = std::fmax(worst_distance, std::fabs(before - after));
        }
        const auto e = plane(source.vertices[(i + n / 3) % n]), f = plane(turned.vertices[(i + n / 3) % n]);
        const auto g = plane(source.vertices[(i + n / 2) % n]), h = plane(turned.vertices[(i + n / 2) % n]);
        const double area_before = (e[0] - a[0]) * (g[1] - a[1]) - (e[1] - a[1]) * (g[0] - a[0]);
        const double area_after = (f[0] - b[0]) * (h[1] - b[1]) - (f[1] - b[1]) * (h[0] - b[0]);
        worst_area = std::fmax(worst_area, std::fabs(area_before - area_after));
    }
    EXPECT_LT(worst_distance, 2e-5);
    EXPECT_LT(worst_area, 1e-2);  // areas of up to a few thousand square units
}

TEST(SkullHandModels, TurnedSkullIsTheSkullTurnedAboutAVerticalAxis) { expect_rigid_turn(4, 5, 1); }

TEST(SkullHandModels, TurnedHandIsTheHandTurnedAboutAnAxisAlongX) { expect_rigid_turn(8, 10, 0); }

// The long hand figure turns the hand about the origin, frame after frame, and takes the
// corners of every third face; the closing figure needs every one of its 299 frames to
// draw and every point to stay inside the unit square.
TEST(SkullHandModels, LongHandFigureStaysOnScreenInEveryFrame) {
    const Model hand = load_obj(model_text(8));
    const float rot_y = 0.0f, rot_z = -0.0058177644f, rot_x = 0.034906585f;
    const float cy = std::cos(rot_y), sy = std::sin(rot_y), cz = std::cos(rot_z), sz = std::sin(rot_z);
    const float cx = std::cos(rot_x), sx = std::sin(rot_x);
    const float r[3][3] = {
        {cy * cz, (sy * cz) * sx - sz * cx, sz * sx + (sy * cz) * cx},
        {cy * sz, cz * cx + (sy * sz) * sx, (sy * sz) * cx - cz * sx},
        {-sy, cy * sx, cy * cx},
    };
    const std::int32_t frames = static_cast<std::int32_t>(144.0f * 2.0833333f) - 1;
    ASSERT_EQ(frames, 299);
    std::vector<Vertex> v = hand.vertices;
    float widest = 0.0f;
    int drawn_frames = 0;
    for (int frame = 0; frame < frames; ++frame) {
        for (Vertex& p : v) {
            const float x = r[0][1] * p.y + r[0][0] * p.x + r[0][2] * p.z;
            const float y = r[1][1] * p.y + r[1][0] * p.x + r[1][2] * p.z;
            const float z = r[2][1] * p.y + r[2][0] * p.x + r[2][2] * p.z;
            p = {x, y, z};
        }
        std::size_t points = 0;
        for (std::size_t f = 2; f < hand.faces.size(); f += 3) {
            for (VertexIndex i : hand.faces[f]) {
                ASSERT_LT(i, v.size());
                widest = std::fmax(widest, std::fmax(std::fabs(v[i].x / 100.0f), std::fabs(v[i].y / 100.0f)));
                ++points;
            }
        }
        drawn_frames += points > 0;
    }
    EXPECT_EQ(drawn_frames, 299);
    EXPECT_LE(widest, 1.0f);
}

}  // namespace
}  // namespace lumo
