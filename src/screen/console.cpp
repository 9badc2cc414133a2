#include "screen/console.hpp"

#include <fcntl.h>
#include <linux/kd.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <csignal>

namespace lumo {

namespace {

// What a signal handler needs to give the terminal back: one terminal at a time.
std::atomic<int> graphics_terminal{-1};
std::atomic<int> terminal_mode{KD_TEXT};

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
struct sigaction previous_actions[4];

void restore_terminal() {
    const int terminal = graphics_terminal.exchange(-1);
    if (terminal >= 0) ioctl(terminal, KDSETMODE, terminal_mode.load());
}

// Only async-signal-safe calls: the ioctl, then the signal's own action again, so the
// program ends with the status it would have had without the view.
void on_ending_signal(int signal_number) {
    restore_terminal();
    for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
        if (kEndingSignals[i] == signal_number) sigaction(signal_number, &previous_actions[i], nullptr);
    }
    raise(signal_number);
}

}  // namespace

ConsoleGraphics::ConsoleGraphics() {
    const int terminal = open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (terminal < 0) return;
    int mode = 0;
    // KDGETMODE answers on a virtual terminal only (not on a pseudo-terminal).
    int expected = -1;
    if (ioctl(terminal, KDGETMODE, &mode) != 0 || !graphics_terminal.compare_exchange_strong(expected, terminal)) {
        close(terminal);
        return;
    }
    terminal_mode = mode;
    terminal_ = terminal;
    struct sigaction action = {};
    action.sa_handler = on_ending_signal;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
        sigaction(kEndingSignals[i], &action, &previous_actions[i]);
    }
    ioctl(terminal, KDSETMODE, KD_GRAPHICS);
}

ConsoleGraphics::~ConsoleGraphics() {
    if (terminal_ < 0) return;
    for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
        sigaction(kEndingSignals[i], &previous_actions[i], nullptr);
    }
    restore_terminal();
    close(terminal_);
}

}  // namespace lumo
