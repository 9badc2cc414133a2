// The scope frames the page is checked against, until lumo-render draws them itself:
// "--scope DIR --at T,… --seed N" writes DIR/scope-T.png (T to three decimals), each the
// 600-pixel frame ending at T of the show as --wav renders it, with the scope's defaults.
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "app/render_wav.hpp"
#include "core/clock.hpp"
#include "core/random.hpp"
#include "scope/scope.hpp"
#include "show/prepare.hpp"

int main(int argc, char** argv) {
    using namespace lumo;
    std::string directory;
    std::string times;
    std::uint64_t seed = 1;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string flag = argv[i];
        if (flag == "--scope") directory = argv[i + 1];
        if (flag == "--at") times = argv[i + 1];
        if (flag == "--seed") seed = std::strtoull(argv[i + 1], nullptr, 10);
    }
    RandomEngine random(seed);
    std::vector<float> samples;
    const Status rendered = render_show_buffers<float>(prepare_show(random), 160.0, 1024, [&](std::span<const float> out) {
        samples.insert(samples.end(), out.begin(), out.end());
        return Status{};
    });
    if (!rendered) return 1;
    std::stringstream list(times);
    for (std::string time; std::getline(list, time, ',');) {
        const double seconds = std::strtod(time.c_str(), nullptr);
        const RgbImage frame = render_scope_frame({samples, 0}, scope_sample_at(seconds), ScopeSettings{});
        char name[48];
        std::snprintf(name, sizeof name, "/scope-%.3f.png", seconds);
        if (const Status written = write_png(frame, directory + name); !written) {
            std::fprintf(stderr, "%s\n", written.error().report().c_str());
            return 1;
        }
    }
    return 0;
}
