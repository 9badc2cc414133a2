#include "screen/screen_view.hpp"

#include <chrono>
#include <string>

#include "core/monotonic.hpp"
#include "core/stderr_line.hpp"
#include "screen/console.hpp"
#include "screen/kms_output.hpp"
#include "screen/view_drawer.hpp"

namespace lumo {

namespace {

// About once a second the connector is asked whether the display is still there (by
// the clock, not by frames: a software renderer may draw only a few a second); while
// none is, every connector is probed every two seconds.
constexpr auto kCheckInterval = std::chrono::seconds(1);
constexpr auto kProbeInterval = std::chrono::seconds(2);

void say(const std::string& sentence) { write_stderr_line("Screen: ", sentence); }

// Sleeps `length` unless the view is asked to stop first.
void wait_for(std::stop_token stop, std::chrono::milliseconds length) {
    const auto until = std::chrono::steady_clock::now() + length;
    while (!stop.stop_requested() && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

// A display device that went while the view ran, opened again once one is back; null
// when the view is asked to stop or (said) the one back cannot show the view.
std::unique_ptr<KmsOutput> reopen(std::stop_token stop) {
    while (!stop.stop_requested()) {
        wait_for(stop, kProbeInterval);
        if (stop.stop_requested() || !display_device_present()) continue;
        Result<std::unique_ptr<KmsOutput>> opened = KmsOutput::open();
        if (opened.ok()) return std::move(opened).value();
        say(opened.error().message() + ", so the show plays on without the view.");
        return nullptr;
    }
    return nullptr;
}

void run_view(std::stop_token stop, std::shared_ptr<const ViewRing> ring, std::int64_t rate) {
    Result<std::unique_ptr<KmsOutput>> opened = KmsOutput::open();
    if (!opened.ok()) {
        say(opened.error().message() + ", so the show plays without the view.");
        return;
    }
    // The console goes back to text after the output has put its CRTC back.
    const ConsoleGraphics console;
    std::unique_ptr<KmsOutput> output = std::move(opened).value();
    ViewDrawer view(*ring, rate);
    // The scope fitted to the screen, or the reason it cannot be, said.
    const auto fit = [&] {
        const Status fitted = view.fit(output->width(), output->height());
        if (!fitted.ok()) say(fitted.error().message() + ", so the show plays on without the view.");
        return fitted.ok();
    };
    if (output->showing()) {
        say("the view is on " + output->description() + ".");
    } else {
        say("no display is connected; the view starts when one is.");
    }
    if (output->showing() && !fit()) return;
    auto next_check = std::chrono::steady_clock::now() + kCheckInterval;
    while (!stop.stop_requested()) {
        if (!output->showing() && output->device_gone()) {
            // The scope's textures belong to the old device's context: they go with it,
            // and the device that comes back gets a context and a scope of its own.
            view.release();
            output.reset();
            output = reopen(stop);
            if (!output) return;
            if (!output->showing()) continue;
            say("the view is back on " + output->description() + ".");
            if (!fit()) break;
        }
        if (!output->showing()) {
            wait_for(stop, kProbeInterval);
            if (stop.stop_requested()) break;
            Result<bool> back = output->resume();
            if (!back.ok()) {
                say(back.error().message() + ", so the show plays on without the view.");
                break;
            }
            if (!back.value()) continue;
            say("the view is back on " + output->description() + ".");
            if (!fit()) break;
        }
        if (std::chrono::steady_clock::now() >= next_check) {
            next_check = std::chrono::steady_clock::now() + kCheckInterval;
            if (!output->still_connected()) {
                say("the display was unplugged; the view resumes when one is connected.");
                output->lose();
                continue;
            }
        }
        view.draw(0, to_nanoseconds(monotonic_now()));
        if (Status shown = output->present(); !shown.ok()) {
            say(shown.error().message() + "; the view resumes when a display is connected.");
            output->lose();
        }
    }
    view.release();
}

}  // namespace

std::jthread start_screen_view(std::shared_ptr<const ViewRing> ring, std::int64_t rate) {
    return std::jthread(run_view, std::move(ring), rate);
}

}  // namespace lumo
