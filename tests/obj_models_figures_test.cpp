// The committed figure models (7, 9 and 11): the text form lumo embeds, and the shapes the
// show's drawing modes depend on.  Their exact bytes are pinned by the regeneration check.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "model_texts.hpp"
#include "obj/obj.hpp"

namespace lumo {
namespace {

constexpr int kFigureModels[] = {7, 9, 11};

using testing_models::model_text;

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::stringstream in(text);
    for (std::string part; std::getline(in, part, separator);) parts.push_back(part);
    return parts;
}

// An index as the text writes it: digits only, at least 1 and at most `count`.
bool index_in_range(const std::string& token, std::size_t count) {
    if (token.empty() || !std::all_of(token.begin(), token.end(), [](char c) { return c >= '0' && c <= '9'; })) return false;
    const unsigned long value = std::stoul(token);
    return value >= 1 && value <= count;
}

struct Bounds {
    Vertex lo, hi;
};

Bounds bounds_of(const std::vector<Vertex>& vertices) {
    Bounds b{vertices.at(0), vertices.at(0)};
    for (const Vertex& v : vertices) {
        b.lo = {std::min(b.lo.x, v.x), std::min(b.lo.y, v.y), std::min(b.lo.z, v.z)};
        b.hi = {std::max(b.hi.x, v.x), std::max(b.hi.y, v.y), std::max(b.hi.z, v.z)};
    }
    return b;
}

class FigureModel : public testing::TestWithParam<int> {};

TEST_P(FigureModel, TextKeepsToTheFormLumoEmbeds) {
    const std::string text = model_text(GetParam());
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.find('\r'), std::string::npos);
    EXPECT_EQ(text.back(), '\n');
    const std::vector<std::string> lines = split(text, '\n');
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0].rfind("# ", 0), 0u);
    EXPECT_EQ(lines[1].rfind("# ", 0), 0u);
    EXPECT_EQ(lines[2].rfind("mtllib ", 0), 0u);
    EXPECT_EQ(lines[3].rfind("o ", 0), 0u);

    std::size_t v = 0, vn = 0, vt = 0, s = 0, usemtl = 0;
    std::vector<std::vector<std::string>> faces;
    for (const std::string& line : lines) {
        const std::string head = line.substr(0, line.find(' '));
        if (head == "v") ++v;
        if (head == "vn") ++vn;
        if (head == "vt") ++vt;
        if (head == "s") ++s;
        if (head == "usemtl") ++usemtl;
        if (head == "f") faces.push_back(split(line.substr(2), ' '));
    }
    EXPECT_GT(v, 0u);
    EXPECT_EQ(vn, v);
    EXPECT_EQ(vt, v);
    EXPECT_GE(s, 1u);
    EXPECT_GE(usemtl, 1u);
    EXPECT_FALSE(faces.empty());
    for (const std::vector<std::string>& corners : faces) {
        ASSERT_TRUE(corners.size() == 3 || corners.size() == 4);
        for (const std::string& corner : corners) {
            const std::vector<std::string> parts = split(corner, '/');
            ASSERT_EQ(parts.size(), 3u) << corner;
            EXPECT_TRUE(index_in_range(parts[0], v)) << corner;
            EXPECT_TRUE(index_in_range(parts[1], vt)) << corner;
            EXPECT_TRUE(index_in_range(parts[2], vn)) << corner;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Figures, FigureModel, testing::ValuesIn(kFigureModels),
                         [](const testing::TestParamInfo<int>& param_info) {
                             return "model_" + std::to_string(param_info.param);
                         });

TEST(FigureModels, StandUprightWithTheHeadCentredAtTheTop) {
    for (int number : kFigureModels) {
        const Model model = load_obj(model_text(number));
        const Bounds b = bounds_of(model.vertices);
        const float height = b.hi.y - b.lo.y;
        for (const Vertex& v : model.vertices) {
            if (v.y > b.hi.y - height * 0.08f) {
                EXPECT_LT(std::abs(v.x - model.center.x), 10.0f) << number;
            }
        }
    }
}

// The note effect draws model 11's corners of faces 3, 6, 9, … in order, and a short note
// shows only the first 128 of them: those must already span the figure.
TEST(FigureModels, NoteFigureCornersOutlineTheFigureEarly) {
    const Model model = load_obj(model_text(11));
    std::vector<Vertex> corners;
    for (std::size_t f = 2; f < model.faces.size(); f += 3) {
        for (VertexIndex i : model.faces[f]) corners.push_back(model.vertices.at(i));
    }
    ASSERT_GE(corners.size(), 128u);

    const Bounds whole = bounds_of(model.vertices);
    float lo_x = corners[0].x, hi_x = lo_x, lo_y = corners[0].y, hi_y = lo_y;
    for (std::size_t k = 0; k < 128; ++k) {
        lo_x = std::min(lo_x, corners[k].x), hi_x = std::max(hi_x, corners[k].x);
        lo_y = std::min(lo_y, corners[k].y), hi_y = std::max(hi_y, corners[k].y);
    }
    EXPECT_GT(hi_x - lo_x, 0.8f * (whole.hi.x - whole.lo.x));
    EXPECT_GT(hi_y - lo_y, 0.9f * (whole.hi.y - whole.lo.y));
}

}  // namespace
}  // namespace lumo
