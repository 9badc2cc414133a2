// lumo: plays the show on the output device that argument 1 picks; with --screen after
// it, shows it on the first connected display too.
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "app/select.hpp"
#include "core/clock.hpp"
#include "core/random.hpp"
#include "core/stderr_line.hpp"
#include "show/stream.hpp"
#if LUMO_SCREEN
#include "screen/screen_view.hpp"
#endif

namespace {

void sleep_through(std::chrono::seconds length) { std::this_thread::sleep_for(length); }

// Every show draws its random numbers afresh, from this thread's engine seeded from the
// system.
lumo::Result<std::unique_ptr<lumo::audio::Stream>> make_show_stream(lumo::audio::SampleFormat format,
                                                                    const lumo::audio::Device& device,
                                                                    const lumo::audio::StreamConfig& config,
                                                                    std::shared_ptr<lumo::ViewRing> view) {
    return lumo::make_stream_for(format, device, config, lumo::thread_random_engine(), std::move(view));
}

std::jthread start_view(std::shared_ptr<const lumo::ViewRing> ring) {
#if LUMO_SCREEN
    return lumo::start_screen_view(std::move(ring), lumo::kSampleRate);
#else
    (void)ring;
    lumo::write_stderr_line("Screen: ", "this lumo was built without the view, so the show plays without it.");
    return {};
#endif
}

}  // namespace

int main(int argc, char** argv) {
    std::unique_ptr<lumo::audio::Host> host = lumo::audio::default_host();
    const std::vector<std::string> args(argv, argv + argc);
    return lumo::run_lumo(*host, args, std::cout, std::cerr, sleep_through, make_show_stream, start_view);
}
