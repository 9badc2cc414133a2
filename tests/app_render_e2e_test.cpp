// lumo-render run as a user runs it: the first seconds of the show, and reproducible figures.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "assets/assets.hpp"
#include "wave/wav.hpp"

namespace lumo {
namespace {

namespace fs = std::filesystem;

std::vector<std::byte> read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> chars((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::byte> bytes(chars.size());
    std::memcpy(bytes.data(), chars.data(), chars.size());
    return bytes;
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
    EXPECT_FALSE(fs::exists(wav.string() + ".partial"));
    const std::vector<std::byte> bytes = read_file(wav);
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

TEST_F(RenderProgram, PicturesOfEveryFigureAndTheSheet) {
    ASSERT_EQ(run("--png " + directory_.string() + " --seed 5"), 0);
    EXPECT_TRUE(fs::exists(directory_ / "show.png"));
    EXPECT_TRUE(fs::exists(directory_ / "figure-01.png"));
    EXPECT_TRUE(fs::exists(directory_ / "figure-27.png"));
}

}  // namespace
}  // namespace lumo
