// lumo-stall-watch: how long the machine itself stood still.  A thread at the highest
// real-time priority asks to wake every millisecond until it is stopped (SIGTERM or
// SIGINT) and then prints each wake-up that came at least 10 ms late as
// "STALL UPTIME_S LATE_MS" (UPTIME_S on CLOCK_MONOTONIC, as the journal's monotonic times
// are).  Nothing in the machine can
// keep such a thread waiting that long, so a stall is the machine's: in an emulated one,
// its processor's thread waiting for the host.  The system tests tell lumo's own
// lateness from those.
#include <sched.h>
#include <sys/mman.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

namespace {

constexpr long kPeriodNs = 1'000'000;
constexpr long kLateNs = 10'000'000;

long long ns_of(const timespec& t) { return static_cast<long long>(t.tv_sec) * 1'000'000'000LL + t.tv_nsec; }

timespec timespec_of(long long ns) {
    return timespec{static_cast<time_t>(ns / 1'000'000'000LL), static_cast<long>(ns % 1'000'000'000LL)};
}

long long now_ns() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return ns_of(t);
}

volatile std::sig_atomic_t stopped = 0;

void stop(int) { stopped = 1; }

struct Stall {
    long long at_ns;
    long long late_ns;
};

}  // namespace

int main() {
    // Without SA_RESTART, so that the stop interrupts the sleep.
    struct sigaction action {};
    action.sa_handler = stop;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    sched_param priority{};
    priority.sched_priority = sched_get_priority_max(SCHED_FIFO);
    if (sched_setscheduler(0, SCHED_FIFO, &priority) != 0 || mlockall(MCL_CURRENT | MCL_FUTURE) != 0) {
        std::fprintf(stderr, "lumo-stall-watch: no real-time priority or locked memory: %s\n", std::strerror(errno));
        return 1;
    }
    std::vector<Stall> stalls;
    stalls.reserve(100'000);  // nothing is allocated while watching
    long long next = now_ns() + kPeriodNs;
    while (stopped == 0) {
        const timespec wake = timespec_of(next);
        if (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &wake, nullptr) == EINTR) continue;
        const long long woke = now_ns();
        if (woke - next >= kLateNs && stalls.size() < stalls.capacity()) stalls.push_back({next, woke - next});
        next = woke + kPeriodNs;
    }
    for (const Stall& stall : stalls) {
        std::printf("STALL %.3f %.1f\n", static_cast<double>(stall.at_ns) / 1e9, static_cast<double>(stall.late_ns) / 1e6);
    }
    return 0;
}
