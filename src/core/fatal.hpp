// Stopping the program when one of lumo's own contracts is broken.
//
// Malformed embedded data, an index out of range or a clip that does not decode are
// bugs, not conditions to handle: the program writes the message with the place it was
// raised and a hint line to standard error and exits with status 101 at once.
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
