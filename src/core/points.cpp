#include "core/points.hpp"

namespace lumo {

ChannelPair split_channels(const PointList& points) {
    ChannelPair pair;
    pair.x.reserve(points.size());
    pair.y.reserve(points.size());
    for (const Point& p : points) {
        pair.x.push_back(p.x);
        pair.y.push_back(p.y);
    }
    return pair;
}

}  // namespace lumo
