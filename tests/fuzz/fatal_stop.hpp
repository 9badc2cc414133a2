// What the fuzz build's fatal stop throws instead of ending the process, so that the
// fuzz target gets control back and can check that the stop was one lumo documents.
#pragma once

#include <cstddef>
#include <string>

namespace lumo::fuzz {

struct FatalStop {
    enum class Kind { Message, IndexOutOfBounds, Unwrap };
    Kind kind;
    std::string text;       // the message, or the unwrapped error's detail
    std::size_t len = 0;    // IndexOutOfBounds only
    std::size_t index = 0;  // IndexOutOfBounds only
};

}  // namespace lumo::fuzz
