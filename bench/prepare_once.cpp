// Start-up as a user meets it: show preparation once, in a fresh process.
//
//   prepare_once [--threads N] [--seed N]   prepare_show, then the wall time, the
//                                           wavetables' size and the peak RSS
//   prepare_once --by-figure [--seed N]     the figures one at a time on this thread,
//                                           with each one's wall time
//
// Under valgrind --tool=callgrind, --by-figure also dumps the counts after the program's
// start, after the inputs and after each figure (scripts/measure-preparation reads them).  A warm benchmark
// loop would hide the page faults of fresh memory, which are a good part of start-up.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <utility>
#include <vector>

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_DUMP_STATS_AT(name)
#endif

#include "show/prepare.hpp"

namespace {

using Clock = std::chrono::steady_clock;

double milliseconds_since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double peak_rss_mib() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // KiB on Linux
}

double wavetable_mib(const lumo::PreparedShow& show) {
    std::size_t bytes = 0;
    for (const lumo::ChannelPair& pair : show.voice_figures) bytes += (pair.x.size() + pair.y.size()) * sizeof(float);
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

void prepare_whole(lumo::RandomEngine& random, unsigned threads) {
    const Clock::time_point start = Clock::now();
    const lumo::PreparedShow show = lumo::prepare_show(random, threads);
    const double elapsed = milliseconds_since(start);
    std::printf("threads %u  wall %.1f ms  wavetables %.1f MiB  peak RSS %.1f MiB\n", threads, elapsed,
                wavetable_mib(show), peak_rss_mib());
}

// The figures in rendering order, each from its own engine as prepare_show seeds them.
void prepare_by_figure(lumo::RandomEngine& random) {
    using namespace lumo;
    CALLGRIND_DUMP_STATS_AT("start");
    std::vector<RandomEngine> engines = detail::figure_engines(random);
    Clock::time_point start = Clock::now();
    const detail::ShowInputs inputs = detail::load_show_inputs(1);
    CALLGRIND_DUMP_STATS_AT("models");
    std::printf("%-32s %8.1f ms\n", "models and melody", milliseconds_since(start));
    ChannelPair long_hand;
    for (const FigureEntry& entry : kFigures) {
        start = Clock::now();
        ChannelPair figure =
            entry.figure == Figure::ClosingFigure
                ? detail::make_closing_figure(long_hand, inputs)
                : detail::make_figure(entry.figure, inputs, engines[static_cast<std::size_t>(entry.figure)]);
        CALLGRIND_DUMP_STATS_AT(entry.description);
        std::printf("%-32s %8.1f ms\n", entry.description, milliseconds_since(start));
        if (entry.figure == Figure::RaisedHandLong) long_hand = std::move(figure);
    }
}

[[noreturn]] void usage() {
    std::fprintf(stderr, "usage: prepare_once [--threads N | --by-figure] [--seed N]\n");
    std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
    unsigned threads = lumo::preparation_threads();
    std::uint64_t seed = 7;
    bool by_figure = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--by-figure") {
            by_figure = true;
        } else if ((arg == "--threads" || arg == "--seed") && i + 1 < argc) {
            const unsigned long long value = std::strtoull(argv[++i], nullptr, 10);
            if (arg == "--seed") {
                seed = value;
            } else {
                threads = static_cast<unsigned>(value);
            }
        } else {
            usage();
        }
    }
    if (threads == 0) usage();
    lumo::RandomEngine random(seed);
    if (by_figure) {
        prepare_by_figure(random);
    } else {
        prepare_whole(random, threads);
    }
    return 0;
}
