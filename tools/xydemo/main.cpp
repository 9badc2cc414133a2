// lumo-xydemo FILE.wav [RATE] [s16|s24|f32] [SECONDS]: writes the XY figures of xydemo.hpp
// (default 48000 Hz, 16-bit, 8 seconds), to show on the scope with lumo-render --input.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "xydemo.hpp"

int main(int argc, char** argv) {
    using lumo::xydemo::Format;
    if (argc < 2 || argc > 5) {
        std::fprintf(stderr, "usage: lumo-xydemo FILE.wav [RATE] [s16|s24|f32] [SECONDS]\n");
        return 2;
    }
    const int rate = argc > 2 ? std::atoi(argv[2]) : 48000;
    const std::string format = argc > 3 ? argv[3] : "s16";
    const double seconds = argc > 4 ? std::atof(argv[4]) : 8.0;
    if (rate < 1000 || rate > 768000 || !(seconds > 0.0 && seconds <= 7200.0) ||
        (format != "s16" && format != "s24" && format != "f32")) {
        std::fprintf(stderr, "lumo-xydemo: RATE is 1000 to 768000 Hz, the format s16, s24 or f32, SECONDS up to 7200\n");
        return 2;
    }
    const Format f = format == "s16" ? Format::S16 : format == "s24" ? Format::S24 : Format::F32;
    const auto bytes = lumo::xydemo::make_wav(rate, f, seconds);
    std::FILE* file = std::fopen(argv[1], "wb");
    if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() || std::fclose(file) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
