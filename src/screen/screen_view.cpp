#include "screen/screen_view.hpp"

#include <GLES2/gl2.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "core/monotonic.hpp"
#include "core/stderr_line.hpp"
#include "scope/gl/gl_scope.hpp"
#include "scope/scope.hpp"
#include "screen/console.hpp"
#include "screen/kms_output.hpp"

namespace lumo {

namespace {

// About once a second at 60 Hz the connector is asked whether the display is still
// there; while none is, every connector is probed every two seconds.
constexpr int kFramesBetweenChecks = 60;
constexpr auto kProbeInterval = std::chrono::seconds(2);
// After a gap longer than this many scope frames (a stall, a display that came back) the
// view starts afresh from the frame before the one playing.
constexpr std::int64_t kLongestSpanFrames = 4;

void say(const std::string& sentence) { write_stderr_line("Screen: ", sentence); }

// Sleeps `length` unless the view is asked to stop first.
void wait_for(std::stop_token stop, std::chrono::milliseconds length) {
    const auto until = std::chrono::steady_clock::now() + length;
    while (!stop.stop_requested() && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

class View {
public:
    View(const ViewRing& ring, std::int64_t rate) : ring_(ring), rate_(rate) {
        settings_.sample_rate = static_cast<int>(rate);
    }

    // The scope for the screen's size: the largest centred square.  False, after saying
    // why, where the GPU cannot draw it.
    bool fit(const KmsOutput& output) {
        side_ = std::min(output.width(), output.height());
        x_ = (output.width() - side_) / 2;
        y_ = (output.height() - side_) / 2;
        width_ = output.width();
        height_ = output.height();
        drawn_ = -1;
        if (scope_ && settings_.size == side_) return true;
        scope_.reset();
        settings_.size = side_;
        Result<std::unique_ptr<GlScope>> made = GlScope::make(settings_);
        if (!made.ok()) {
            say(made.error().message() + ", so the show plays without the view.");
            return false;
        }
        scope_ = std::move(made).value();
        scope_->clear();
        const std::int64_t frame = scope_frame_samples(settings_);
        samples_.assign(static_cast<std::size_t>(2 * (kLongestSpanFrames * frame + 2 * kScopeFilterLobes)), 0.0f);
        return true;
    }

    // The samples played since the last frame, drawn into framebuffer 0.
    void draw() {
        const ViewRing::Mark mark = ring_.mark();
        const std::int64_t end = presented_frame(mark, to_nanoseconds(monotonic_now()), rate_);
        const std::int64_t frame = scope_frame_samples(settings_);
        std::int64_t first = drawn_;
        if (drawn_ < 0 || end - drawn_ > kLongestSpanFrames * frame) first = end - frame;
        if (end > first) expose(mark, first, end);
        drawn_ = std::max(drawn_, end);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glViewport(0, 0, width_, height_);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        scope_->develop(x_, y_, side_);
    }

    // Drops the scope while the context that made it is still current.
    void release() { scope_.reset(); }

private:
    // The beam over first … end with the reconstruction's context either side, as far as
    // it is written; a span the ring no longer holds is not drawn (the glow holds).
    void expose(const ViewRing::Mark& mark, std::int64_t first, std::int64_t end) {
        const std::int64_t from = std::max<std::int64_t>(0, first - kScopeFilterLobes);
        const std::int64_t to = std::min(end + kScopeFilterLobes, mark.written);
        const std::int64_t count = std::min<std::int64_t>(to - from, static_cast<std::int64_t>(samples_.size() / 2));
        if (count <= 0) return;
        const std::span<float> span(samples_.data(), static_cast<std::size_t>(count) * 2);
        if (!ring_.read(from, span)) return;
        scope_->expose_span(StereoSamples{span, from}, first, end);
    }

    const ViewRing& ring_;
    std::int64_t rate_;
    ScopeSettings settings_;
    std::unique_ptr<GlScope> scope_;
    std::vector<float> samples_;
    std::int64_t drawn_ = -1;
    int side_ = 0, x_ = 0, y_ = 0, width_ = 0, height_ = 0;
};

void run_view(std::stop_token stop, std::shared_ptr<const ViewRing> ring, std::int64_t rate) {
    Result<std::unique_ptr<KmsOutput>> opened = KmsOutput::open();
    if (!opened.ok()) {
        say(opened.error().message() + ", so the show plays without the view.");
        return;
    }
    KmsOutput& output = *opened.value();
    const ConsoleGraphics console;
    View view(*ring, rate);
    if (output.showing()) {
        say("the view is on " + output.description() + ".");
    } else {
        say("no display is connected; the view starts when one is.");
    }
    if (output.showing() && !view.fit(output)) return;
    int frames = 0;
    while (!stop.stop_requested()) {
        if (!output.showing()) {
            wait_for(stop, kProbeInterval);
            if (stop.stop_requested()) break;
            Result<bool> back = output.resume();
            if (!back.ok()) {
                say(back.error().message() + ", so the show plays on without the view.");
                break;
            }
            if (!back.value()) continue;
            say("the view is back on " + output.description() + ".");
            if (!view.fit(output)) break;
        }
        if (++frames >= kFramesBetweenChecks) {
            frames = 0;
            if (!output.still_connected()) {
                say("the display was unplugged; the view resumes when one is connected.");
                output.lose();
                continue;
            }
        }
        view.draw();
        if (Status shown = output.present(); !shown.ok()) {
            say(shown.error().message() + "; the view resumes when a display is connected.");
            output.lose();
        }
    }
    view.release();
}

}  // namespace

std::jthread start_screen_view(std::shared_ptr<const ViewRing> ring, std::int64_t rate) {
    return std::jthread(run_view, std::move(ring), rate);
}

}  // namespace lumo
