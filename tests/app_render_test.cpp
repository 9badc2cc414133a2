// lumo-render's command line: what it accepts and how it refuses.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/render.hpp"

namespace lumo {
namespace {

Result<RenderOptions> parse(std::vector<std::string> args) { return parse_render_options(args); }

TEST(RenderOptions, DefaultsAndEveryOption) {
    const Result<RenderOptions> plain = parse({"--wav", "show.wav"});
    ASSERT_TRUE(plain.ok());
    EXPECT_EQ(plain.value().output, RenderOptions::Output::Wav);
    EXPECT_EQ(plain.value().path, "show.wav");
    EXPECT_EQ(plain.value().seconds, 160.0);
    EXPECT_EQ(plain.value().buffer_frames, 1024u);
    EXPECT_EQ(plain.value().format, RenderFormat::F32);
    EXPECT_FALSE(plain.value().seed.has_value());

    const Result<RenderOptions> full =
        parse({"--seconds", "2.5", "--wav", "a.wav", "--buffer", "480", "--format", "s16", "--seed", "42"});
    ASSERT_TRUE(full.ok());
    EXPECT_EQ(full.value().seconds, 2.5);
    EXPECT_EQ(full.value().buffer_frames, 480u);
    EXPECT_EQ(full.value().format, RenderFormat::S16);
    EXPECT_EQ(full.value().seed, 42u);

    EXPECT_EQ(parse({"--figures", "out"}).value().output, RenderOptions::Output::Figures);
    EXPECT_EQ(parse({"--png", "out"}).value().output, RenderOptions::Output::Png);
}

TEST(RenderOptions, RefusesWhatItCannotDo) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {},
             {"--wav"},
             {"--wav", "a.wav", "--png", "dir"},
             {"--wav", "a.wav", "--seconds", "-1"},
             {"--wav", "a.wav", "--seconds", "nan"},
             {"--wav", "a.wav", "--seconds", "2s"},
             {"--wav", "a.wav", "--buffer", "0"},
             {"--wav", "a.wav", "--buffer", "-5"},
             {"--wav", "a.wav", "--format", "s24"},
             {"--wav", "a.wav", "--seed", "x"},
             {"--wav", "a.wav", "--loud", "yes"},
             {"--wav", ""},
         }) {
        const Result<RenderOptions> parsed = parse(args);
        EXPECT_FALSE(parsed.ok()) << testing::PrintToString(args);
        if (!parsed.ok()) {
            EXPECT_NE(parsed.error().report().find("usage: lumo-render"), std::string::npos);
        }
    }
}

TEST(RenderOptions, UsageErrorsAndUnwritablePathsExitWithStatus1BeforeRendering) {
    const std::vector<std::string> bad_usage = {"--frobnicate"};
    EXPECT_EXIT(std::exit(run_render(bad_usage)), testing::ExitedWithCode(1), "Error: unknown option");
    const std::vector<std::string> unwritable = {"--wav", "/nonexistent-dir/show.wav"};
    EXPECT_EXIT(std::exit(run_render(unwritable)), testing::ExitedWithCode(1),
                "Error: cannot write /nonexistent-dir/show.wav");
    EXPECT_FALSE(std::filesystem::exists("/nonexistent-dir/show.wav.partial"));
}

}  // namespace
}  // namespace lumo
