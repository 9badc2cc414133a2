// Reads a capture of lumo's output (raw interleaved 32-bit float stereo at 96000 Hz) and
// checks it against the embedded clips.
//
//   lumo-capture-check count FILE        prints "FRAMES NONSILENT FIRST_NONSILENT"
//   lumo-capture-check show-start FILE   checks the show's first seconds, exit status 0 or 1
//   lumo-capture-check resume FILE CLIP  checks that the capture's sound is that clip (for
//                                        0.1 s at least), from within 2 s of its start
//                                        on, exit status 0 or 1
//   lumo-capture-check gaps FILE         lists the silences in the capture that the score
//                                        does not explain, one per line, and prints
//                                        "GAPS N" last
//   lumo-capture-check match FILE A.wav B.wav [SECONDS]
//                                        checks the capture against lumo-render --wav of
//                                        two seeds (32-bit float), period by period, all
//                                        of it or its first SECONDS from the show's start
//
// The show opens with clips 3, 4 and 5 in turn, six seconds each.  Each voice's oscillator
// advances before it reads, so the first frame played of a clip is its frame 1.  The
// active clip can change only between two callbacks, that is on a period boundary of the
// stream.
#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "assets/assets.hpp"
#include "show/score.hpp"
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

// After a pause in playback (the sound server went away and came back), the show goes on
// with whatever the clock says is playing: a clip the voice continues where it stopped,
// not the show's first clip from its start.
int resume(const lumo::PointList& capture, int clip_number) {
    const std::size_t heard = first_sound(capture, 0);
    if (heard == capture.size()) {
        std::puts("FAIL: no sound in the capture");
        return 1;
    }
    std::printf("sound from capture frame %zu (%.3f s)\n", heard, static_cast<double>(heard) / kRate);
    if (heard > 2 * kRate) {
        std::puts("FAIL: no sound within 2 s of the start of the capture");
        return 1;
    }
    // The clip frame that the first sound is, found by the longest run that matches.
    const lumo::PointList expected = clip(clip_number);
    std::size_t best_run = 0;
    std::size_t best_offset = 0;
    for (std::size_t offset = 0; offset < expected.size(); ++offset) {
        if (!(expected[offset] == capture[heard])) continue;
        std::size_t k = 0;
        while (heard + k < capture.size() && capture[heard + k] == expected[(offset + k) % expected.size()]) ++k;
        if (k > best_run) {
            best_run = k;
            best_offset = offset;
        }
    }
    std::printf("clip %d from its frame %zu for %zu frames (%.3f s)\n", clip_number, best_offset, best_run,
                static_cast<double>(best_run) / kRate);
    // A tenth of a second of a clip's frames, bit for bit, is no chance: and an underrun
    // soon after the card's return (the kernel's own work on the card) may end the run.
    if (best_run < kRate / 10) {
        std::printf("FAIL: the sound is not clip %d for a tenth of a second\n", clip_number);
        return 1;
    }
    return 0;
}

// A gap is a run of exact silence (at least half a millisecond) between sounds.  The
// show's own silences, where no event of the score is active, are told apart by time: the
// capture's frames follow the show clock, from the first sound on, give or take the
// device's latency and the first callback's lateness.
int gaps(const lumo::PointList& capture) {
    constexpr std::size_t kShortest = kRate / 2000;
    constexpr double kSlack = 0.25;  // seconds
    const std::shared_ptr<const lumo::Score> score = lumo::make_score();
    const auto score_silent_near = [&](double from, double to) {
        // Sampled every millisecond: the score's silences are far longer than that.
        for (double t = from - kSlack; t < to + kSlack; t += 0.001) {
            const float at = static_cast<float>(t);
            bool active = false;
            for (const lumo::ScoreEvent& event : *score) active = active || (event.start <= at && at < event.end);
            if (!active && t >= 0.0) return true;
        }
        return false;
    };
    const std::size_t start = first_sound(capture, 0);
    std::size_t end = capture.size();
    while (end > start && silent(capture[end - 1])) --end;
    std::size_t count = 0;
    for (std::size_t i = start; i < end;) {
        if (!silent(capture[i])) {
            ++i;
            continue;
        }
        std::size_t run = 0;
        while (i + run < end && silent(capture[i + run])) ++run;
        const double from = static_cast<double>(i - start) / kRate;
        const double to = static_cast<double>(i + run - start) / kRate;
        if (run >= kShortest) {
            const bool meant = score_silent_near(from, to);
            std::printf("%s at %.3f s: %.1f ms\n", meant ? "score silence" : "gap", from,
                        static_cast<double>(run) * 1000.0 / kRate);
            count += meant ? 0 : 1;
        }
        i += run;
    }
    std::printf("GAPS %zu\n", count);
    return 0;
}

