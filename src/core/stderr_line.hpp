// A line on standard error from threads that must not allocate: the audio worker's notices
// and the stream's errors.
#pragma once

#include <string_view>

namespace lumo {

// Writes `prefix`, `text` and a line feed in one write, so lines from two threads never
// interleave; builds nothing, so nothing is allocated.
void write_stderr_line(std::string_view prefix, std::string_view text);

}  // namespace lumo
