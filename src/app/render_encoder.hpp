// The encoder program that lumo-render --video hands its pictures and sound to (ffmpeg):
// found on PATH, fed pictures through a pipe as they are made, and never outliving
// lumo-render.
//
// The sound goes in as a whole file, not through a second pipe: ffmpeg reads its inputs
// in its own order (it reads ahead in one while it sets up the other), and a program
// feeding two pipes in step would wait for it while it waits for the other pipe.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.hpp"

namespace lumo {

// The path of the executable `program` in PATH, or an error that says it is missing.
Result<std::string> find_program(std::string_view program);

// A running encoder: pictures go into `video`, its standard input.
struct EncoderProcess {
    int pid = -1;
    int video = -1;
};

// Starts `program` with `arguments` (argument 1 on), with `sound` (an open file, read
// from its current offset on) as its descriptor 3.  It shares lumo-render's standard
// output and error, runs in a process group of its own (a Ctrl-C at the terminal reaches
// lumo-render alone) and is killed when SIGINT or SIGTERM stops lumo-render, so it never
// writes on after lumo-render has removed its temporary.
Result<EncoderProcess> start_encoder(const std::string& program, const std::vector<std::string>& arguments,
                                     int sound);

// Writes all of `bytes` into the encoder's standard input.  An encoder that has died is
// an error ("stopped reading"), not a SIGPIPE: the signal is held back during the write
// on the writing thread alone, and the process's handling of SIGPIPE is left as it was.
Status write_to_encoder(const EncoderProcess& process, std::span<const unsigned char> bytes);

// Closes the pipe (the encoder sees the end of its input) and waits for it: an error
// unless it exits with status 0.
Status finish_encoder(EncoderProcess& process);

// Kills the encoder and waits for it, after a failure on lumo-render's side.
void stop_encoder(EncoderProcess& process);

}  // namespace lumo
