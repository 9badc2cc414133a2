// lumo: plays the show on the output device that argument 1 picks.
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "app/select.hpp"
#include "core/random.hpp"
#include "show/stream.hpp"

namespace {

void sleep_through(std::chrono::seconds length) { std::this_thread::sleep_for(length); }

// Every show draws its random numbers afresh, from this thread's engine seeded from the
// system.
lumo::Result<std::unique_ptr<lumo::audio::Stream>> make_show_stream(lumo::audio::SampleFormat format,
                                                                    const lumo::audio::Device& device,
                                                                    const lumo::audio::StreamConfig& config) {
    return lumo::make_stream_for(format, device, config, lumo::thread_random_engine());
}

}  // namespace

int main(int argc, char** argv) {
    std::unique_ptr<lumo::audio::Host> host = lumo::audio::default_host();
    const std::vector<std::string> args(argv, argv + argc);
    return lumo::run_lumo(*host, args, std::cout, std::cerr, sleep_through, make_show_stream);
}
