// lumo's life from the command line to the end of the show, over any audio host.
#pragma once

#include <chrono>
#include <memory>
#include <ostream>
#include <span>
#include <string>
#include <thread>

#include "audio/audio.hpp"
#include "core/error.hpp"
#include "show/view_ring.hpp"

namespace lumo {

// The output device that argument 1 asks for: "raspi" (the first output device whose
// name contains "sysdefault:CARD=sndrpihifiberry"), "loopback" (the first device named
// exactly "hw:CARD=Loopback,DEV=1"; a failed enumeration, an unreadable name or no such
// device stops the program), anything else or nothing the default output device.
Result<std::unique_ptr<audio::Device>> select_device(audio::Host& host, std::span<const std::string> args);

using SleepFunction = void (*)(std::chrono::seconds);
// `view`, when not null, gets every buffer the stream's callback mixes.
using StreamMaker = Result<std::unique_ptr<audio::Stream>> (*)(audio::SampleFormat format,
                                                               const audio::Device& device,
                                                               const audio::StreamConfig& config,
                                                               std::shared_ptr<ViewRing> view);
// Starts a view of the show reading `ring`; it runs until the thread goes (the program's
// is start_screen_view, or one that says in a line on standard error that there is none).
using ViewStarter = std::jthread (*)(std::shared_ptr<const ViewRing> ring);

// Whether the arguments after the device ask for the view on the screen (--screen).
bool wants_screen(std::span<const std::string> args);

// Selects and reports the device, builds the show's stream with `make` (make_stream_for
// with the thread's random engine, in the program), plays it, sleeps through the show and
// closes it; with --screen the view, started with `start_view` once the stream plays, runs
// beside it and ends first.  Returns the exit status: 0 after the show, 1 with "Error: "
// and the report on `err`.
int run_lumo(audio::Host& host, std::span<const std::string> args, std::ostream& out, std::ostream& err,
             SleepFunction sleep, StreamMaker make, ViewStarter start_view = nullptr);

}  // namespace lumo
