// The embedded clips as the show decodes them: their exact file layout, and the sound
// each one is made to have (level, brightness, stereo image, shared openings).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "assets/assets.hpp"
#include "wave/wav.hpp"

namespace lumo {
namespace {

constexpr std::size_t kFrames = 289786;
constexpr std::size_t kFileBytes = 1159246;
constexpr std::size_t kHeaderBytes = 12 + 48 + 34 + 8;
constexpr double kRate = 96000.0;

struct Row {
    double peak_left, peak_right, rms_left, rms_right, crossings, correlation;
};

// What each clip is to sound like: peak and RMS per channel, left-channel zero
// crossings per second, and the correlation of left and right.
constexpr Row kRows[8] = {
    {0.92, 1.00, 0.20, 0.20, 3900, 0.24},  {0.93, 1.00, 0.25, 0.22, 3500, 0.17},
    {1.00, 1.00, 0.34, 0.36, 970, 0.33},   {1.00, 1.00, 0.34, 0.35, 1400, 0.29},
    {0.93, 1.00, 0.29, 0.30, 2050, 0.29},  {0.92, 1.00, 0.17, 0.18, 1360, 0.34},
    {1.00, 1.00, 0.24, 0.25, 15350, 0.66}, {0.42, 0.42, 0.07, 0.07, 710, -0.68},
};

struct Channels {
    std::vector<double> left, right;
};

Channels decode(int number) {
    Result<PointList> result = read_wav_to_vec(assets::clip(number));
    if (!result.ok()) {
        ADD_FAILURE() << "clip " << number << ": " << result.error().message();
        return {};
    }
    Channels channels;
    for (const Point& point : result.value()) {
        channels.left.push_back(point.x);
        channels.right.push_back(point.y);
    }
    return channels;
}

const std::vector<Channels>& clips() {
    static const std::vector<Channels> all = [] {
        std::vector<Channels> decoded;
        for (int number = 1; number <= assets::kClipCount; ++number) decoded.push_back(decode(number));
        return decoded;
    }();
    return all;
}

double peak(const std::vector<double>& x) {
    double largest = 0;
    for (double v : x) largest = std::max(largest, std::fabs(v));
    return largest;
}

double rms(const std::vector<double>& x) {
    double sum = 0;
    for (double v : x) sum += v * v;
    return std::sqrt(sum / static_cast<double>(x.size()));
}

double mean(const std::vector<double>& x, std::size_t count) {
    double sum = 0;
    for (std::size_t i = 0; i < count; ++i) sum += x[i];
    return sum / static_cast<double>(count);
}

double crossings_per_second(const std::vector<double>& x) {
    std::size_t count = 0;
    for (std::size_t i = 1; i < x.size(); ++i) count += (x[i - 1] < 0) != (x[i] < 0);
    return static_cast<double>(count) * kRate / static_cast<double>(x.size());
}

// Pearson correlation over the first `count` samples.
double correlation(const std::vector<double>& a, const std::vector<double>& b, std::size_t count) {
    const double ma = mean(a, count), mb = mean(b, count);
    double ab = 0, aa = 0, bb = 0;
    for (std::size_t i = 0; i < count; ++i) {
        ab += (a[i] - ma) * (b[i] - mb);
        aa += (a[i] - ma) * (a[i] - ma);
        bb += (b[i] - mb) * (b[i] - mb);
    }
    return ab / std::sqrt(aa * bb);
}

double seam_jump(const std::vector<double>& x) { return std::fabs(x.front() - x.back()); }

// The largest sample-to-sample step within 10 ms on either side of the loop point: a
// click there would stand out above it.
double largest_step_near_seam(const std::vector<double>& x) {
    const std::size_t span = 960;
    double largest = 0;
    for (std::size_t i = 1; i < span; ++i) {
        largest = std::max(largest, std::fabs(x[i] - x[i - 1]));
        largest = std::max(largest, std::fabs(x[x.size() - i] - x[x.size() - i - 1]));
    }
    return largest;
}

std::vector<std::byte> expected_header() {
    std::vector<std::byte> header;
    auto put = [&](std::uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) header.push_back(static_cast<std::byte>((value >> (8 * i)) & 0xFF));
    };
    auto text = [&](std::string_view s) {
        for (char c : s) header.push_back(static_cast<std::byte>(c));
    };
    text("RIFF");
    put(1159238, 4);
    text("WAVEfmt ");
    put(40, 4);
    put(0xFFFE, 2);
    put(2, 2);
    put(96000, 4);
    put(384000, 4);
    put(4, 2);
    put(16, 2);
    put(22, 2);
    put(16, 2);
    put(0x3, 4);
    for (unsigned byte : {0x01u, 0u, 0u, 0u, 0u, 0u, 0x10u, 0u, 0x80u, 0u, 0u, 0xAAu, 0u, 0x38u, 0x9Bu, 0x71u})
        put(byte, 1);
    text("LIST");
    put(26, 4);
    text("INFOISFT");
    put(14, 4);
    header.insert(header.end(), 14, std::byte{0});  // the encoder tag, checked below
    text("data");
    put(1159144, 4);
    return header;
}

TEST(EmbeddedClips, FilesHaveTheExactSharedLayout) {
    const std::vector<std::byte> want = expected_header();
    ASSERT_EQ(want.size(), kHeaderBytes);
    const std::span<const std::byte> first = assets::clip(1);
    for (int number = 1; number <= assets::kClipCount; ++number) {
        const std::span<const std::byte> bytes = assets::clip(number);
        ASSERT_EQ(bytes.size(), kFileBytes) << "clip " << number;
        for (std::size_t i = 0; i < kHeaderBytes; ++i) {
            const bool in_tag = i >= 80 && i < 94;
            if (!in_tag) {
                ASSERT_EQ(bytes[i], want[i]) << "clip " << number << " byte " << i;
            }
            ASSERT_EQ(bytes[i], first[i]) << "clip " << number << " byte " << i;
        }
        // The encoder tag is printable text padded with NULs.
        const char* tag = reinterpret_cast<const char*>(bytes.data() + 80);
        EXPECT_GT(std::strlen(std::string(tag, 14).c_str()), 0u);
        EXPECT_EQ(tag[13], '\0');
        EXPECT_EQ(clips()[static_cast<std::size_t>(number - 1)].left.size(), kFrames) << "clip " << number;
    }
}

TEST(EmbeddedClips, MatchTheCommittedFiles) {
    for (int number = 1; number <= assets::kClipCount; ++number) {
        const std::string path = std::string(LUMO_SOURCE_DIR) + "/assets/clips/clip-" + std::to_string(number) + ".wav";
        std::ifstream in(path, std::ios::binary);
        const std::vector<char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::span<const std::byte> embedded = assets::clip(number);
        ASSERT_EQ(file.size(), embedded.size()) << path;
        EXPECT_EQ(std::memcmp(file.data(), embedded.data(), file.size()), 0) << path;
    }
}

TEST(EmbeddedClips, LevelsBrightnessAndStereoImage) {
    for (std::size_t k = 0; k < clips().size(); ++k) {
        const Channels& clip = clips()[k];
        const Row& row = kRows[k];
        SCOPED_TRACE("clip " + std::to_string(k + 1));
        EXPECT_NEAR(peak(clip.left), row.peak_left, 0.02);
        EXPECT_NEAR(peak(clip.right), row.peak_right, 0.02);
        EXPECT_NEAR(rms(clip.left), row.rms_left, 0.02);
        EXPECT_NEAR(rms(clip.right), row.rms_right, 0.02);
        EXPECT_NEAR(crossings_per_second(clip.left), row.crossings, 0.1 * row.crossings);
        EXPECT_NEAR(correlation(clip.left, clip.right, kFrames), row.correlation, 0.05);
        // No DC offset, and the loop closes without a jump (the player loops it seamlessly).
        EXPECT_LT(std::fabs(mean(clip.left, kFrames)), 0.005);
        EXPECT_LT(std::fabs(mean(clip.right, kFrames)), 0.005);
        EXPECT_LE(seam_jump(clip.left), largest_step_near_seam(clip.left));
        EXPECT_LE(seam_jump(clip.right), largest_step_near_seam(clip.right));
    }
}

TEST(EmbeddedClips, VariationsOfOneLoop) {
    const std::vector<Channels>& all = clips();
    EXPECT_NEAR(correlation(all[2].left, all[3].left, kFrames), 0.92, 0.05);
    // Clips 1 to 6 open alike over their first half second, yet none copies another.
    const std::size_t opening = 48000;
    for (std::size_t a = 0; a < 6; ++a) {
        for (std::size_t b = a + 1; b < 6; ++b) {
            EXPECT_GE(correlation(all[a].left, all[b].left, opening), 0.99) << "clips " << a + 1 << ", " << b + 1;
            EXPECT_FALSE(std::equal(all[a].left.begin(), all[a].left.begin() + opening, all[b].left.begin()))
                << "clips " << a + 1 << ", " << b + 1;
        }
    }
    // Clip 6 is the start of clip 2, and silent once its sound has ended at 1.43 s.
    const std::size_t sound = static_cast<std::size_t>(1.4 * kRate);
    EXPECT_GE(correlation(all[1].left, all[5].left, sound), 0.98);
    const std::size_t ended = static_cast<std::size_t>(1.43 * kRate);
    const std::vector<double> tail(all[5].left.begin() + static_cast<std::ptrdiff_t>(ended), all[5].left.end());
    EXPECT_LT(peak(tail), 0.001);
}

// The beam's distance from the centre, RMS over `count` frames from `first`.
double displacement(const Channels& clip, std::size_t first, std::size_t count) {
    double sum = 0;
    for (std::size_t i = first; i < first + count; ++i) sum += clip.left[i] * clip.left[i] + clip.right[i] * clip.right[i];
    return std::sqrt(sum / static_cast<double>(count));
}

// Clip 1 plays under figures: between its hits the beam must rest, so the figure shows
// clean.  Its quiet steps (4-6, 8, 12-14) hold only bright, quiet material, and the beam
// rests in at least 40% of the 1/30-s frames a film of the scope would show.
TEST(EmbeddedClips, Clip1RestsBetweenItsHits) {
    const Channels& clip = clips()[0];
    const std::size_t step = kFrames / 16;
    for (std::size_t s : {4u, 5u, 6u, 8u, 12u, 13u, 14u}) {
        EXPECT_LT(displacement(clip, (s - 1) * step, step), 0.03) << "step " << s;
    }
    const std::size_t window = 3200;
    std::size_t quiet = 0, windows = 0;
    for (std::size_t first = 0; first + window <= kFrames; first += window, ++windows) {
        quiet += displacement(clip, first, window) < 0.03;
    }
    EXPECT_GE(quiet * 10, windows * 4) << quiet << " of " << windows;
}

TEST(EmbeddedAssets, NumbersOutsideTheShowStopTheProgram) {
    EXPECT_EXIT(assets::clip(0), testing::ExitedWithCode(101), "index out of bounds");
    EXPECT_EXIT(assets::clip(9), testing::ExitedWithCode(101), "index out of bounds");
    EXPECT_EXIT(assets::model(12), testing::ExitedWithCode(101), "index out of bounds");
}

TEST(EmbeddedAssets, ModelsAreTheCommittedTexts) {
    for (int number = 1; number <= assets::kModelCount; ++number) {
        char name[32];
        std::snprintf(name, sizeof name, "/assets/models/model-%02d.obj", number);
        std::ifstream in(std::string(LUMO_SOURCE_DIR) + name, std::ios::binary);
        const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        // A model not yet written is embedded as an empty text.
        EXPECT_EQ(assets::model(number), file) << name;
    }
}

}  // namespace
}  // namespace lumo
