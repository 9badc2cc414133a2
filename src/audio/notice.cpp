#include "audio/notice.hpp"

#include <sys/uio.h>
#include <unistd.h>

namespace lumo::audio {

void audio_notice(std::string_view text) {
    static constexpr std::string_view prefix = "Audio: ";
    iovec pieces[3] = {
        {const_cast<char*>(prefix.data()), prefix.size()},
        {const_cast<char*>(text.data()), text.size()},
        {const_cast<char*>("\n"), 1},
    };
    [[maybe_unused]] const ssize_t written = ::writev(STDERR_FILENO, pieces, 3);
}

}  // namespace lumo::audio
