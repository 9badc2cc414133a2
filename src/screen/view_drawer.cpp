#include "screen/view_drawer.hpp"

#include <GLES2/gl2.h>

#include <algorithm>

namespace lumo {

namespace {

// After a gap longer than this many scope frames (a stall, a display that came back) the
// view starts afresh from the frame before the one playing.
constexpr std::int64_t kLongestSpanFrames = 4;
// A larger screen (a 4K television) shows the scope of this size scaled up: its cost
// grows with the square of the side, the sharpness it adds is little.
constexpr int kLargestScope = 1080;

}  // namespace

ViewDrawer::ViewDrawer(const ViewRing& ring, std::int64_t rate) : ring_(ring), rate_(rate) {
    settings_.sample_rate = static_cast<int>(rate);
}

Status ViewDrawer::fit(int width, int height) {
    side_ = std::min(width, height);
    x_ = (width - side_) / 2;
    y_ = (height - side_) / 2;
    width_ = width;
    height_ = height;
    drawn_ = -1;
    const int size = std::min(side_, kLargestScope);
    if (scope_ && settings_.size == size) return {};
    scope_.reset();
    settings_.size = size;
    Result<std::unique_ptr<GlScope>> made = GlScope::make(settings_);
    if (!made.ok()) return made.error();
    scope_ = std::move(made).value();
    scope_->clear();
    const std::int64_t frame = scope_frame_samples(settings_);
    samples_.assign(static_cast<std::size_t>(2 * (kLongestSpanFrames * frame + 2 * kScopeFilterLobes)), 0.0f);
    return {};
}

void ViewDrawer::draw(unsigned framebuffer, std::int64_t now_nanoseconds) {
    const ViewRing::Mark mark = ring_.mark();
    const std::int64_t end = presented_frame(mark, now_nanoseconds, rate_);
    const std::int64_t frame = scope_frame_samples(settings_);
    std::int64_t first = drawn_;
    if (drawn_ < 0 || end - drawn_ > kLongestSpanFrames * frame) {
        // The glow of what was drawn before the gap has faded to nothing since (four
        // frames keep a millionth of it); kept, it would stay on as a ghost, since only
        // the frames drawn decay it.
        scope_->clear();
        first = end - frame;
    }
    if (end > first) expose(mark, first, end);
    drawn_ = std::max(drawn_, end);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glViewport(0, 0, width_, height_);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    scope_->develop(x_, y_, side_);
}

// The beam over first … end with the reconstruction's context either side, as far as it
// is written; a span the ring no longer holds is not drawn (the glow holds).
void ViewDrawer::expose(const ViewRing::Mark& mark, std::int64_t first, std::int64_t end) {
    const std::int64_t from = std::max<std::int64_t>(0, first - kScopeFilterLobes);
    const std::int64_t to = std::min(end + kScopeFilterLobes, mark.written);
    const std::int64_t count = std::min<std::int64_t>(to - from, static_cast<std::int64_t>(samples_.size() / 2));
    if (count <= 0) return;
    const std::span<float> span(samples_.data(), static_cast<std::size_t>(count) * 2);
    if (!ring_.read(from, span)) return;
    scope_->expose_span(StereoSamples{span, from}, first, end);
}

}  // namespace lumo
