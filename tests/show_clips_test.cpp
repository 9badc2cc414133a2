// The show's opening through the real score and the real clip voices.
#include <gtest/gtest.h>

#include <cmath>

#include "assets/assets.hpp"
#include "show/playback.hpp"
#include "wave/wav.hpp"

namespace lumo {
namespace {

PointList clip(int number) { return read_wav_to_vec(assets::clip(number)).value(); }

// The clips' voices play the clips as in the show; every other voice one constant point,
// so its share of a mix can be told apart.
PlaybackState clip_state() {
    std::array<ChannelPair, kVoiceCount - 1> figures;
    for (ChannelPair& figure : figures) figure = {{0.03125f}, {0.0625f}};
    for (int number = 1; number <= assets::kClipCount; ++number) {
        const auto figure = static_cast<Figure>(static_cast<int>(Figure::Clip1) + number - 1);
        figures[voice_of(figure) - 1] = split_channels(clip(number));
    }
    return make_playback_state({0, 0}, std::move(figures), make_score(), 64);
}

std::vector<float> render_at(PlaybackState& state, float t, std::size_t frames = 4) {
    std::vector<float> out(frames * 2);
    render_buffer<float>(state, out, t);
    return out;
}

TEST(ShowOpening, ClipsThreeFourAndFiveTakeTurnsOnTheSecond) {
    const PointList clip3 = clip(3), clip4 = clip(4), clip5 = clip(5);
    PlaybackState state = clip_state();
    const std::vector<float> at_start = render_at(state, 0.0f);
    EXPECT_EQ(at_start[0], clip3[1].x);  // the table advances before it is read
    EXPECT_EQ(at_start[1], clip3[1].y);
    EXPECT_EQ(at_start[6], clip3[4].x);

    // 6.0 exactly belongs to clip 4 alone: clip 3's event has ended.
    const std::vector<float> at_six = render_at(state, 6.0f);
    EXPECT_EQ(at_six[0], clip4[1].x);
    EXPECT_EQ(at_six[1], clip4[1].y);
    const std::vector<float> just_before = render_at(state, std::nextafter(6.0f, 0.0f), 1);
    EXPECT_EQ(just_before[0], clip3[5].x);  // clip 3 resumes where it stopped

    const std::vector<float> at_twelve = render_at(state, 12.0f);
    EXPECT_EQ(at_twelve[0], clip5[1].x);
    EXPECT_EQ(render_at(state, 18.0f)[0], 0.03125f);  // title 1 takes over
}

TEST(ShowOpening, TheShortSkullEventEndsWhileClip2Plays) {
    const PointList clip2 = clip(2);
    PlaybackState state = clip_state();
    const std::vector<float> both = render_at(state, 36.1f, 1);
    EXPECT_EQ(both[0], clip2[1].x + 0.03125f);
    EXPECT_EQ(both[1], clip2[1].y + 0.0625f);
    const std::vector<float> clip_alone = render_at(state, 36.3f, 1);
    EXPECT_EQ(clip_alone[0], clip2[2].x);
    EXPECT_EQ(clip_alone[1], clip2[2].y);
}

}  // namespace
}  // namespace lumo
