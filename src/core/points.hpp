// The drawings effects make and the figures every voice plays.
#pragma once

#include <cstddef>
#include <vector>

namespace lumo {

// One drawn point; in output units x is the left sample and y the right one.
struct Point {
    float x;
    float y;

    friend bool operator==(const Point&, const Point&) = default;
};

// Points in drawing order: a frame, a line, a decoded clip.
using PointList = std::vector<Point>;

// One rendered figure as a voice plays it: all x values in order, then all y values in
// order, each list exactly as long as the figure.  Effects write their figures straight
// into the two lists, so a figure never exists twice in memory.
struct ChannelPair {
    std::vector<float> x;
    std::vector<float> y;

    std::size_t size() const { return x.size(); }
    bool empty() const { return x.empty(); }
    Point operator[](std::size_t i) const { return {x[i], y[i]}; }
    void reserve(std::size_t points) {
        x.reserve(points);
        y.reserve(points);
    }

    friend bool operator==(const ChannelPair&, const ChannelPair&) = default;
};

// A drawing's two channels (a decoded clip's, say), each as long as the drawing.
ChannelPair split_channels(const PointList& points);

// The length of a vectorisable block.  At -O2 the compiler vectorises only loops whose
// length it knows to be whole vectors, such as a loop over one block; a vector operation
// rounds each value exactly as the scalar one would.
inline constexpr std::size_t kBlockLength = 8;

// Calls step(i) for every i from 0 to count - 1, in order, a block at a time while it
// can.  The index has the type of `count`: a 32-bit index converts to float with one
// vector instruction.
template <class Index, class Step> void for_each_index(Index count, Step step) {
    constexpr auto block = static_cast<Index>(kBlockLength);
    Index i = 0;
    for (; count - i >= block; i += block) {
        for (Index j = 0; j < block; ++j) step(i + j);
    }
    for (; i < count; ++i) step(i);
}

}  // namespace lumo
