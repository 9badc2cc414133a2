// The fatal stop of core/fatal.hpp for the fuzz programs: it throws a FatalStop instead of
// ending the process, because malformed text stops lumo by design and the fuzzer must go
// on.  Linked into each fuzz program ahead of lumo_core, so the linker never takes core's
// fatal.o; should core's file gain a symbol the libraries need, the link fails instead
// of quietly mixing the two.
#include <source_location>
#include <string>
#include <string_view>

#include "core/fatal.hpp"
#include "fatal_stop.hpp"

namespace lumo {

using fuzz::FatalStop;

void fatal(std::string_view message, std::source_location) {
    throw FatalStop{FatalStop::Kind::Message, std::string(message)};
}

void fatal_index_out_of_bounds(std::size_t len, std::size_t index, std::source_location) {
    throw FatalStop{FatalStop::Kind::IndexOutOfBounds, {}, len, index};
}

void fatal_unwrap(std::string_view detail, std::source_location) {
    throw FatalStop{FatalStop::Kind::Unwrap, std::string(detail)};
}

}  // namespace lumo
