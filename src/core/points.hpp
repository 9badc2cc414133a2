// The drawings effects make and the figures every voice plays.
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <utility>
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

// An allocator whose vectors grow without writing their new elements (a resize of
// floats leaves them as the memory had them), so that a list can be sized first and
// then written once.
template <class T> struct UnfilledAllocator : std::allocator<T> {
    template <class U> struct rebind {
        using other = UnfilledAllocator<U>;
    };
    UnfilledAllocator() = default;
    template <class U> UnfilledAllocator(const UnfilledAllocator<U>&) noexcept {}
    template <class U> void construct(U* at) noexcept { ::new (static_cast<void*>(at)) U; }
    template <class U, class... Args> void construct(U* at, Args&&... args) {
        ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
    }
};

// The samples of one channel of a figure: a wavetable.  Effects size their figures a
// slice at a time and render into the new room, which is never zero-filled first.
using Wavetable = std::vector<float, UnfilledAllocator<float>>;

// One rendered figure as a voice plays it: all x values in order, then all y values in
// order, each list exactly as long as the figure.  Effects write their figures straight
// into the two lists, so a figure never exists twice in memory.
struct ChannelPair {
    Wavetable x;
    Wavetable y;

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
