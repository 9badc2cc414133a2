// lumo's life from the command line to the end of the show, over any audio host.
#pragma once

#include <chrono>
#include <memory>
#include <ostream>
#include <span>
#include <string>

#include "audio/audio.hpp"
#include "core/error.hpp"

namespace lumo {

// The output device that argument 1 asks for: "raspi" (the first output device whose
// name contains "sysdefault:CARD=sndrpihifiberry"), "loopback" (the first device named
// exactly "hw:CARD=Loopback,DEV=1"; a failed enumeration, an unreadable name or no such
// device stops the program), anything else or nothing the default output device.
Result<std::unique_ptr<audio::Device>> select_device(audio::Host& host, std::span<const std::string> args);

using SleepFunction = void (*)(std::chrono::seconds);
using StreamMaker = Result<std::unique_ptr<audio::Stream>> (*)(audio::SampleFormat format,
                                                               const audio::Device& device,
                                                               const audio::StreamConfig& config);

// Selects and reports the device, builds the show's stream with `make` (make_stream_for
// with the thread's random engine, in the program), plays it, sleeps through the show and
// closes it.  Returns the exit status: 0 after the show, 1 with "Error: " and the report
// on `err`.
int run_lumo(audio::Host& host, std::span<const std::string> args, std::ostream& out, std::ostream& err,
             SleepFunction sleep, StreamMaker make);

}  // namespace lumo
