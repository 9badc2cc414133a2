// How lumo-render puts files on disk without ever leaving a half-written one.
//
// Each file is written under a hidden temporary name in its own directory
// (".NAME.XXXXXX", shortened to fit the name limit) and renamed into place once complete.
// The temporary is removed when writing fails, and when SIGINT or SIGTERM stops the
// program, which also ends a helper program that writes it (ffmpeg).  Errors name the path
// and the operating system's reason.
#pragma once

#include <signal.h>

#include <cstddef>
#include <functional>
#include <span>
#include <string>

#include "core/error.hpp"

namespace lumo {

// A file being written: where it will go, and the open temporary that holds it meanwhile.
struct PendingFile {
    std::string path;
    std::string temporary;
    int descriptor = -1;
};

// Creates the temporary beside `path`, lets `write` fill it, then renames it to `path`
// (replacing what was there).  When `write` fails the temporary is removed and its error
// returned.  The file gets the permissions a plain new file would get (0666 less umask).
Status write_file_replacing(const std::string& path, const std::function<Status(const PendingFile&)>& write);

// Writes all of `bytes` to the pending file.
Status write_all(const PendingFile& file, std::span<const unsigned char> bytes);

// Writes all of `bytes` to `descriptor` from its current offset, going on after an
// interrupted write: 0, or the errno of the write that failed.
int write_fully(int descriptor, std::span<const unsigned char> bytes);

// Whether write_file_replacing(path, …) can work: `path` is not a directory and a file
// can be created beside it.  Leaves nothing behind.
Status check_file_location(const std::string& path);

// Creates `directory` (and its parents) when missing and checks that files can be
// created in it.
Status prepare_directory(const std::string& directory);

// From now on SIGINT and SIGTERM remove the temporary being written, print one line on
// standard error and end the program with status 130 or 143.
void remove_temporaries_on_interrupt();

// A file for scratch data in the directory of `path`, open for reading and writing.  It
// has no name (it loses it as it is made), so it vanishes when it is closed, however
// lumo-render ends.
Result<int> open_scratch_file(const std::string& path);

// Keeps SIGINT and SIGTERM waiting while it lives, so that the interrupt handler never
// misses a temporary or child that is coming into being nor removes a file that is
// already in place.  (lumo-render writes files from one thread.)
class InterruptsHeld {
public:
    InterruptsHeld();
    ~InterruptsHeld();
    InterruptsHeld(const InterruptsHeld&) = delete;
    InterruptsHeld& operator=(const InterruptsHeld&) = delete;

private:
    sigset_t previous_;
};

// From now on (until it is called again with 0) an interrupt also kills process `child`
// (SIGKILL), so that a helper program writing the temporary stops with lumo-render.
void kill_on_interrupt(int child);

// Whether standard error's last line is unfinished (a progress line that is rewritten in
// place), so that the interrupt message starts on a line of its own.
void set_progress_line_open(bool open);

}  // namespace lumo
