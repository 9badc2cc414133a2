// The figure types every effect produces and every voice plays.
#pragma once

#include <vector>

namespace lumo {

// One drawn point; in output units x is the left sample and y the right one.
struct Point {
    float x;
    float y;

    friend bool operator==(const Point&, const Point&) = default;
};

// One rendered figure: the points in playing order.
using PointList = std::vector<Point>;

// A figure split into its two channels, each exactly as long as the figure.
struct ChannelPair {
    std::vector<float> x;
    std::vector<float> y;
};

ChannelPair split_channels(const PointList& points);

// Appends `points` to the end of `to`.
inline void append(PointList& to, const PointList& points) { to.insert(to.end(), points.begin(), points.end()); }

}  // namespace lumo
