// Lines on the grid and the slice renderer: the cases where an off-by-one or a wrong
// conversion would change every figure.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <vector>

#include "draw/draw.hpp"

namespace lumo {
namespace {

using Floats = std::vector<float>;

TEST(InterpolateFloat, StopsBeforeTheEndValue) {
    EXPECT_EQ(interpolate_float(2, 7, 2, 9, 1), Floats{7});
    EXPECT_EQ(interpolate_float(0, 0, 4, 8, 1), (Floats{0, 2, 4, 6}));
    EXPECT_EQ(interpolate_float(0, 0, 4, 8, 2), (Floats{0, 2}));
    EXPECT_TRUE(interpolate_float(0.9f, 0, 1.1f, 1, 1).empty());
    EXPECT_TRUE(interpolate_float(5, 0, 1, 1, 1).empty());
}

TEST(InterpolateFloat, CountIsBoundedByTheGrid) {
    const Floats values = interpolate_float(0, 0, 300, 300, 1);
    ASSERT_EQ(values.size(), 127u);
    EXPECT_EQ(values.front(), 0.0f);
    EXPECT_EQ(values.back(), 126.0f);
}

TEST(InterpolateFloat, AccumulatesBySuccessiveAddition) {
    // 0.1 added ten times differs from 0.1 * k in the last bits; the figures rely on the sum.
    const Floats values = interpolate_float(0, 0, 10, 1, 1);
    ASSERT_EQ(values.size(), 10u);
    float d = 0.0f;
    for (float v : values) {
        EXPECT_EQ(v, d);
        d = d + 0.1f;
    }
}

TEST(CreateLineFloat, XMajorRunsLeftToRightWithoutTheFarEnd) {
    const PointList expected{{0, 0}, {1, 0.5f}, {2, 1}, {3, 1.5f}};
    EXPECT_EQ(create_line_float(0, 0, 4, 2, 1), expected);
    EXPECT_EQ(create_line_float(4, 2, 0, 0, 1), expected);
}

TEST(CreateLineFloat, YMajorIncludingEqualExtents) {
    EXPECT_EQ(create_line_float(0, 0, 2, 4, 1), (PointList{{0, 0}, {0.5f, 1}, {1, 2}, {1.5f, 3}}));
    EXPECT_EQ(create_line_float(0, 0, 3, 3, 1), (PointList{{0, 0}, {1, 1}, {2, 2}}));
    EXPECT_EQ(create_line_float(3, 3, 0, 0, 1), (PointList{{0, 0}, {1, 1}, {2, 2}}));
}

TEST(CreateLineFloat, ShorterThanOneGridUnitIsEmpty) {
    EXPECT_TRUE(create_line_float(1, 1, 1, 1, 1).empty());
    EXPECT_TRUE(create_line_float(1, 1, 1, 1, 0.5f).empty());
    EXPECT_TRUE(create_line_float(2.2f, 0, 2.9f, 0.1f, 1).empty());
}

TEST(CreateLineFloat, FractionalStartRepeatsTheFirstValue) {
    // x = 3 and x = 4 are both index 0: -0.5 and 0.5 truncate to 0.
    EXPECT_EQ(create_line_float(3.5f, 0, 6.5f, 0, 1), (PointList{{3, 0}, {4, 0}, {5, 0}}));
    EXPECT_EQ(create_line_float(3.5f, 0, 6.5f, 1.5f, 1), (PointList{{3, 0}, {4, 0}, {5, 0.5f}}));
}

TEST(CreateLineFloat, StartBeyondTheGridSkipsIntoTheValues) {
    // Stepping starts at -128, whose index is 72 in a list that begins at x = -200.
    const PointList line = create_line_float(-200, 0, 50, 125, 1);
    ASSERT_EQ(line.size(), 106u);
    EXPECT_EQ(line.front(), (Point{-128, 36}));
    EXPECT_EQ(line.back(), (Point{-23, 88.5f}));
}

TEST(CreateLineFloat, GridSaturatesAtBothEnds) {
    // 255 values from y = -130; stepping from -128 starts at index 2, so y stops at 124.
    const PointList vertical = create_line_float(0, 130, 0, -130, 1);
    ASSERT_EQ(vertical.size(), 253u);
    EXPECT_EQ(vertical.front().y, -128.0f);
    EXPECT_EQ(vertical.back().y, 124.0f);
    // From x = -500 the first grid position already lies past the 255 values.
    EXPECT_TRUE(create_line_float(-500, 0, 500, 0, 1).empty());
}

TEST(DrawPointsFloat, FillsTheSliceDividedByFullScale) {
    const PointList slice = draw_points_float({{100, -50}}, 2, 0.02f);
    ASSERT_EQ(slice.size(), 1920u);
    for (const Point& p : slice) EXPECT_EQ(p, (Point{1.0f, -0.5f}));
    // A true division: 3 / 100 and 3 * 0.01 differ in float.
    EXPECT_EQ(draw_points_float({{3, 7}}, 1, 0.02f).front(), (Point{3.0f / 100.0f, 7.0f / 100.0f}));
}

TEST(DrawPointsFloat, CutsMidRepetition) {
    const PointList slice = draw_points_float({{1, 1}, {2, 2}, {3, 3}}, 2, 0.0001f);
    const Point a{0.01f, 0.01f}, b{0.02f, 0.02f}, c{0.03f, 0.03f};
    EXPECT_EQ(slice, (PointList{a, a, b, b, c, c, a, a, b}));
}

TEST(DrawPointsFloat, LongDrawingIsTruncated) {
    PointList drawing;
    for (int i = 0; i < 1000; ++i) drawing.push_back({static_cast<float>(i), 0});
    const PointList slice = draw_points_float(drawing, 5, 0.02f);
    ASSERT_EQ(slice.size(), 1920u);
    EXPECT_EQ(slice[4].x, 0.0f);
    EXPECT_EQ(slice[5].x, 0.01f);
    EXPECT_EQ(slice[1919].x, 383.0f / 100.0f);
}

// 65537 points repeated 65537 times: a drawing of 2^32 + 131073 samples, longer than the
// slice.  Counted in a 32-bit size_t it would be 131073 long and start again there.
TEST(DrawPointsFloat, DrawingLongerThanA32BitCountDoesNotWrap) {
    PointList drawing(65537, Point{0, 0});
    drawing[1] = {100, 100};
    const PointList slice = draw_points_float(std::move(drawing), 65537, 2.0f);
    ASSERT_EQ(slice.size(), 192000u);
    EXPECT_EQ(slice[65536], (Point{0, 0}));
    EXPECT_EQ(slice[65537], (Point{1, 1}));
    EXPECT_EQ(slice[131073], (Point{1, 1}));
    EXPECT_EQ(slice[131074], (Point{0, 0}));
}

TEST(DrawPointsFloat, EmptyCases) {
    EXPECT_TRUE(draw_points_float({}, 2, 0.02f).empty());
    EXPECT_TRUE(draw_points_float({{1, 1}}, 0, 0.02f).empty());
    EXPECT_TRUE(draw_points_float({{1, 1}}, 2, 0.0f).empty());
    EXPECT_TRUE(draw_points_float({{1, 1}}, 2, -0.02f).empty());
    EXPECT_TRUE(draw_points_float({{1, 1}}, 2, std::numeric_limits<float>::quiet_NaN()).empty());
    EXPECT_EQ(draw_points_float({{1, 1}}, 2, 1.0f / 96000.0f).size(), 1u);
}

TEST(DrawPointsFloat, EverySampleIsItsPointInTheCycle) {
    // Sample k is point (k / repeat) mod L, for drawings shorter, as long as and longer
    // than the slice, with the holds the show uses and others.
    for (const std::size_t length : {1u, 7u, 383u, 384u, 385u, 959u, 960u, 961u, 1919u, 1920u, 2500u}) {
        PointList drawing;
        for (std::size_t i = 0; i < length; ++i) drawing.push_back({static_cast<float>(i), -static_cast<float>(i) / 3});
        for (const unsigned repeat : {1u, 2u, 3u, 5u, 7u}) {
            const PointList slice = draw_points_float(drawing, repeat, 0.02f);
            ASSERT_EQ(slice.size(), 1920u);
            for (std::size_t k = 0; k < slice.size(); ++k) {
                const Point& p = drawing[(k / repeat) % length];
                ASSERT_EQ(slice[k], (Point{p.x / 100.0f, p.y / 100.0f})) << length << " " << repeat << " " << k;
            }
        }
    }
}

// The effects' way of rendering frame after frame into one figure.
TEST(AppendSlice, IsTheFramesSliceAppendedAndEmptiesTheFrame) {
    ChannelPair figure = {{9}, {8}};
    PointList frame = {{1, 2}, {3, 4}, {5, 6}};
    const ChannelPair slice = split_channels(draw_points_float(frame, 3, 0.02f));
    append_slice(figure, frame, 3);
    ASSERT_EQ(figure.size(), 1 + slice.size());
    EXPECT_TRUE(std::equal(slice.x.begin(), slice.x.end(), figure.x.begin() + 1));
    EXPECT_TRUE(std::equal(slice.y.begin(), slice.y.end(), figure.y.begin() + 1));
    EXPECT_TRUE(frame.empty());
    append_slice(figure, frame, 3);  // an empty frame draws nothing
    EXPECT_EQ(figure.size(), 1 + slice.size());
}

}  // namespace
}  // namespace lumo
