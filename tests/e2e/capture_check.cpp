// Reads a capture of lumo's output (raw interleaved 32-bit float stereo at 96000 Hz) and
// checks it against the embedded clips.
//
//   lumo-capture-check count FILE        prints "FRAMES NONSILENT FIRST_NONSILENT"
//   lumo-capture-check show-start FILE   checks the show's first seconds, exit status 0 or 1
//
// The show opens with clip 3 until t = 6 s and clip 4 after it.  Each voice's oscillator
// advances before it reads, so the first frame played of a clip is its frame 1.  The
// active clip can change only between two callbacks, that is on a period boundary of the
// stream.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "assets/assets.hpp"
#include "wave/wav.hpp"

namespace {

constexpr std::size_t kRate = 96000;
constexpr std::size_t kPeriodFrames = 2400;

std::optional<lumo::PointList> read_capture(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    lumo::PointList frames(bytes.size() / sizeof(lumo::Point));
    std::memcpy(frames.data(), bytes.data(), frames.size() * sizeof(lumo::Point));
    return frames;
}

bool silent(const lumo::Point& frame) { return frame.x == 0.0f && frame.y == 0.0f; }

std::size_t first_sound(const lumo::PointList& frames, std::size_t from) {
    std::size_t index = from;
    while (index < frames.size() && silent(frames[index])) ++index;
    return index;
}

lumo::PointList clip(int number) {
    lumo::Result<lumo::PointList> decoded = lumo::read_wav_to_vec(lumo::assets::clip(number));
    if (!decoded.ok() || decoded.value().empty()) {
        std::fprintf(stderr, "clip %d does not decode\n", number);
        std::exit(1);
    }
    return std::move(decoded).value();
}

// How many frames from `start` on are the clip's frames 1, 2, …, wrapping around.
std::size_t matching_run(const lumo::PointList& capture, std::size_t start, const lumo::PointList& clip) {
    std::size_t k = 0;
    while (start + k < capture.size() && capture[start + k] == clip[(k + 1) % clip.size()]) ++k;
    return k;
}

int count(const lumo::PointList& capture) {
    std::size_t sounding = 0;
    for (const lumo::Point& frame : capture) sounding += silent(frame) ? 0 : 1;
    std::printf("%zu %zu %zu\n", capture.size(), sounding, first_sound(capture, 0));
    return 0;
}

int show_start(const lumo::PointList& capture) {
    const lumo::PointList clip3 = clip(3);
    const lumo::PointList clip4 = clip(4);
    // The capture is silent until lumo's first frame, clip 3's frame 1; if that frame and
    // a few after it are silent too, the first sound is clip 3's first sounding frame.
    const std::size_t heard = first_sound(capture, 0);
    const std::size_t clip_sound = first_sound(clip3, 1);
    if (heard == capture.size() || clip_sound == clip3.size()) {
        std::puts("FAIL: no sound in the capture");
        return 1;
    }
    if (heard < clip_sound - 1) {
        std::puts("FAIL: sound before the show could have started");
        return 1;
    }
    const std::size_t start = heard - (clip_sound - 1);
    const std::size_t clip3_run = matching_run(capture, start, clip3);
    const std::size_t rest = capture.size() - start - clip3_run;
    const std::size_t clip4_run = matching_run(capture, start + clip3_run, clip4);
    std::printf("show starts at capture frame %zu; clip 3 for %zu frames (%.3f s), then clip 4 for %zu of the %zu "
                "frames left\n",
                start, clip3_run, static_cast<double>(clip3_run) / kRate, clip4_run, rest);

    bool ok = true;
    // The clock started before the stream was built and the device holds 0.1 s ahead of
    // what is heard, so clip 4 arrives a little before 6 s of the stream have played.
    if (clip3_run < kRate * 5 || clip3_run > kRate * 63 / 10) {
        std::puts("FAIL: clip 3 does not give way to clip 4 near 6 s");
        ok = false;
    }
    if (clip3_run % kPeriodFrames != 0) {
        std::puts("FAIL: clip 4 does not start on a period boundary");
        ok = false;
    }
    if (rest < kRate || clip4_run != rest) {
        std::puts("FAIL: what follows clip 3 is not clip 4 from its frame 1 (or lasts under 1 s)");
        ok = false;
    }
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: lumo-capture-check count|show-start FILE\n", stderr);
        return 2;
    }
    const std::optional<lumo::PointList> capture = read_capture(argv[2]);
    if (!capture) {
        std::fprintf(stderr, "cannot read %s\n", argv[2]);
        return 2;
    }
    if (std::strcmp(argv[1], "count") == 0) return count(*capture);
    if (std::strcmp(argv[1], "show-start") == 0) return show_start(*capture);
    std::fprintf(stderr, "unknown mode %s\n", argv[1]);
    return 2;
}
