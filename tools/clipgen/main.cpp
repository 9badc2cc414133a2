// lumo-clipgen OUT_DIR
// Writes clip-1.wav … clip-8.wav, the show's eight drum loops, and prints each clip's
// measured statistics beside the ones it was tuned to.
#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "clips.hpp"
#include "core/convert.hpp"
#include "synth.hpp"

namespace {

void put(std::vector<char>& out, std::string_view text) { out.insert(out.end(), text.begin(), text.end()); }

void put_le(std::vector<char>& out, unsigned long value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// Extensible-format 16-bit stereo at 96 kHz, with an INFO list naming the encoder; the
// same header for every clip.
std::vector<char> wav_bytes(const clipgen::Clip& clip) {
    const unsigned long data_bytes = static_cast<unsigned long>(clipgen::kFrames) * 4;
    std::vector<char> out;
    put(out, "RIFF");
    put_le(out, 4 + (8 + 40) + (8 + 26) + (8 + data_bytes), 4);
    put(out, "WAVE");
    put(out, "fmt ");
    put_le(out, 40, 4);
    put_le(out, 0xFFFE, 2);               // extensible
    put_le(out, 2, 2);                    // channels
    put_le(out, clipgen::kRate, 4);
    put_le(out, clipgen::kRate * 4, 4);   // bytes per second
    put_le(out, 4, 2);                    // block alignment
    put_le(out, 16, 2);                   // bits per sample
    put_le(out, 22, 2);                   // extension size
    put_le(out, 16, 2);                   // valid bits
    put_le(out, 0x3, 4);                  // front left, front right
    static constexpr std::array<unsigned char, 16> kPcmGuid = {
        0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    for (unsigned char byte : kPcmGuid) out.push_back(static_cast<char>(byte));
    put(out, "LIST");
    put_le(out, 26, 4);
    put(out, "INFO");
    put(out, "ISFT");
    put_le(out, 14, 4);
    put(out, std::string_view("lumo-clipgen\0\0", 14));
    put(out, "data");
    put_le(out, data_bytes, 4);
    for (int i = 0; i < clipgen::kFrames; ++i) {
        put_le(out, static_cast<std::uint16_t>(clip.left[static_cast<std::size_t>(i)]), 2);
        put_le(out, static_cast<std::uint16_t>(clip.right[static_cast<std::size_t>(i)]), 2);
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: lumo-clipgen OUT_DIR\n");
        return 2;
    }
    std::vector<std::vector<double>> lefts;
    for (int number = 1; number <= 8; ++number) {
        const clipgen::Clip clip = clipgen::make_clip(number);
        const std::vector<char> bytes = wav_bytes(clip);
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
