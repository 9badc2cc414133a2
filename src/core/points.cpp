#include "core/points.hpp"

#include <ranges>

namespace lumo {

ChannelPair split_channels(const PointList& points) {
    // Built from the projected ranges: each list is sized once and written once, neither
    // zero-filled first nor grown one value at a time.
    const auto xs = points | std::views::transform(&Point::x);
    const auto ys = points | std::views::transform(&Point::y);
    return {{xs.begin(), xs.end()}, {ys.begin(), ys.end()}};
}

}  // namespace lumo
