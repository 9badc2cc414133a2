// lumo-render's command line and its files: what it accepts, how it refuses, and that a
// file is either complete under its name or not there at all.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "app/render.hpp"
#include "app/render_files.hpp"
#include "app/render_options.hpp"

namespace lumo {
namespace {

namespace fs = std::filesystem;

Result<RenderOptions> parse(std::vector<std::string> args) { return parse_render_options(args); }

TEST(RenderOptions, DefaultsAndEveryOption) {
    const Result<RenderOptions> plain = parse({"--wav", "show.wav"});
    ASSERT_TRUE(plain.ok());
    EXPECT_EQ(plain.value().mode, RenderMode::Wav);
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

    EXPECT_EQ(parse({"--figures", "out"}).value().mode, RenderMode::Figures);
    EXPECT_EQ(parse({"--png", "out"}).value().mode, RenderMode::Pictures);
}

TEST(RenderOptions, RefusesWhatItCannotDo) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {},
             {"--wav"},
             {"--wav", "--seconds", "3"},
             {"--figures", "--seed", "1"},
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

class RenderFiles : public testing::Test {
protected:
    void SetUp() override {
        directory_ = fs::temp_directory_path() /
                     ("lumo-render-files-" + std::to_string(::getpid()) + "-" +
                      testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(directory_);
    }
    void TearDown() override { fs::remove_all(directory_); }
    std::size_t entries() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(directory_), fs::directory_iterator()));
    }
    fs::path directory_;
};

// Each refusal exits with status 1 before the show is prepared, naming the path and the reason.
TEST_F(RenderFiles, UnusableDestinationsAreRefusedBeforePreparing) {
    const fs::path file = directory_ / "a-file";
    std::ofstream(file) << "x";
    struct Case {
        std::vector<std::string> args;
        std::string expected;
    };
    for (const Case& c : std::vector<Case>{
             {{"--frobnicate"}, "Error: unknown option"},
             {{"--wav", "/nonexistent-dir/show.wav"}, "cannot write /nonexistent-dir/show.wav: No such file"},
             {{"--wav", directory_.string()}, ": Is a directory"},
             {{"--figures", (file / "out").string()}, (file / "out").string() + ": Not a directory"},
             {{"--png", "/proc"}, "cannot write in the directory /proc: "},
         }) {
        testing::internal::CaptureStderr();
        const int status = run_render(c.args);
        const std::string error = testing::internal::GetCapturedStderr();
        EXPECT_EQ(status, 1) << testing::PrintToString(c.args);
        EXPECT_NE(error.find(c.expected), std::string::npos) << error;
        EXPECT_EQ(error.find("preparing"), std::string::npos) << error;
    }
    EXPECT_EQ(entries(), 1u);  // only a-file: no probe is left behind
}

TEST_F(RenderFiles, AFileIsCompleteUnderItsNameOrAbsent) {
    const std::string longest = std::string(250, 'n') + ".wav";  // 254 bytes: the limit is 255
    const fs::path path = directory_ / longest;
    const unsigned char bytes[] = {1, 2, 3};
    std::string seen_temporary;
    const Status written = write_file_replacing(path.string(), [&](const PendingFile& file) {
        seen_temporary = file.temporary;
        return write_all(file, bytes);
    });
    ASSERT_TRUE(written.ok()) << written.error().report();
    const fs::path temporary(seen_temporary);
    EXPECT_EQ(temporary.parent_path(), directory_);
    EXPECT_EQ(temporary.filename().string().front(), '.');
    EXPECT_LE(temporary.filename().string().size(), 255u);
    EXPECT_EQ(fs::file_size(path), 3u);
    EXPECT_EQ(entries(), 1u);
    struct stat status {};
    ASSERT_EQ(::stat(path.c_str(), &status), 0);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(status.st_mode & 0777, 0666 & ~mask);  // an ordinary new file, not mkstemp's 0600

    const Status failed =
        write_file_replacing((directory_ / "failed").string(), [](const PendingFile&) -> Status { return Error("no"); });
    EXPECT_FALSE(failed.ok());
    EXPECT_EQ(entries(), 1u);
}

}  // namespace
}  // namespace lumo
