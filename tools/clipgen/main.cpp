// lumo-clipgen OUT_DIR
// Writes clip-1.wav … clip-8.wav, the show's eight drum loops, and prints each clip's
// measured statistics beside the ones it was tuned to.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "clips.hpp"
#include "core/convert.hpp"
#include "synth.hpp"
#include "wav.hpp"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: lumo-clipgen OUT_DIR\n");
        return 2;
    }
    std::vector<std::vector<double>> lefts;
    for (int number = 1; number <= 8; ++number) {
        const clipgen::Clip clip = clipgen::make_clip(number);
        const std::vector<char> bytes = clipgen::wav_bytes(clip);
        const std::string path = std::string(argv[1]) + "/clip-" + std::to_string(number) + ".wav";
        std::ofstream out(path, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out) {
            std::fprintf(stderr, "lumo-clipgen: cannot write %s\n", path.c_str());
            return 1;
        }
        const clipgen::Stats got = clipgen::measure(clip.left, clip.right);
        const clipgen::Stats want = clipgen::target_stats(number);
        std::printf("clip %d  peak %.3f/%.3f (%.2f/%.2f)  rms %.3f/%.3f (%.2f/%.2f)  crossings %.0f (%.0f)  "
                    "L-R %.3f (%.2f)  brightness %.3f  angle %.3f\n",
                    number, got.peak_left, got.peak_right, want.peak_left, want.peak_right, got.rms_left,
                    got.rms_right, want.rms_left, want.rms_right, got.crossings, want.crossings,
                    got.correlation, want.correlation, clip.brightness, clip.angle);
        lefts.push_back(clipgen::to_unit(clip.left));
    }
    std::printf("clips 3-4: %.3f (0.92)\n", clipgen::correlation(lefts[2], lefts[3], lefts[2].size()));
    std::printf("clip 6 over clip 2's first 1.4 s: %.3f\n",
                clipgen::correlation(lefts[1], lefts[5], lumo::saturating_cast<std::size_t>(1.4 * clipgen::kRate)));
    const std::size_t opening = clipgen::kRate / 2;
    for (int a = 0; a < 6; ++a)
        for (int b = a + 1; b < 6; ++b)
            std::printf("opening %d-%d: %.4f\n", a + 1, b + 1, clipgen::correlation(lefts[a], lefts[b], opening));
    return 0;
}