// The frames of a 32-bit float stereo WAV file (lumo-render's): its "data" chunk.
std::optional<lumo::PointList> read_float_wav(const char* path) {
    std::optional<lumo::PointList> bytes = read_capture(path);  // read whole, as frames
    if (!bytes) return std::nullopt;
    const auto* raw = reinterpret_cast<const unsigned char*>(bytes->data());
    const std::size_t size = bytes->size() * sizeof(lumo::Point);
    const auto u32 = [&](std::size_t at) {
        return static_cast<std::size_t>(raw[at]) | static_cast<std::size_t>(raw[at + 1]) << 8 |
               static_cast<std::size_t>(raw[at + 2]) << 16 | static_cast<std::size_t>(raw[at + 3]) << 24;
    };
    for (std::size_t at = 12; at + 8 <= size;) {
        const std::size_t length = u32(at + 4);
        if (std::memcmp(raw + at, "data", 4) == 0) {
            lumo::PointList frames(std::min(length, size - at - 8) / sizeof(lumo::Point));
            std::memcpy(frames.data(), raw + at + 8, frames.size() * sizeof(lumo::Point));
            return frames;
        }
        at += 8 + length + (length & 1);
    }
    return std::nullopt;
}

bool same_frames(const lumo::PointList& a, std::size_t a_at, const lumo::PointList& b, std::size_t b_at,
                 std::size_t frames) {
    return a_at + frames <= a.size() && b_at + frames <= b.size() &&
           std::equal(a.begin() + static_cast<std::ptrdiff_t>(a_at),
                      a.begin() + static_cast<std::ptrdiff_t>(a_at + frames), b.begin() + static_cast<std::ptrdiff_t>(b_at));
}

// Whether a score event starts or ends within `slack` seconds of show time `t`.
bool near_event_edge(const lumo::Score& score, double t, double slack) {
    for (const lumo::ScoreEvent& event : score) {
        for (const float edge : {event.start, event.end}) {
            if (static_cast<double>(edge) - slack <= t && t <= static_cast<double>(edge) + slack) return true;
        }
    }
    return false;
}

