#include "core/stderr_line.hpp"

#include <sys/uio.h>
#include <unistd.h>

namespace lumo {

void write_stderr_line(std::string_view prefix, std::string_view text) {
    iovec pieces[3] = {
        {const_cast<char*>(prefix.data()), prefix.size()},
        {const_cast<char*>(text.data()), text.size()},
        {const_cast<char*>("\n"), 1},
    };
    [[maybe_unused]] const ssize_t written = ::writev(STDERR_FILENO, pieces, 3);
}

}  // namespace lumo
