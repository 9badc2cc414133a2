// Reads a capture of lumo's output (raw interleaved 32-bit float stereo at 96000 Hz) and
// checks it against the embedded clips.
//
//   lumo-capture-check count FILE        prints "FRAMES NONSILENT FIRST_NONSILENT"
//   lumo-capture-check show-start FILE   checks the show's first seconds, exit status 0 or 1
//
// The show opens with clips 3, 4 and 5 in turn, six seconds each.  Each voice's oscillator
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
    // The score opens with clips 3, 4 and 5, six seconds each, then title 1 at 18 s.
    const lumo::PointList clips[] = {clip(3), clip(4), clip(5)};
    // The capture is silent until lumo's first frame, clip 3's frame 1; if that frame and
    // a few after it are silent too, the first sound is clip 3's first sounding frame.
    const std::size_t heard = first_sound(capture, 0);
    const std::size_t clip_sound = first_sound(clips[0], 1);
    if (heard == capture.size() || clip_sound == clips[0].size()) {
        std::puts("FAIL: no sound in the capture");
        return 1;
    }
    if (heard < clip_sound - 1) {
        std::puts("FAIL: sound before the show could have started");
        return 1;
    }
    bool ok = true;
    std::size_t at = heard - (clip_sound - 1);
    std::printf("show starts at capture frame %zu\n", at);
    for (int i = 0; i < 3; ++i) {
        const std::size_t run = matching_run(capture, at, clips[i]);
        std::printf("clip %d from its frame 1 for %zu frames (%.3f s)\n", 3 + i, run, static_cast<double>(run) / kRate);
        // The clock started before the stream was built, and the device is filled 0.1 s
        // ahead of what is heard: the first clip's run is near 6 s, not exactly 6 s.
        const std::size_t low = i == 0 ? kRate * 5 : kRate * 59 / 10;
        const std::size_t high = i == 0 ? kRate * 63 / 10 : kRate * 61 / 10;
        if (run < low || run > high) {
            std::printf("FAIL: clip %d does not sound for about 6 s\n", 3 + i);
            ok = false;
        }
        // The active set changes only between callbacks, one period each.
        if (run % kPeriodFrames != 0) {
            std::printf("FAIL: clip %d does not end on a period boundary\n", 3 + i);
            ok = false;
        }
        at += run;
    }
    if (capture.size() - at < kRate / 2) {
        std::puts("FAIL: the capture ends before half a second of what follows clip 5");
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