// The capture of a live play against the offline render, one period at a time.  Each
// period the device asked for is one callback, so it is a whole period of the render when
// the render is mixed in periods too.  The live stream starts and stops a voice on the
// first callback after its time on the show clock, and its callbacks run ahead of what is
// heard (the first ones come at once), so a voice may start or stop a period or two later
// or earlier than in the render: for those periods the sound before the change goes on,
// and all that follows is shifted by whole periods.  So the shift is found again whenever
// a period does not match where the last one did, and up to two periods that match
// nowhere are let pass where an event starts or ends.  (An underrun ends the match: the
// voices then play on from where they were, behind the clock, and a clip voice that comes
// back later resumes at another frame than in the render.)  A period where the two renders
// of different seeds differ is reached by the random draws and left out.
int match(const lumo::PointList& capture, const lumo::PointList& a, const lumo::PointList& b, double seconds) {
    constexpr std::ptrdiff_t kPeriod = static_cast<std::ptrdiff_t>(kPeriodFrames);
    constexpr std::ptrdiff_t kFarthestShift = 40;  // periods, one second
    constexpr std::size_t kLongestEdge = 2;        // periods that match nowhere at an event's edge
    constexpr double kEdgeSlack = 4.0 * kPeriodFrames / kRate;
    const std::shared_ptr<const lumo::Score> score = lumo::make_score();
    const std::size_t heard = first_sound(capture, 0);
    const std::size_t rendered = first_sound(a, 0);
    if (heard == capture.size() || rendered == a.size() || heard < rendered) {
        std::puts("FAIL: no sound in the capture where the show could start");
        return 1;
    }
    const std::size_t start = heard - rendered;  // where the first callback's frames begin
    const std::size_t end = std::min(capture.size(), start + static_cast<std::size_t>(seconds * kRate));
    std::size_t matched = 0;
    std::size_t random = 0;
    std::size_t edges = 0;
    std::ptrdiff_t period = 0;  // the capture's periods since the show began
    std::ptrdiff_t shift = 0;   // render period = capture period + shift
    // The periods since the last match that match nowhere: where they start in the
    // capture and in the render, and how many.
    std::size_t unmatched_at = 0;
    std::size_t unmatched_here = 0;
    std::size_t unmatched = 0;
    const auto fail_at = [&](std::size_t at, std::size_t here) {
        std::size_t k = 0;
        while (k + 1 < kPeriodFrames && here + k + 1 < a.size() && capture[at + k] == a[here + k]) ++k;
        const lumo::Point live = capture[at + k];
        const lumo::Point offline = here + k < a.size() ? a[here + k] : lumo::Point{0.0f, 0.0f};
        std::printf("FAIL: capture frame %zu (show %.6f s) is (%.9g, %.9g), the render has (%.9g, %.9g)\n", at + k,
                    static_cast<double>(here + k) / kRate, static_cast<double>(live.x), static_cast<double>(live.y),
                    static_cast<double>(offline.x), static_cast<double>(offline.y));
        std::printf("MATCHED %zu periods before it\n", matched);
        return 1;
    };
    for (std::size_t at = start; at + kPeriodFrames <= end; at += kPeriodFrames, ++period) {
        const auto render_at = [&](std::ptrdiff_t s) { return (period + s) * kPeriod; };
        const auto matches = [&](std::ptrdiff_t s) {
            return period + s >= 0 && same_frames(capture, at, a, static_cast<std::size_t>(render_at(s)), kPeriodFrames);
        };
        std::optional<std::ptrdiff_t> found;
        for (std::ptrdiff_t k = 0; k <= kFarthestShift && !found; ++k) {
            if (matches(shift - k)) found = shift - k;
            else if (k != 0 && matches(shift + k)) found = shift + k;
        }
        if (found) {
            if (unmatched > 0) {
                std::printf("at show %.3f s a voice started or stopped off the render's period: %zu period%s before "
                            "the change\n",
                            static_cast<double>(unmatched_here) / kRate, unmatched, unmatched == 1 ? "" : "s");
                ++edges;
                unmatched = 0;
            }
            if (*found != shift) {
                std::printf("from capture %.3f s (show %.3f s) the capture runs %td periods %s the render\n",
                            static_cast<double>(at - start) / kRate, static_cast<double>(render_at(*found)) / kRate,
                            *found < 0 ? -*found : *found, *found < 0 ? "behind" : "ahead of");
                shift = *found;
            }
            ++matched;
            continue;
        }
        const std::size_t here = static_cast<std::size_t>(std::max<std::ptrdiff_t>(render_at(shift), 0));
        if (here + kPeriodFrames <= a.size() && !same_frames(a, here, b, here, kPeriodFrames)) {
            ++random;
            continue;
        }
        if (unmatched == 0) {
            unmatched_at = at;
            unmatched_here = here;
        }
        ++unmatched;
        const bool at_edge = near_event_edge(*score, static_cast<double>(unmatched_here) / kRate, kEdgeSlack);
        if (unmatched > kLongestEdge || !at_edge) return fail_at(unmatched_at, unmatched_here);
    }
    std::printf("MATCHED %zu periods (%.3f s) sample for sample, %zu periods (%.3f s) left to the random draws, "
                "%zu event edges a period or two off\n",
                matched, static_cast<double>(matched * kPeriodFrames) / kRate, random,
                static_cast<double>(random * kPeriodFrames) / kRate, edges);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 6) {
        std::fputs("usage: lumo-capture-check count|show-start|gaps FILE, resume FILE CLIP, "
                   "or match FILE A B [SECONDS]\n",
                   stderr);
        return 2;
    }
    const std::optional<lumo::PointList> capture = read_capture(argv[2]);
    if (!capture) {
        std::fprintf(stderr, "cannot read %s\n", argv[2]);
        return 2;
    }
    if (std::strcmp(argv[1], "count") == 0) return count(*capture);
    if (std::strcmp(argv[1], "show-start") == 0) return show_start(*capture);
    if (std::strcmp(argv[1], "gaps") == 0) return gaps(*capture);
    if (std::strcmp(argv[1], "resume") == 0 && argc == 4) return resume(*capture, std::atoi(argv[3]));
    if (std::strcmp(argv[1], "match") == 0 && (argc == 5 || argc == 6)) {
        const std::optional<lumo::PointList> a = read_float_wav(argv[3]);
        const std::optional<lumo::PointList> b = read_float_wav(argv[4]);
        if (!a || !b) {
            std::fprintf(stderr, "cannot read %s or %s as a float WAV\n", argv[3], argv[4]);
            return 2;
        }
        const double seconds = argc == 6 ? std::atof(argv[5]) : static_cast<double>(capture->size()) / kRate;
        return match(*capture, *a, *b, seconds);
    }
    std::fprintf(stderr, "unknown mode %s\n", argv[1]);
    return 2;
}
