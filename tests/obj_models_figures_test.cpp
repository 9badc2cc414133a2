// The committed figure models (7, 9 and 11): the counts, extents and text form the show's
// drawing modes depend on, read back through lumo's own loader.
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

struct Row {
    int number;
    std::size_t vertices, triangles, quads;
    Vertex min, max;
};

const Row rows[] = {
    {7, 4685, 66, 4650, {-28.92f, -97.68f, -135.64f}, {28.60f, 82.77f, -88.24f}},
    {9, 704, 1034, 185, {-57.66f, -88.46f, -138.74f}, {57.58f, 83.06f, -109.18f}},
    {11, 704, 1068, 168, {-29.01f, -97.73f, -135.68f}, {28.71f, 82.63f, -88.29f}},
};

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

class FigureModel : public testing::TestWithParam<Row> {};

TEST_P(FigureModel, LoadsWithTheCountsAndExtentsOfItsRow) {
    const Row& row = GetParam();
    const Model model = load_obj(model_text(row.number));
    ASSERT_EQ(model.vertices.size(), row.vertices);
    EXPECT_EQ(model.faces.size(), row.triangles + row.quads);
    for (const Face& face : model.faces) {
        for (VertexIndex i : face) ASSERT_LT(i, model.vertices.size());
    }
    Vertex lo = model.vertices[0], hi = model.vertices[0];
    for (const Vertex& v : model.vertices) {
        lo = {std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z)};
        hi = {std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z)};
    }
    EXPECT_NEAR(lo.x, row.min.x, 0.01);
    EXPECT_NEAR(lo.y, row.min.y, 0.01);
    EXPECT_NEAR(lo.z, row.min.z, 0.01);
    EXPECT_NEAR(hi.x, row.max.x, 0.01);
    EXPECT_NEAR(hi.y, row.max.y, 0.01);
    EXPECT_NEAR(hi.z, row.max.z, 0.01);
}

TEST_P(FigureModel, TextKeepsToTheFormLumoEmbeds) {
    const Row& row = GetParam();
    const std::string text = model_text(row.number);
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
    EXPECT_EQ(v, row.vertices);
    EXPECT_EQ(vn, row.vertices);
    EXPECT_EQ(vt, row.vertices);
    EXPECT_GE(s, 1u);
    EXPECT_GE(usemtl, 1u);
    std::size_t triangles = 0, quads = 0;
    for (const std::vector<std::string>& corners : faces) {
        ASSERT_TRUE(corners.size() == 3 || corners.size() == 4);
        (corners.size() == 3 ? triangles : quads) += 1;
        for (const std::string& corner : corners) {
            const std::vector<std::string> parts = split(corner, '/');
            ASSERT_EQ(parts.size(), 3u) << corner;
            EXPECT_TRUE(index_in_range(parts[0], v)) << corner;
            EXPECT_TRUE(index_in_range(parts[1], vt)) << corner;
            EXPECT_TRUE(index_in_range(parts[2], vn)) << corner;
        }
    }
    EXPECT_EQ(triangles, row.triangles);
    EXPECT_EQ(quads, row.quads);
}

INSTANTIATE_TEST_SUITE_P(Figures, FigureModel, testing::ValuesIn(rows),
                         [](const testing::TestParamInfo<Row>& row_info) { return "model_" + std::to_string(row_info.param.number); });

TEST(FigureModels, StandUprightWithTheHeadCentredAtTheTop) {
    for (const Row& row : rows) {
        const Model model = load_obj(model_text(row.number));
        const float height = row.max.y - row.min.y;
        for (const Vertex& v : model.vertices) {
            if (v.y > row.max.y - height * 0.08f) {
                EXPECT_LT(std::abs(v.x - model.center.x), 10.0f) << row.number;
            }
        }
    }
}

// The note effect draws model 11's corners of faces 3, 6, 9, … in order, and a short note
// shows only the first 128 of them: those must already span the figure, and the whole
// list must reach every vertex.
TEST(FigureModels, NoteFigureCornersOutlineTheFigureEarlyAndReachEveryVertex) {
    const Model model = load_obj(model_text(11));
    ASSERT_EQ(model.faces.size(), 1236u);
    std::vector<Vertex> corners;
    for (std::size_t f = 2; f < model.faces.size(); f += 3) {
        for (VertexIndex i : model.faces[f]) corners.push_back(model.vertices.at(i));
    }
    ASSERT_EQ(corners.size(), 1236u);

    float lo_x = corners[0].x, hi_x = lo_x, lo_y = corners[0].y, hi_y = lo_y;
    for (std::size_t k = 0; k < 128; ++k) {
        lo_x = std::min(lo_x, corners[k].x), hi_x = std::max(hi_x, corners[k].x);
        lo_y = std::min(lo_y, corners[k].y), hi_y = std::max(hi_y, corners[k].y);
    }
    EXPECT_GT(hi_x - lo_x, 0.8f * (28.71f + 29.01f));
    EXPECT_GT(hi_y - lo_y, 0.9f * (82.63f + 97.73f));

    std::vector<bool> drawn(model.vertices.size(), false);
    for (std::size_t f = 2; f < model.faces.size(); f += 3) {
        for (VertexIndex i : model.faces[f]) drawn[i] = true;
    }
    EXPECT_EQ(std::count(drawn.begin(), drawn.end(), false), 0);
}

}  // namespace
}  // namespace lumo
