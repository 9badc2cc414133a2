// What lumo-render's scope views are made of: a figure "alone" is exactly its own voice's
// share of the show's mix, and the contact sheet looks at every played figure while it
// sounds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "app/render_mix.hpp"
#include "app/render_scope_sheet.hpp"
#include "core/random.hpp"
#include "show/score.hpp"

namespace lumo {
namespace {

// 52 to 53 s: clip 1 and the blocks, both resumed where their earlier events left them
// (the blocks last played until 33 s).  Where nothing is limited, mix = clip + blocks.
TEST(RenderScope, AFigureAloneIsItsShareOfTheMix) {
    RandomEngine random(3);
    PreparedShow show = prepare_show(random);
    const std::int64_t first = 52 * 96000, end = 53 * 96000;
    auto stretch = [&](OfflineMix mix) {
        MixWindow window{{}, 0};
        mix_until(mix, window, first, end);
        return std::vector<float>(window.interleaved.begin(), window.interleaved.begin() + (end - first) * 2);
    };
    const std::vector<float> clip = stretch(make_offline_mix_alone(show, Figure::Clip1));
    const std::vector<float> blocks = stretch(make_offline_mix_alone(show, Figure::Blocks));
    const std::vector<float> mix = stretch(make_offline_mix(std::move(show)));
    std::size_t compared = 0, differ = 0;
    for (std::size_t i = 0; i < mix.size(); ++i) {
        const float sum = clip[i] + blocks[i];
        if (std::fabs(clip[i]) >= 1.0f || std::fabs(blocks[i]) >= 1.0f || std::fabs(sum) > 1.0f) continue;
        ++compared;
        if (mix[i] != sum) ++differ;
    }
    EXPECT_GT(compared, mix.size() / 2);
    EXPECT_EQ(differ, 0u);
    EXPECT_TRUE(std::any_of(blocks.begin(), blocks.end(), [](float v) { return v != 0.0f; }));
    EXPECT_TRUE(std::any_of(clip.begin(), clip.end(), [](float v) { return v != 0.0f; }));
}

// Three instants for a figure the score plays, none for one it never plays, each a frame
// (1/30 s) or more inside one of the figure's events.
TEST(RenderScope, TheSheetLooksAtEveryPlayedFigureWhileItSounds) {
    for (const FigureEntry& entry : kFigures) {
        const std::vector<ScoreEvent> events = events_playing(entry.figure);
        const std::vector<double> instants = sheet_instants(entry.figure);
        EXPECT_EQ(instants.size(), events.empty() ? 0u : 3u) << entry.description;
        EXPECT_TRUE(std::is_sorted(instants.begin(), instants.end())) << entry.description;
        for (const double t : instants) {
            EXPECT_TRUE(std::any_of(events.begin(), events.end(), [&](const ScoreEvent& e) {
                return e.start + 1.0 / 30.0 <= t + 1e-9 && t <= e.end - 1.0 / 30.0 + 1e-9;
            })) << entry.description << " at " << t;
        }
    }
}

}  // namespace
}  // namespace lumo
