// The playback callback allocates nothing: this program replaces the global allocator
// with one that counts while a test is watching.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "audio/fake.hpp"
#include "show/stream.hpp"
#include "show/view_ring.hpp"

namespace {

std::atomic<bool> watching{false};
std::atomic<long> allocations{0};

void* counted_allocation(std::size_t size, std::size_t alignment) {
    if (watching.load()) allocations.fetch_add(1);
    void* memory = alignment <= alignof(std::max_align_t)
                       ? std::malloc(size == 0 ? 1 : size)
                       : std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment);
    if (memory == nullptr) throw std::bad_alloc();
    return memory;
}

}  // namespace

void* operator new(std::size_t size) { return counted_allocation(size, 0); }
void* operator new[](std::size_t size) { return counted_allocation(size, 0); }
void* operator new(std::size_t size, std::align_val_t a) { return counted_allocation(size, static_cast<std::size_t>(a)); }
void* operator new[](std::size_t size, std::align_val_t a) { return counted_allocation(size, static_cast<std::size_t>(a)); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

namespace lumo {
namespace {

// Counts the allocations that `work` makes.
template <class Work> long allocations_during(Work work) {
    allocations = 0;
    watching = true;
    work();
    watching = false;
    return allocations.load();
}

PreparedShow small_show() {
    PreparedShow show;
    for (ChannelPair& figure : show.voice_figures) figure = {{0.1f, 0.2f, 0.3f}, {-0.1f, -0.2f, -0.3f}};
    show.score = make_score();
    return show;
}

template <class T> void expect_no_allocation_while_rendering() {
    auto score = std::make_shared<const Score>(Score{{0, 10, 1}, {0, 10, 4}, {0, 10, 40}, {0, 10, 6}, {0, 10, 6}});
    PreparedShow show = small_show();
    PlaybackState state = make_playback_state({0, 0}, std::move(show.voice_figures), score, 1024);
    state.view = std::make_shared<ViewRing>(4096);  // smaller than what is written: it wraps
    std::vector<T> out(1024);
    std::vector<T> big(5000);  // larger than the mix: rendered in pieces
    const long count = allocations_during([&] {
        for (float t : {0.0f, 5.0f, 20.0f}) render_buffer<T>(state, std::span<T>(out), t);
        render_buffer<T>(state, std::span<T>(big), 1.0f);
        playback_callback<T>(state, std::span<T>(out));
    });
    EXPECT_EQ(count, 0) << "sample type of size " << sizeof(T);
}

TEST(RealTime, RenderingAllocatesNothing) {
    expect_no_allocation_while_rendering<std::int8_t>();
    expect_no_allocation_while_rendering<std::int16_t>();
    expect_no_allocation_while_rendering<std::int32_t>();
    expect_no_allocation_while_rendering<std::int64_t>();
    expect_no_allocation_while_rendering<std::uint8_t>();
    expect_no_allocation_while_rendering<std::uint16_t>();
    expect_no_allocation_while_rendering<std::uint32_t>();
    expect_no_allocation_while_rendering<std::uint64_t>();
    expect_no_allocation_while_rendering<float>();
    expect_no_allocation_while_rendering<double>();
}

TEST(RealTime, TheStreamsCallbacksAllocateNothing) {
    audio::FakeDevice device({.name = "card"});
    auto built = build_stream<float>(device, {2, 96000}, monotonic_now(), small_show(),
                                     std::make_shared<ViewRing>(96000));
    ASSERT_TRUE(built.ok());
    audio::FakeStreamRecord& record = device.record().stream(0);
    std::vector<float> out(audio::kMaxFramesPerCallback * 2);
    testing::internal::CaptureStderr();
    const long count = allocations_during([&] {
        for (int call = 0; call < 4; ++call) record.pump_into({out.data(), out.size(), audio::SampleFormat::F32});
        record.report_error("underrun");
    });
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(count, 0);
}

TEST(RealTime, TheCounterSeesAllocations) {
    EXPECT_GT(allocations_during([] { std::vector<float> v(10); }), 0);
}

}  // namespace
}  // namespace lumo
