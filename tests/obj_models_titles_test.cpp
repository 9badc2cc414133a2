// The committed title texts (models 1, 2, 3) and the logo (model 6): the text form lumo
// embeds, that the titles' dots reach every point of their letters in the show's dot
// mode, and that the logo's outline is four closed loops.  Their exact bytes are pinned by
// the regeneration check.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "model_texts.hpp"
#include "obj/obj.hpp"

namespace lumo {
namespace {

using testing_models::model_text;
using testing_models::words;

// The three indices of a v/vt/vn corner (vt 0 for v//vn); all 0 when malformed.
std::array<unsigned long, 3> corner(const std::string& text) {
    const std::size_t a = text.find('/'), b = a == std::string::npos ? a : text.find('/', a + 1);
    if (b == std::string::npos || text.find('/', b + 1) != std::string::npos) return {0, 0, 0};
    const std::string v = text.substr(0, a), vt = text.substr(a + 1, b - a - 1), vn = text.substr(b + 1);
    for (const std::string* part : {&v, &vn})
        if (part->empty() || part->find_first_not_of("0123456789") != std::string::npos) return {0, 0, 0};
    if (vt.find_first_not_of("0123456789") != std::string::npos) return {0, 0, 0};
    return {std::stoul(v), vt.empty() ? 0 : std::stoul(vt), std::stoul(vn)};
}

TEST(TitleModels, TextKeepsToTheFormLumoEmbedsWithoutFlatFaces) {
    for (int number : {1, 2, 3, 6}) {
        SCOPED_TRACE("model " + std::to_string(number));
        const std::string text = model_text(number);
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(text.find('\r'), std::string::npos);
        EXPECT_EQ(text.back(), '\n');

        std::istringstream lines(text);
        std::vector<std::vector<std::string>> all;
        for (std::string line; std::getline(lines, line);) all.push_back(words(line));
        ASSERT_GE(all.size(), 3u);
        ASSERT_FALSE(all[0].empty() || all[1].empty() || all[2].empty());
        EXPECT_EQ(all[0][0], "#");
        EXPECT_EQ(all[1][0], "#");
        EXPECT_EQ(all[2][0], "mtllib");

        std::map<std::string, std::size_t> statements;
        for (const auto& w : all)
            if (!w.empty()) ++statements[w[0]];
        const std::size_t vertices = statements["v"];
        EXPECT_GE(statements["o"], 1u);
        EXPECT_EQ(statements["s"], statements["o"]);
        EXPECT_EQ(statements["usemtl"], statements["o"]);
        EXPECT_GT(vertices, 0u);
        EXPECT_EQ(statements["vn"], vertices);
        EXPECT_EQ(statements["vt"], vertices);

        // Triangles only, every corner v/vt/vn with every index in range.
        std::size_t triangles = 0, bad = 0;
        for (const auto& w : all) {
            if (w.empty() || w[0] != "f") continue;
            triangles += w.size() == 4;
            for (std::size_t k = 1; k < w.size(); ++k) {
                const auto [v, vt, vn] = corner(w[k]);
                bad += v == 0 || v > vertices || vt == 0 || vt > vertices || vn == 0 || vn > vertices;
            }
        }
        EXPECT_EQ(triangles, statements["f"]);
        EXPECT_EQ(bad, 0u);

        const Model model = load_obj(text);
        // No face that folds to a line or a point: each is a visible piece of surface.
        std::size_t flat = 0;
        for (const Face& f : model.faces) {
            const Vertex a = model.vertices[f[0]], b = model.vertices[f[1]], c = model.vertices[f[2]];
            const double ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z;
            const double wx = c.x - a.x, wy = c.y - a.y, wz = c.z - a.z;
            const double nx = uy * wz - uz * wy, ny = uz * wx - ux * wz, nz = ux * wy - uy * wx;
            flat += std::sqrt(nx * nx + ny * ny + nz * nz) < 1e-4;
        }
        EXPECT_EQ(flat, 0u);
    }
}

// The show draws each title as the corners of every 2nd (models 1, 2) or 3rd (model 3)
// face, two samples a dot, in slices of 1920 samples: all the dots must fit in a slice,
// and they must reach nearly every point of the letters.
TEST(TitleModels, DotsOfTheShownFacesFitASliceAndTraceTheLetters) {
    const std::pair<int, std::size_t> shown[] = {{1, 2}, {2, 2}, {3, 3}};
    for (const auto& [number, every] : shown) {
        SCOPED_TRACE("model " + std::to_string(number));
        const Model model = load_obj(model_text(number));
        std::set<std::pair<float, float>> drawn, all;
        std::size_t dots = 0;
        for (std::size_t i = 0; i < model.faces.size(); ++i) {
            for (VertexIndex v : model.faces[i]) {
                all.insert({model.vertices[v].x, model.vertices[v].y});
                if ((i + 1) % every == 0) drawn.insert({model.vertices[v].x, model.vertices[v].y}), ++dots;
            }
        }
        EXPECT_LE(dots * 2, 1920u);
        EXPECT_GE(drawn.size() * 10, all.size() * 9) << drawn.size() << " of " << all.size();
        // Every vertex is a corner of some face, so no point of the text is lost.
        std::set<VertexIndex> used;
        for (const Face& f : model.faces) used.insert(f.begin(), f.end());
        EXPECT_EQ(used.size(), model.vertices.size());
    }
}

// The logo is drawn as the edges that belong to exactly one triangle: 28 of them, in four
// closed loops (a plate and a bar in each of two objects), all in the plane z = -1.01.
TEST(TitleModels, LogoOutlineIsFourClosedLoops) {
    const Model model = load_obj(model_text(6));
    for (const Vertex& v : model.vertices) EXPECT_FLOAT_EQ(v.z, -1.01f);

    std::map<std::pair<VertexIndex, VertexIndex>, int> uses;
    for (const Face& f : model.faces) {
        for (int k = 0; k < 3; ++k) {
            const VertexIndex a = f[k], b = f[(k + 1) % 3];
            ++uses[{std::min(a, b), std::max(a, b)}];
        }
    }
    std::map<VertexIndex, std::vector<VertexIndex>> next;
    std::size_t boundary = 0;
    for (const auto& [edge, count] : uses) {
        if (count != 1) continue;
        ++boundary;
        next[edge.first].push_back(edge.second);
        next[edge.second].push_back(edge.first);
    }
    EXPECT_EQ(boundary, 28u);
    for (const auto& [vertex, neighbours] : next) EXPECT_EQ(neighbours.size(), 2u) << "vertex " << vertex;

    std::set<VertexIndex> seen;
    std::vector<std::size_t> loops;
    for (const auto& [start, neighbours] : next) {
        if (seen.count(start) || neighbours.size() != 2) continue;
        std::size_t length = 0;
        VertexIndex previous = start, at = start;
        do {
            seen.insert(at);
            ++length;
            const std::vector<VertexIndex>& n = next[at];
            const VertexIndex step = n[0] != previous ? n[0] : n[1];
            previous = at;
            at = step;
        } while (at != start && length <= boundary);
        loops.push_back(length);
    }
    EXPECT_EQ(loops, (std::vector<std::size_t>{10, 4, 10, 4}));
}

}  // namespace
}  // namespace lumo
