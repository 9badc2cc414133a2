// lumo-render's command line and its files: what it accepts, how it refuses, and that a
// file is either complete under its name or not there at all.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <tuple>

#include "app/render.hpp"
#include "app/render_encoder.hpp"
#include "app/render_files.hpp"
#include "app/render_html.hpp"
#include "app/render_json.hpp"
#include "app/render_options.hpp"
#include "scope/gl/shaders.hpp"
#include "xydemo.hpp"

namespace lumo {
namespace {

namespace fs = std::filesystem;

Result<RenderOptions> parse(std::vector<std::string> args) { return parse_render_options(args); }

TEST(RenderOptions, DefaultsAndEveryOption) {
    const Result<RenderOptions> plain = parse({"--wav", "show.wav"});
    ASSERT_TRUE(plain.ok());
    EXPECT_EQ(plain.value().mode, RenderMode::Wav);
    EXPECT_EQ(plain.value().path, "show.wav");
    EXPECT_FALSE(plain.value().seconds.has_value());
    EXPECT_EQ(wav_seconds(plain.value()), 160.0);
    EXPECT_EQ(plain.value().buffer_frames, 2400u);
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
    EXPECT_EQ(parse({"--scope-sheet", "s.png"}).value().mode, RenderMode::ScopeSheet);
    EXPECT_EQ(parse({"--html", "out"}).value().mode, RenderMode::Html);

    const Result<RenderOptions> scope = parse({"--scope", "out", "--at", "20.25,3,0", "--size", "120"});
    ASSERT_TRUE(scope.ok());
    EXPECT_EQ(scope.value().at, (std::vector<double>{20.25, 3.0, 0.0}));
    EXPECT_EQ(scope.value().size, 120);

    // The whole show from --from on, unless --seconds says otherwise.
    const Result<RenderOptions> video = parse({"--video", "v.mkv", "--from", "100", "--fps", "60"});
    ASSERT_TRUE(video.ok());
    EXPECT_EQ(video.value().size, 600);
    EXPECT_EQ(video_frames(video.value()), 60 * 60);
    EXPECT_EQ(video_frames(parse({"--video", "v.mp4", "--seconds", "2"}).value()), 60);

    // A file's look: each option lands in the scope's settings; the defaults are its own.
    const Result<RenderOptions> look =
        parse({"--video", "v.mp4", "--input", "a.wav", "--fps", "24", "--persistence", "50", "--intensity", "2",
               "--focus", "3", "--colour", "amber", "--axes", "-y,x"});
    ASSERT_TRUE(look.ok()) << look.error().report();
    EXPECT_EQ(look.value().input, "a.wav");
    const ScopeSettings settings = scope_settings(look.value(), 44100, 300);
    EXPECT_EQ(settings.sample_rate, 44100);
    EXPECT_EQ(settings.fps, 24);
    EXPECT_EQ(settings.persistence, 0.05f);
    EXPECT_EQ(settings.exposure, ScopeSettings{}.exposure * 2.0f);
    EXPECT_EQ(settings.beam_sigma, ScopeSettings{}.beam_sigma * 3.0f);
    EXPECT_EQ(settings.phosphor, ScopePhosphor::Amber);
    EXPECT_TRUE(settings.swap_xy && settings.invert_x && !settings.invert_y);
    const ScopeSettings plain_look = scope_settings(parse({"--scope", "o", "--at", "1"}).value(), 96000, 600);
    auto fields = [](const ScopeSettings& s) {
        return std::tuple(s.size, s.sample_rate, s.fps, s.persistence, s.exposure, s.beam_sigma, s.phosphor,
                          s.swap_xy, s.invert_x, s.invert_y);
    };
    EXPECT_EQ(fields(plain_look), fields(ScopeSettings{}));
}

// The page decodes the show's module from base64: every length of tail, and the two
// characters past the letters and digits.
TEST(RenderHtml, Base64AsRfc4648HasIt) {
    const auto encoded = [](std::string_view text) {
        return base64({reinterpret_cast<const unsigned char*>(text.data()), text.size()});
    };
    EXPECT_EQ(encoded(""), "");
    EXPECT_EQ(encoded("f"), "Zg==");
    EXPECT_EQ(encoded("fo"), "Zm8=");
    EXPECT_EQ(encoded("foo"), "Zm9v");
    EXPECT_EQ(encoded("foobar"), "Zm9vYmFy");
    EXPECT_EQ(encoded("\xfb\xff\xbf"), "+/+/");
}

// The page's JSON: commas where values meet, at every depth; quotes, backslashes and every
// control character escaped (none dropped), UTF-8 as it is; floats that read back exactly.
TEST(RenderHtml, JsonWriterEscapesAndSeparates) {
    JsonWriter json;
    json.begin_object().key("a\"\\").string(std::string_view("\x01\n\t\x1f\x7f\xc3\xa9 ok\0", 11));
    json.key("list").begin_array().number(0.1f).number(std::uint64_t{18446744073709551615u}).null();
    json.begin_array().end_array().begin_object().end_object().end_array();
    json.key("inf").number(std::numeric_limits<double>::infinity()).end_object();
    EXPECT_EQ(json.text(),
              "{\"a\\\"\\\\\":\"\\u0001\\n\\u0009\\u001f\\u007f\xc3\xa9 ok\\u0000\","
              "\"list\":[0.1,18446744073709551615,null,[],{}],\"inf\":null}");
    EXPECT_EQ(json_script("note", "NAME", json).substr(0, 19), "// note\nvar NAME = ");
}

// The page draws with the GL scope's shader files themselves, not a copy: show.js carries
// each as it is in the tree.
TEST(RenderHtml, ShowScriptCarriesTheScopesShaderFiles) {
    const std::string script = show_script(1, 1.0);
    for (const std::string_view name : kScopeShaderNames) {
        std::ifstream in(fs::path(LUMO_SOURCE_DIR) / "src" / "scope" / "gl" / name, std::ios::binary);
        const std::string file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        ASSERT_FALSE(file.empty()) << name;
        const std::string text = scope_shader_text(name);
        EXPECT_TRUE(text.ends_with(file)) << name;
        JsonWriter entry;
        entry.begin_object().key(name).string(text).end_object();
        const std::string member = entry.text().substr(1, entry.text().size() - 2);
        EXPECT_NE(script.find(member), std::string::npos) << name;
    }
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
             {"--wav", "a.wav", "--size", "100"},
             {"--scope-sheet", "s.png", "--seconds", "3"},
             {"--scope", "out"},
             {"--scope", "out", "--at", "1,"},
             {"--scope", "out", "--at", "-1"},
             {"--scope", "out", "--at", "1", "--size", "7"},
             {"--scope", "out", "--at", "1", "--size", "600px"},
             {"--video", "v.avi"},
             {"--video", "v.mp4", "--fps", "7"},
             {"--video", "v.mp4", "--colour", "p99"},
             {"--video", "v.mp4", "--axes", "x,x"},
             {"--video", "v.mp4", "--persistence", "-1"},
             {"--scope-sheet", "s.png", "--every", "2"},
             {"--wav", "a.wav", "--input", "a.wav"},
             {"--video", "v.mp4", "--size", "601"},
             {"--video", "v.mp4", "--from", "160"},
             {"--video", "v.mp4", "--at", "3"},
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
             {{"--scope", (file / "out").string(), "--at", "1"}, ": Not a directory"},
             {{"--video", (directory_ / "v.mp4").string()}, "needs ffmpeg"},
         }) {
        // No program is found on an empty PATH: a missing ffmpeg is reported before preparing.
        const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
        ::setenv("PATH", directory_.c_str(), 1);
        testing::internal::CaptureStderr();
        const int status = run_render(c.args);
        const std::string error = testing::internal::GetCapturedStderr();
        ::setenv("PATH", path.c_str(), 1);
        EXPECT_EQ(status, 1) << testing::PrintToString(c.args);
        EXPECT_NE(error.find(c.expected), std::string::npos) << error;
        EXPECT_EQ(error.find("preparing"), std::string::npos) << error;
    }
    EXPECT_EQ(entries(), 1u);  // only a-file: no probe is left behind
}

