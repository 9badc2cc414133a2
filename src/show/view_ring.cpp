#include "show/view_ring.hpp"

#include <algorithm>

namespace lumo {

ViewRing::ViewRing(std::size_t frames)
    : frames_(std::max<std::size_t>(frames, 1)), samples_(new std::atomic<float>[frames_ * 2]) {
    for (std::size_t i = 0; i < frames_ * 2; ++i) samples_[i].store(0.0f, std::memory_order_relaxed);
}

void ViewRing::append(std::span<const float> interleaved) {
    const std::size_t frames = interleaved.size() / 2;
    std::size_t at = static_cast<std::size_t>(appended_ % static_cast<std::int64_t>(frames_)) * 2;
    for (std::size_t i = 0; i < frames * 2; ++i) {
        float v = interleaved[i];
        if (!(v >= -1.0f)) v = v != v ? 0.0f : -1.0f;
        if (v > 1.0f) v = 1.0f;
        // Release: a reader that sees this sample sees every publish before it.
        samples_[at].store(v, std::memory_order_release);
        if (++at == frames_ * 2) at = 0;
    }
    appended_ += static_cast<std::int64_t>(frames);
    last_buffer_ += static_cast<std::int64_t>(frames);
}

void ViewRing::publish(MonotonicInstant at) {
    const std::uint64_t sequence = sequence_.load(std::memory_order_relaxed);
    sequence_.store(sequence + 1, std::memory_order_relaxed);
    // Release stores, not a fence (which ThreadSanitizer cannot follow): a reader that sees
    // any of them sees the odd sequence before them.
    at_.store(to_nanoseconds(at), std::memory_order_release);
    buffer_.store(last_buffer_, std::memory_order_release);
    written_.store(appended_, std::memory_order_release);
    sequence_.store(sequence + 2, std::memory_order_release);
    last_buffer_ = 0;
}

ViewRing::Mark ViewRing::mark() const {
    for (;;) {
        const std::uint64_t before = sequence_.load(std::memory_order_acquire);
        // Acquire loads keep the second look at the sequence after them.
        Mark mark{written_.load(std::memory_order_acquire), at_.load(std::memory_order_acquire),
                  buffer_.load(std::memory_order_acquire)};
        if (before % 2 == 0 && sequence_.load(std::memory_order_relaxed) == before) return mark;
    }
}

bool ViewRing::read(std::int64_t first, std::span<float> out) const {
    const std::int64_t count = static_cast<std::int64_t>(out.size() / 2);
    const std::int64_t size = static_cast<std::int64_t>(frames_);
    if (first < 0 || count > size) return false;
    if (first + count > written_.load(std::memory_order_acquire)) return false;
    std::size_t at = static_cast<std::size_t>(first % size) * 2;
    for (std::size_t i = 0; i < static_cast<std::size_t>(count) * 2; ++i) {
        out[i] = samples_[at].load(std::memory_order_acquire);
        if (++at == frames_ * 2) at = 0;
    }
    // The writer appends a whole buffer before it publishes, so it may have reached one
    // callback's worth past `written`: frames a ring behind that are intact.
    const std::int64_t newest = written_.load(std::memory_order_relaxed) +
                                static_cast<std::int64_t>(audio::kMaxFramesPerCallback);
    return first >= newest - size;
}

std::int64_t presented_frame(const ViewRing::Mark& mark, std::int64_t now_nanoseconds, std::int64_t rate) {
    const std::int64_t elapsed = std::max<std::int64_t>(0, now_nanoseconds - mark.at_nanoseconds);
    // Seconds of lateness beyond one buffer mean the stream has stopped: hold the last frame.
    const std::int64_t played = std::min(mark.last_buffer, elapsed / 1000 * rate / 1000000);
    return std::max<std::int64_t>(0, mark.written - mark.last_buffer + played);
}

}  // namespace lumo
