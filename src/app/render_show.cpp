#include "app/render_show.hpp"

#include "core/fatal.hpp"
#include "core/random.hpp"

namespace lumo {

PreparedShow prepare_show_with_seed(std::optional<std::uint64_t> seed) {
    if (seed) seed_random(*seed);
    return prepare_show();
}

const ChannelPair& figure_wavetables(const PreparedShow& show, int figure) {
    const int voice = voice_of_figure(figure);
    if (voice < 1) fatal("lumo-render asked for a figure the show does not have");
    return show.voice_figures[static_cast<std::size_t>(voice - 1)];
}

int voice_of_figure(int figure) {
    for (int voice = 1; voice <= static_cast<int>(kFigureCount); ++voice) {
        if (figure_of_voice(voice) == figure) return voice;
    }
    return 0;
}

const char* figure_description(int figure) {
    static constexpr const char* descriptions[kFigureCount] = {
        "title 1",
        "title 2",
        "title 3",
        "clip 1",
        "clip 2",
        "clip 3",
        "clip 4",
        "clip 5",
        "clip 6",
        "clip 7",
        "clip 8",
        "blocks",
        "skull points",
        "turned skull points",
        "logo outline, still",
        "logo outline, tumbling",
        "detailed figure outline",
        "detailed figure, short flip",
        "raised hand, short spin",
        "raised hand about the origin",
        "low-detail points, filtered",
        "low-detail figure outline",
        "detailed points, filtered",
        "turned hand wireframe",
        "melody figure",
        "raised hand, long",
        "closing figure",
    };
    if (figure < 1 || figure > static_cast<int>(kFigureCount)) return "";
    return descriptions[figure - 1];
}

}  // namespace lumo
