#include "core/fatal.hpp"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace lumo {

void fatal(std::string_view message, std::source_location where) {
    // One write, so that a message from the audio thread is not interleaved with others;
    // _Exit skips static destructors, which another thread may still be using.
    std::string text = "lumo stopped at ";
    text += where.file_name();
    text += ':';
    text += std::to_string(where.line());
    text += ":\n";
    text += message;
    text += "\nnote: this is a fault in lumo itself or in its embedded data\n";
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
    std::_Exit(kFatalExitStatus);
}

void fatal_index_out_of_bounds(std::size_t len, std::size_t index, std::source_location where) {
    fatal("index out of bounds: the len is " + std::to_string(len) + " but the index is " +
              std::to_string(index),
          where);
}

void fatal_unwrap(std::string_view detail, std::source_location where) {
    std::string message = "called `Result::unwrap()` on an `Err` value: ";
    message += detail;
    fatal(message, where);
}

}  // namespace lumo
