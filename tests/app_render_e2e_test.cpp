// lumo-render run as a user runs it: the first seconds of the show, reproducible files,
// and nothing left behind when it is stopped.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include "app/render_encoder.hpp"
#include "assets/assets.hpp"
#include "image/image.hpp"
#include "scope/scope.hpp"
#include "wave/wav.hpp"

namespace lumo {
namespace {

namespace fs = std::filesystem;

constexpr char kBase64Digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::vector<std::byte> read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> chars((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::byte> bytes(chars.size());
    std::memcpy(bytes.data(), chars.data(), chars.size());
    return bytes;
}

// Standard output of a shell command.
std::string output_of(const std::string& command) {
    std::string text;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe)) text.append(buffer, got);
        ::pclose(pipe);
    }
    return text;
}

// The child of `parent` (lumo-render's encoder), or -1.
pid_t child_of(pid_t parent) {
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string pid, name, state;
        pid_t ppid = 0;
        // The name is in parentheses and has no spaces for the programs looked for here.
        if (stat >> pid >> name >> state >> ppid && ppid == parent) return static_cast<pid_t>(std::stol(pid));
    }
    return -1;
}

// Whether `pid` has ended (gone, or a zombie nobody reaps).
bool has_ended(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string number, name, state;
    return !(stat >> number >> name >> state) || state == "Z";
}

