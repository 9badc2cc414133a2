// Stopping the program when one of lumo's own contracts is broken.
//
// Malformed embedded data, an index out of range or a clip that does not decode are
// bugs, not conditions to handle: the program writes the message with the place it was
// raised and a hint line to standard error and exits with status 101 at once.
//
// Part of lumo's external interface (scripts and users match on these; they are not
// accidents, keep them as they are):
//   - exit status 0 after a whole show, 1 when main ends with an Error (core/error.hpp),
//     kFatalExitStatus (101) after a fatal stop;
//   - the fatal messages "index out of bounds: the len is L but the index is I",
//     "called `Result::unwrap()` on an `Err` value: DETAIL", "Failed to find the Loopback
//     device", "chunk size must be non-zero", "host supplied incorrect sample type" and the
//     closing figure's "assertion `left == right` failed: Vectors must be the same length"
//     with its "  left: " / " right: " lines.  The "lumo stopped at FILE:LINE:" line before
//     a message and the "note:" line after it are for people and may change.
#pragma once

#include <cstddef>
#include <source_location>
#include <string_view>

namespace lumo {

inline constexpr int kFatalExitStatus = 101;

[[noreturn]] void fatal(std::string_view message,
                        std::source_location where = std::source_location::current());

// "index out of bounds: the len is L but the index is I"
[[noreturn]] void fatal_index_out_of_bounds(std::size_t len, std::size_t index,
                                            std::source_location where = std::source_location::current());

// "called `Result::unwrap()` on an `Err` value: DETAIL"
[[noreturn]] void fatal_unwrap(std::string_view detail,
                               std::source_location where = std::source_location::current());

// Stops the program unless index < len; otherwise returns index.
inline std::size_t checked_index(std::size_t index, std::size_t len,
                                 std::source_location where = std::source_location::current()) {
    if (index >= len) fatal_index_out_of_bounds(len, index, where);
    return index;
}

}  // namespace lumo
