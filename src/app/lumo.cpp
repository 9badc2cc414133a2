// lumo: plays the show on the output device that argument 1 picks.
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "app/select.hpp"
#include "show/stream.hpp"

namespace {

void sleep_through(std::chrono::seconds length) { std::this_thread::sleep_for(length); }

}  // namespace

int main(int argc, char** argv) {
    std::unique_ptr<lumo::audio::Host> host = lumo::audio::default_host();
    const std::vector<std::string> args(argv, argv + argc);
    return lumo::run_lumo(*host, args, std::cout, std::cerr, sleep_through, lumo::make_stream_for);
}