// A file lumo-render cannot show stops every mode that takes one before anything is made:
// one sentence naming the file, status 1, no file or directory left.
TEST_F(RenderFiles, RefusedInputsLeaveNothing) {
    auto file = [&](const std::string& name, const std::vector<std::byte>& bytes) {
        std::ofstream(directory_ / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return (directory_ / name).string();
    };
    std::vector<std::byte> mono = xydemo::make_wav(44100, xydemo::Format::S16, 0.1);
    mono[22] = std::byte{1};  // one channel
    std::vector<std::byte> cut = xydemo::make_wav(48000, xydemo::Format::S24, 0.1);
    cut.resize(cut.size() - 100);
    const std::string inputs[] = {file("mono.wav", mono), file("cut.wav", cut),
                                  file("slow.wav", xydemo::make_wav(22050, xydemo::Format::F32, 0.1)),
                                  file("text.wav", {std::byte{'h'}, std::byte{'i'}}), (directory_ / "none.wav").string()};
    const std::size_t before = entries();
    struct Case {
        std::string input;
        std::vector<std::string> args;
        std::string expected;
    };
    for (const Case& c : std::vector<Case>{
             {inputs[0], {"--scope", (directory_ / "frames").string(), "--at", "1"}, " is mono: lumo-render shows stereo"},
             {inputs[1], {"--video", (directory_ / "v.mkv").string()}, " is truncated: its header promises 28800 bytes"},
             {inputs[2], {"--video", (directory_ / "v.mp4").string(), "--fps", "60"},
              ": the scope's frame rate must divide the sample rate, 22050 Hz"},
             {inputs[3], {"--scope-sheet", (directory_ / "sheet.png").string()}, " is not a RIFF/WAVE file (too short)"},
             {inputs[4], {"--scope-sheet", (directory_ / "sheet.png").string()}, ": No such file or directory"},
         }) {
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--input", c.input});
        testing::internal::CaptureStderr();
        const int status = run_render(args);
        const std::string error = testing::internal::GetCapturedStderr();
        EXPECT_EQ(status, 1) << c.input;
        EXPECT_EQ(error.find("Error: "), 0u) << error;
        EXPECT_NE(error.find(c.input + c.expected), std::string::npos) << error;
        EXPECT_EQ(std::count(error.begin(), error.end(), '\n'), 1) << error;
        EXPECT_EQ(entries(), before) << error;
    }
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

// An encoder that dies while lumo-render writes to it: the write fails with words, and the
// process neither dies of SIGPIPE nor is left ignoring it.
TEST(RenderEncoder, DeadEncoderIsAnErrorNotASignal) {
    const int sound = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(sound, 0);
    Result<EncoderProcess> started = start_encoder("/bin/true", {}, sound);
    ::close(sound);
    ASSERT_TRUE(started.ok()) << started.error().message();
    EncoderProcess encoder = started.value();
    // More than the pipe holds, so the write lasts until the encoder has gone.
    const std::vector<unsigned char> bytes(8 << 20);
    const Status written = write_to_encoder(encoder, bytes);
    ASSERT_FALSE(written.ok());
    EXPECT_NE(written.error().message().find("stopped reading"), std::string::npos);
    EXPECT_TRUE(finish_encoder(encoder).ok());

    struct sigaction now {};
    ::sigaction(SIGPIPE, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL);
    sigset_t pending;
    sigpending(&pending);
    EXPECT_EQ(sigismember(&pending, SIGPIPE), 0);
    sigset_t mask;
    pthread_sigmask(SIG_SETMASK, nullptr, &mask);
    EXPECT_EQ(sigismember(&mask, SIGPIPE), 0);
}

}  // namespace
}  // namespace lumo
