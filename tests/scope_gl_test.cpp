// The scope drawn with GL ES offscreen against the CPU model: the same picture at three
// instants of the show (correlation after a blur, as the page's test compares), and not
// the picture of another instant; and lumo's view, fed through the playback callback's
// ring, drawing the frame the device presents.  Skipped where EGL cannot draw without a
// display.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "app/render_mix.hpp"
#include "app/render_scope.hpp"
#include "core/random.hpp"
#include "pictures/match.hpp"
#include "scope/gl/gl_scope.hpp"
#include "screen/offscreen.hpp"
#include "screen/view_drawer.hpp"
#include "show/view_ring.hpp"

#include <GLES2/gl2.h>

namespace lumo {
namespace {

using test::blurred_grid;
using test::correlation;
using test::kSamePicture;

std::vector<RgbImage> frames(const std::vector<std::int64_t>& ends, const ScopeSettings& settings, GlScope* gpu) {
    RandomEngine random(1);
    OfflineMix mix = make_offline_mix(prepare_show(random));
    std::vector<RgbImage> out(ends.size(), RgbImage(1, 1));
    const Status made = render_scope_frames(
        mix, ends, settings,
        [&](std::size_t index, const RgbImage& frame) {
            out[index] = frame;
            return Status{};
        },
        gpu);
    EXPECT_TRUE(made.ok());
    return out;
}

TEST(GlScope, DrawsTheCpuModelsFrames) {
    Result<std::unique_ptr<OffscreenGl>> context = OffscreenGl::make();
    if (!context.ok()) GTEST_SKIP() << context.error().message();
    const ScopeSettings settings{.size = 300};
    Result<std::unique_ptr<GlScope>> gpu = GlScope::make(settings);
    ASSERT_TRUE(gpu.ok()) << gpu.error().message();
    // A clip, the title, a wireframe model (seed 1).
    const std::vector<std::int64_t> ends{scope_sample_at(3.0), scope_sample_at(20.25), scope_sample_at(60.0)};
    const std::vector<RgbImage> cpu = frames(ends, settings, nullptr);
    const std::vector<RgbImage> gl = frames(ends, settings, gpu.value().get());
    for (std::size_t i = 0; i < ends.size(); ++i) {
        const std::vector<double> reference = blurred_grid(cpu[i]);
        for (std::size_t j = 0; j < ends.size(); ++j) {
            const double r = correlation(blurred_grid(gl[j]), reference);
            std::printf("gl at %zu against cpu at %zu: %.4f\n", j, i, r);
            if (i == j) EXPECT_GE(r, kSamePicture) << "instant " << i;
            else EXPECT_LT(r, kSamePicture) << "gl instant " << j << " against cpu instant " << i;
        }
    }
    gpu.value().reset();
}

// The show mixed as the callback mixes it into a ring, up to a buffer past `end`; the
// last buffer published at instant 0, so that at instant 0 the device presents `end`.
std::shared_ptr<ViewRing> ring_up_to(std::int64_t end) {
    RandomEngine random(1);
    OfflineMix mix = make_offline_mix(prepare_show(random));
    auto ring = std::make_shared<ViewRing>(kSampleRate);
    mix.state.view = ring;
    const std::int64_t written = end + mix.buffer_frames;
    const Status mixed = mix_frames<float>(mix, static_cast<std::uint64_t>(written), [&](std::span<const float>) {
        publish_to_view(mix.state, MonotonicInstant{0, 0});
        return Status{};
    });
    EXPECT_TRUE(mixed.ok());
    return ring;
}

// 400 × 300 pixels, the view's square (300) centred: the part at x 50 … 349, top row first.
RgbImage view_picture(const ViewRing& ring, const ScopeSettings& settings) {
    GLuint texture = 0, framebuffer = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 400, 300, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    ViewDrawer view(ring, settings.sample_rate);
    EXPECT_TRUE(view.fit(400, 300).ok());
    view.draw(framebuffer, 0);
    std::vector<std::uint8_t> rgba(400 * 300 * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, 400, 300, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    view.release();
    glDeleteFramebuffers(1, &framebuffer);
    glDeleteTextures(1, &texture);
    RgbImage picture(300, 300);
    for (int y = 0; y < 300; ++y) {
        for (int x = 0; x < 300; ++x) {
            const std::uint8_t* in = &rgba[static_cast<std::size_t>(((299 - y) * 400 + 50 + x) * 4)];
            std::copy(in, in + 3, picture.pixel(x, y));
        }
    }
    return picture;
}

TEST(ViewDrawer, DrawsTheFrameTheDevicePresentsCentred) {
    Result<std::unique_ptr<OffscreenGl>> context = OffscreenGl::make();
    if (!context.ok()) GTEST_SKIP() << context.error().message();
    const ScopeSettings settings{.size = 300};
    const std::vector<std::int64_t> ends{scope_sample_at(20.25), scope_sample_at(3.0)};
    const std::vector<RgbImage> cpu = frames(ends, settings, nullptr);
    const std::vector<double> view = blurred_grid(view_picture(*ring_up_to(ends[0]), settings));
    const double same = correlation(view, blurred_grid(cpu[0]));
    const double other = correlation(view, blurred_grid(cpu[1]));
    std::printf("the view at 20.25 s against the model there: %.4f, at 3 s: %.4f\n", same, other);
    EXPECT_GE(same, kSamePicture);
    EXPECT_LT(other, kSamePicture);
}

}  // namespace
}  // namespace lumo
