// What lumo-render's scope views are made of: a figure "alone" is exactly its own voice's
// share of the show's mix, and the contact sheet looks at every played figure while it
// sounds; a user's file is shown at its own rate.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>

#include "app/render_mix.hpp"
#include "app/render_scope.hpp"
#include "app/render_scope_sheet.hpp"
#include "core/random.hpp"
#include "show/score.hpp"
#include "xydemo.hpp"

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

// The demo file's circle (its first second) and square (its second) at four rates and in
// three formats: the frame ending at 0.5 s lights the circle and neither the square's
// corners nor the centre, the frame at 1.5 s the square and not the circle's diagonals.
// A scope that took the file for 96000 Hz would show the wrong second, or silence.
TEST(RenderInput, AFileShowsWhereItsFiguresAreAtItsOwnRate) {
    constexpr int kSize = 160;
    constexpr double kPi = 3.14159265358979323846;
    auto green = [](const RgbImage& image, double x, double y) {
        const int px = static_cast<int>((x + 1.0) * kSize / 2), py = static_cast<int>((1.0 - y) * kSize / 2);
        const std::size_t at = static_cast<std::size_t>(std::clamp(py, 0, kSize - 1) * kSize + std::clamp(px, 0, kSize - 1));
        return image.rgb[at * 3 + 1];
    };
    const xydemo::Format formats[] = {xydemo::Format::S16, xydemo::Format::S24, xydemo::Format::F32};
    for (const int rate : {44100, 48000, 96000, 192000}) {
        for (const xydemo::Format format : formats) {
            const std::vector<std::byte> bytes = xydemo::make_wav(rate, format, 2.0);
            const int descriptor = memfd_create("demo", MFD_CLOEXEC);
            ASSERT_EQ(write(descriptor, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
            Result<WavStream> input = WavStream::from_descriptor(descriptor, "demo.wav");
            ASSERT_TRUE(input.ok()) << input.error().message();
            RenderOptions options;
            options.size = kSize;
            const ScopeSettings settings = input_scope_settings(input.value(), options, kSize).value();
            auto frame_at = [&](double seconds) {
                return render_input_frame(input.value(), seconds, settings).value();
            };
            const std::string where = std::to_string(rate) + " Hz, format " + std::to_string(static_cast<int>(format));
            const RgbImage circle = frame_at(0.5), square = frame_at(1.5);
            for (int k = 0; k < 16; ++k) {
                const double angle = 2 * kPi * (k + 0.5) / 16, t = (k + 0.5) / 16 - 0.5;
                EXPECT_GT(green(circle, 0.6 * std::cos(angle), 0.6 * std::sin(angle)), 100) << where << " circle " << k;
                EXPECT_GT(green(square, t, 0.5), 100) << where << " square top " << k;
                EXPECT_GT(green(square, 0.5, t), 100) << where << " square right " << k;
            }
            for (const auto& [x, y] : {std::pair{0.5, 0.5}, {-0.5, -0.5}, {0.5, -0.5}, {-0.5, 0.5}, {0.0, 0.0}}) {
                EXPECT_LT(green(circle, x, y), 20) << where << " circle frame at " << x << ", " << y;
            }
            for (const auto& [x, y] : {std::pair{0.42, 0.42}, {-0.42, -0.42}, {0.0, 0.0}, {0.0, 0.8}}) {
                EXPECT_LT(green(square, x, y), 20) << where << " square frame at " << x << ", " << y;
            }
        }
    }
}

}  // namespace
}  // namespace lumo