// Whether a file in `directory` grows beyond `bytes` within two minutes.
bool wait_for_a_file_over(const fs::path& directory, std::uintmax_t bytes) {
    for (int tries = 0; tries < 12'000; ++tries) {
        for (const fs::directory_entry& entry : fs::directory_iterator(directory)) {
            std::error_code error;
            if (entry.file_size(error) > bytes && !error) return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

int run(const std::string& arguments) {
    const std::string command = std::string(LUMO_RENDER_BINARY) + " " + arguments + " 2>/dev/null";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class RenderProgram : public testing::Test {
protected:
    void SetUp() override {
        directory_ = fs::temp_directory_path() /
                     ("lumo-render-test-" + std::to_string(::getpid()) + "-" +
                      testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(directory_);
    }
    void TearDown() override { fs::remove_all(directory_); }
    fs::path directory_;
};

TEST_F(RenderProgram, TheShowOpensWithClip3FromItsSecondFrame) {
    const fs::path wav = directory_ / "start.wav";
    ASSERT_EQ(run("--wav " + wav.string() + " --seconds 2 --seed 1"), 0);
    EXPECT_EQ(std::distance(fs::directory_iterator(directory_), fs::directory_iterator()), 1);
    const std::vector<std::byte> bytes = read_file(wav);
    // Float files carry no time stamp (libsndfile's PEAK chunk has one): a second run gives
    // the same bytes even a second later.
    const std::byte peak[] = {std::byte{'P'}, std::byte{'E'}, std::byte{'A'}, std::byte{'K'}};
    EXPECT_EQ(std::search(bytes.begin(), bytes.begin() + 128, std::begin(peak), std::end(peak)),
              bytes.begin() + 128);
    ASSERT_EQ(run("--wav " + (directory_ / "again.wav").string() + " --seconds 2 --seed 1"), 0);
    EXPECT_TRUE(read_file(directory_ / "again.wav") == bytes);
    const Result<PointList> rendered = read_wav_to_vec(bytes);
    ASSERT_TRUE(rendered.ok()) << rendered.error().message();
    ASSERT_EQ(rendered.value().size(), 192'000u);
    const Result<PointList> clip3 = read_wav_to_vec(assets::clip(3));
    ASSERT_TRUE(clip3.ok());
    const PointList& clip = clip3.value();
    // The oscillator advances before it reads, so frame k of the show is clip frame k + 1.
    for (std::size_t k = 0; k < rendered.value().size(); ++k) {
        ASSERT_EQ(rendered.value()[k], clip[(k + 1) % clip.size()]) << "frame " << k;
    }
}

TEST_F(RenderProgram, SixteenBitOutputIsTheClipTruncated) {
    const fs::path wav = directory_ / "start16.wav";
    ASSERT_EQ(run("--wav " + wav.string() + " --seconds 0.1 --format s16 --buffer 333 --seed 1"), 0);
    const Result<PointList> rendered = read_wav_to_vec(read_file(wav));
    ASSERT_TRUE(rendered.ok());
    ASSERT_EQ(rendered.value().size(), 9600u);
    const PointList clip = read_wav_to_vec(assets::clip(3)).value();
    // Clip samples are 16-bit values ÷ 32768, so the 16-bit mix reproduces them exactly.
    for (std::size_t k = 0; k < rendered.value().size(); ++k) {
        ASSERT_EQ(rendered.value()[k], clip[k + 1]) << "frame " << k;
    }
}

TEST_F(RenderProgram, FiguresOfOneSeedAreIdenticalByteForByte) {
    ASSERT_EQ(run("--figures " + (directory_ / "a").string() + " --seed 99"), 0);
    ASSERT_EQ(run("--figures " + (directory_ / "b").string() + " --seed 99"), 0);
    for (int figure = 1; figure <= 27; ++figure) {
        char name[32];
        std::snprintf(name, sizeof name, "figure-%02d.f32", figure);
        const std::vector<std::byte> a = read_file(directory_ / "a" / name);
        ASSERT_FALSE(a.empty()) << name;
        EXPECT_EQ(a.size() % 8, 0u) << name;
        EXPECT_TRUE(a == read_file(directory_ / "b" / name)) << name;
    }
    EXPECT_EQ(fs::file_size(directory_ / "a" / "figure-27.f32"), 3'340'800u * 8u);
    EXPECT_EQ(fs::file_size(directory_ / "a" / "figure-04.f32"), 289'786u * 8u);
}

// Stopped while it writes, it removes its temporary, says so on one line and exits with
// 128 + the signal's number.
TEST_F(RenderProgram, SigintAndSigtermLeaveNoFileBehind) {
    for (const int signal : {SIGINT, SIGTERM}) {
        const fs::path wav = directory_ / "long.wav";
        const fs::path log = fs::path(directory_.string() + ".log");
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const int err = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(err, STDERR_FILENO);
            ::execl(LUMO_RENDER_BINARY, LUMO_RENDER_BINARY, "--wav", wav.c_str(), "--seconds", "3600", "--format",
                    "s16", "--seed", "1", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        // Wait until the hidden temporary holds a few megabytes: writing has begun.
        const bool writing = wait_for_a_file_over(directory_, 4u << 20);
        ::kill(child, signal);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(writing);
        ASSERT_TRUE(WIFEXITED(status)) << "signal " << signal;
        EXPECT_EQ(WEXITSTATUS(status), 128 + signal);
        EXPECT_TRUE(fs::is_empty(directory_)) << "signal " << signal;
        std::ifstream messages(log);
        const std::string text((std::istreambuf_iterator<char>(messages)), std::istreambuf_iterator<char>());
        EXPECT_NE(text.find(signal == SIGINT ? "stopped by SIGINT" : "stopped by SIGTERM"), std::string::npos) << text;
        fs::remove(log);
    }
}

// The show opens with clip 3 alone: its frame at 3 s is the scope's picture of the clip's
// own samples, byte for byte (frame k of the show is clip frame k + 1).
TEST_F(RenderProgram, AScopeFrameOfClip3AloneIsTheClipsOwnPicture) {
    ASSERT_EQ(run("--scope " + directory_.string() + " --at 3 --size 96 --seed 1"), 0);
    const PointList clip = read_wav_to_vec(assets::clip(3)).value();
    const ScopeSettings settings{.size = 96};
    const std::int64_t end = scope_sample_at(3.0);
    std::vector<float> interleaved;
    for (std::int64_t k = 0; k < end + kScopeFilterLobes; ++k) {
        const Point p = clip[static_cast<std::size_t>(k + 1) % clip.size()];
        interleaved.push_back(p.x);
        interleaved.push_back(p.y);
    }
    const fs::path expected = directory_ / "expected.png";
    ASSERT_TRUE(write_png(render_scope_frame({interleaved, 0}, end, settings), expected.string()).ok());
    const std::vector<std::byte> frame = read_file(directory_ / "scope-3.000.png");
    ASSERT_FALSE(frame.empty());
    EXPECT_TRUE(frame == read_file(expected));
}

TEST_F(RenderProgram, AVideoHasTheAskedLengthRateAndStreams) {
    if (!find_program("ffmpeg").ok() || !find_program("ffprobe").ok()) GTEST_SKIP() << "no ffmpeg here";
    const fs::path video = directory_ / "show.mp4";
    ASSERT_EQ(run("--video " + video.string() + " --from 20 --seconds 2 --fps 60 --size 120 --seed 1"), 0);
    std::istringstream probe(output_of("ffprobe -v error -show_entries stream=codec_type,r_frame_rate"
                                       " -show_entries format=duration -of default=noprint_wrappers=1 " +
                                       video.string()));
    int videos = 0, audios = 0;
    std::string rate;
    double duration = 0.0;
    for (std::string line; std::getline(probe, line);) {
        if (line == "codec_type=video") ++videos;
        if (line == "codec_type=audio") ++audios;
        if (line.starts_with("r_frame_rate=") && line != "r_frame_rate=0/0") rate = line.substr(13);
        if (line.starts_with("duration=")) duration = std::stod(line.substr(9));
    }
    EXPECT_EQ(videos, 1);
    EXPECT_EQ(audios, 1);
    EXPECT_EQ(rate, "60/1");
    EXPECT_NEAR(duration, 2.0, 0.05);
    EXPECT_EQ(std::distance(fs::directory_iterator(directory_), fs::directory_iterator()), 1);
}

// Stopped while ffmpeg writes the video, lumo-render removes the temporary and ffmpeg ends
// too (it runs in a process group of its own, so it got no signal of its own).
TEST_F(RenderProgram, AStoppedVideoLeavesNoFileNorEncoder) {
    if (!find_program("ffmpeg").ok()) GTEST_SKIP() << "no ffmpeg here";
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDERR_FILENO);
        const std::string video = (directory_ / "long.mp4").string();
        ::execl(LUMO_RENDER_BINARY, LUMO_RENDER_BINARY, "--video", video.c_str(), "--size", "64", "--seed", "1",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    const bool writing = wait_for_a_file_over(directory_, 0);
    const pid_t encoder = child_of(child);
    ::kill(child, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(writing);
    ASSERT_NE(encoder, -1);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 128 + SIGTERM);
    for (int tries = 0; tries < 1'000 && !has_ended(encoder); ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(has_ended(encoder));
    EXPECT_TRUE(fs::is_empty(directory_));
}

TEST_F(RenderProgram, PicturesOfEveryFigureAndTheSheet) {
    ASSERT_EQ(run("--png " + directory_.string() + " --seed 5"), 0);
    EXPECT_TRUE(fs::exists(directory_ / "show.png"));
    EXPECT_TRUE(fs::exists(directory_ / "figure-01.png"));
    EXPECT_TRUE(fs::exists(directory_ / "figure-27.png"));
}

std::vector<std::byte> from_base64(std::string_view text) {
    std::vector<std::byte> bytes;
    std::uint32_t bits = 0;
    int count = 0;
    for (const char c : text) {
        const char* digit = std::strchr(kBase64Digits, c);
        if (c == '=' || digit == nullptr) break;
        bits = (bits << 6) | static_cast<std::uint32_t>(digit - kBase64Digits);
        if ((count += 6) >= 8) bytes.push_back(static_cast<std::byte>((bits >> (count -= 8)) & 0xFF));
    }
    return bytes;
}

// The page carries the show's WebAssembly module (base64) beside the models, computes the
// sound itself (tests/page checks its mix), and its own files are the ones in web/; a
// folder is the same for the same seed.
TEST_F(RenderProgram, ThePageCarriesTheShowsModule) {
    const fs::path page = directory_ / "page";
    ASSERT_EQ(run("--html " + page.string() + " --seconds 1.5 --seed 5"), 0);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(page)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"index.html", "scope.css", "scope.js", "show-module.js",
                                               "show-worker.js", "show.js"}));
    for (const char* name : {"index.html", "scope.css", "scope.js", "show-worker.js"}) {
        EXPECT_TRUE(read_file(page / name) == read_file(fs::path(LUMO_SOURCE_DIR) / "web" / name)) << name;
    }

    const std::vector<std::byte> script = read_file(page / "show-module.js");
    const std::string text(reinterpret_cast<const char*>(script.data()), script.size());
    const std::string key = "{\"module\":\"";
    const std::size_t begin = text.find(key) + key.size();
    ASSERT_NE(text.find(key), std::string::npos);
    const std::vector<std::byte> module = from_base64(std::string_view(text).substr(begin, text.find('"', begin) - begin));
    ASSERT_GE(module.size(), 8u);
    EXPECT_EQ(std::memcmp(module.data(), "\0asm", 4), 0);

    ASSERT_EQ(run("--html " + (directory_ / "again").string() + " --seconds 1.5 --seed 5"), 0);
    for (const char* name : {"show.js", "show-module.js"}) {
        EXPECT_TRUE(read_file(page / name) == read_file(directory_ / "again" / name)) << name;
    }
}

}  // namespace
}  // namespace lumo
