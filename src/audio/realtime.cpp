#include "audio/realtime.hpp"

#include <pthread.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/prctl.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "audio/notice.hpp"

namespace lumo::audio {

int raise_to_realtime() {
    sched_param param{};
    param.sched_priority = kAudioThreadPriority;
    return pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
}

int lock_memory() {
    // No transparent huge pages for this process: the kernel's khugepaged merges small
    // pages into huge ones in the background, holding the process's memory map locked while
    // it copies, and the audio thread touching a page in the merge waits until it is done.
    // At khugepaged's low priority on a busy machine that took seconds (seen under
    // stress-ng in an emulated machine), whatever the audio thread's own priority.
    ::prctl(PR_SET_THP_DISABLE, 1, 0, 0, 0);
    // MCL_ONFAULT: what the callback reads has been written, so it is resident and locked
    // now; reservations nobody touched stay unbacked instead of costing memory.  No
    // MCL_FUTURE: under a finite limit it would make later allocations fail.
    return ::mlockall(MCL_CURRENT | MCL_ONFAULT) == 0 ? 0 : errno;
}

void prepare_audio_thread() {
    static std::atomic<bool> priority_refusal_said{false};
    static std::atomic<bool> memory_locked{false};
    if (const int refused = raise_to_realtime(); refused != 0 && !priority_refusal_said.exchange(true)) {
        std::array<char, 160> text{};
        std::snprintf(text.data(), text.size(),
                      "real-time scheduling refused (%s); the audio thread runs at normal priority",
                      strerrordesc_np(refused));
        audio_notice(text.data());
    }
    if (!memory_locked.exchange(true)) lock_memory();
}

}  // namespace lumo::audio
