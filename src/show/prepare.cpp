#include "show/prepare.hpp"

namespace lumo {

// Until the figures are rendered, every voice plays one point at the origin.
PreparedShow prepare_show() {
    PreparedShow show;
    for (ChannelPair& pair : show.voice_figures) pair = split_channels(PointList{Point{0.0f, 0.0f}});
    show.score = make_score();
    return show;
}

int figure_of_voice(int voice) {
    static constexpr int figures[kFigureCount] = {12, 6,  7,  8,  4,  5,  9,  10, 11, 13, 15, 16, 17, 14,
                                                  20, 19, 18, 21, 22, 23, 26, 25, 1,  2,  3,  24, 27};
    return figures[voice - 1];
}

}  // namespace lumo
