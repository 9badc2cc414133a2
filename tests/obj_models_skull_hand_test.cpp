// The committed skull (4, 5) and hand (8, 10) texts: the text form lumo embeds and the
// rigid turns that relate each pair.  Their exact bytes are pinned by the regeneration
// check, and the figures the show draws from them by the show's golden test.
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

TEST(SkullHandModels, TextKeepsToTheFormLumoEmbeds) {
    for (int number : {4, 5, 8, 10}) {
        SCOPED_TRACE("model " + std::to_string(number));
        const std::string text = model_text(number);
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

        std::size_t v = 0, vn = 0, vt = 0, o = 0, s = 0, usemtl = 0, faces = 0;
        for (const std::string& line : all) {
            const std::vector<std::string> w = words(line);
            if (w.empty()) continue;
            v += w[0] == "v", vn += w[0] == "vn", vt += w[0] == "vt";
            o += w[0] == "o", s += w[0] == "s", usemtl += w[0] == "usemtl";
        }
        EXPECT_GT(v, 0u);
        EXPECT_EQ(vn, v);
        EXPECT_EQ(vt, v);
        EXPECT_GE(o, 1u);
        EXPECT_GE(s, 1u);
        EXPECT_GE(usemtl, 1u);
        for (const std::string& line : all) {
            const std::vector<std::string> w = words(line);
            if (w.empty()) continue;
            if (w[0] == "f") {
                ++faces;
                EXPECT_TRUE(w.size() == 4 || w.size() == 5) << line;
                for (std::size_t k = 1; k < w.size(); ++k) {
                    const unsigned long index = corner_index(w[k], vt > 0);
                    EXPECT_TRUE(index >= 1 && index <= v) << line;
                }
            } else if (w[0] == "l") {
                EXPECT_GE(w.size(), 3u) << line;
                for (std::size_t k = 1; k < w.size(); ++k) {
                    const unsigned long index = std::stoul(w[k]);
                    EXPECT_TRUE(index >= 1 && index <= v) << line;
                }
            }
        }
        EXPECT_GT(faces, 0u);
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

}  // namespace
}  // namespace lumo
