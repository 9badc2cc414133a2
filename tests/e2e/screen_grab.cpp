// Reads back the picture a DRM device scans out, as the emulated machines' screen test
// sees lumo's view: run as root (the framebuffer's buffer handle is given only to root).
//
//   lumo-screen-grab FILE.ppm [SECONDS]
//     waits (at most SECONDS, 30 by default) until the scanned-out framebuffer of the
//     first active CRTC has changed twice, then writes it to FILE.ppm (binary PPM, RGB)
//     and prints "drawn_at=T shown_at=U WIDTHxHEIGHT" (CLOCK_MONOTONIC seconds).
//
// The first change is a flip of lumo's view: its next picture starts at once, with the
// samples the sound card presents then, so the picture the second change shows is the
// view's instant T (to the poll's few milliseconds), however slowly it was drawn.  A
// framebuffer that changes again while it is copied is read anew.  Exits 1 when no
// picture is flipped in time or the framebuffer is not a linear 32-bit RGB one.
#include <drm_fourcc.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>
#include <xf86drm.h>
#include <xf86drmMode.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int kCardsTried = 16;
constexpr long kPollNanoseconds = 4'000'000;

double monotonic_seconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

struct Scanout {
    int fd = -1;
    std::uint32_t crtc = 0;
};

// The first card with a CRTC that shows a framebuffer.
std::optional<Scanout> find_scanout() {
    for (int card = 0; card < kCardsTried; ++card) {
        const std::string path = "/dev/dri/card" + std::to_string(card);
        const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0) continue;
        // The first to open a card without a master becomes it: a view that starts (or
        // starts again) after this must still be able to set its mode.
        drmDropMaster(fd);
        if (drmModeRes* resources = drmModeGetResources(fd)) {
            for (int i = 0; i < resources->count_crtcs; ++i) {
                drmModeCrtc* crtc = drmModeGetCrtc(fd, resources->crtcs[i]);
                const bool active = crtc != nullptr && crtc->buffer_id != 0;
                drmModeFreeCrtc(crtc);
                if (active) {
                    const Scanout found{fd, resources->crtcs[i]};
                    drmModeFreeResources(resources);
                    return found;
                }
            }
            drmModeFreeResources(resources);
        }
        close(fd);
    }
    return std::nullopt;
}

std::uint32_t shown_framebuffer(const Scanout& scanout) {
    drmModeCrtc* crtc = drmModeGetCrtc(scanout.fd, scanout.crtc);
    const std::uint32_t id = crtc != nullptr ? crtc->buffer_id : 0;
    drmModeFreeCrtc(crtc);
    return id;
}

// Polls until the CRTC shows another framebuffer than `from`, or `deadline` passes (0).
std::uint32_t wait_for_flip(const Scanout& scanout, std::uint32_t from, double deadline) {
    const timespec pause{0, kPollNanoseconds};
    while (monotonic_seconds() < deadline) {
        const std::uint32_t id = shown_framebuffer(scanout);
        if (id != 0 && id != from) return id;
        nanosleep(&pause, nullptr);
    }
    return 0;
}

struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb;
};

void close_handles(int fd, const drmModeFB2& fb) {
    for (int plane = 0; plane < 4; ++plane) {
        if (fb.handles[plane] == 0) continue;
        bool earlier = false;
        for (int p = 0; p < plane; ++p) earlier = earlier || fb.handles[p] == fb.handles[plane];
        if (earlier) continue;
        drm_gem_close closing{fb.handles[plane], 0};
        ioctl(fd, DRM_IOCTL_GEM_CLOSE, &closing);
    }
}

// The framebuffer's pixels as RGB, or an empty picture (said why on stderr).  Reads stay
// within the first plane's offset + pitch × height bytes, the span that was mapped.
Picture read_framebuffer(int fd, std::uint32_t id) {
    Picture picture;
    drmModeFB2* fb = drmModeGetFB2(fd, id);
    if (fb == nullptr) {
        std::perror("lumo-screen-grab: GETFB2");
        return picture;
    }
    const bool linear = !(fb->flags & DRM_MODE_FB_MODIFIERS) || fb->modifier == DRM_FORMAT_MOD_LINEAR;
    const bool rgb32 = fb->pixel_format == DRM_FORMAT_XRGB8888 || fb->pixel_format == DRM_FORMAT_ARGB8888;
    const std::size_t width = fb->width, height = fb->height, pitch = fb->pitches[0];
    if (!linear || !rgb32 || fb->handles[0] == 0 || pitch < width * 4) {
        std::fprintf(stderr, "lumo-screen-grab: framebuffer %u is not linear 32-bit RGB with a buffer handle\n", id);
    } else {
        drm_mode_map_dumb map{};
        map.handle = fb->handles[0];
        const std::size_t length = fb->offsets[0] + pitch * height;
        void* mapped = MAP_FAILED;
        if (ioctl(fd, DRM_IOCTL_MODE_MAP_DUMB, &map) == 0) {
            mapped = mmap(nullptr, length, PROT_READ, MAP_SHARED, fd, static_cast<off_t>(map.offset));
        }
        if (mapped == MAP_FAILED) {
            std::perror("lumo-screen-grab: mapping the framebuffer");
        } else {
            const auto* bytes = static_cast<const std::uint8_t*>(mapped) + fb->offsets[0];
            picture.width = static_cast<int>(width);
            picture.height = static_cast<int>(height);
            picture.rgb.resize(width * height * 3);
            for (std::size_t y = 0; y < height; ++y) {
                const std::uint8_t* row = bytes + y * pitch;
                for (std::size_t x = 0; x < width; ++x) {
                    // Little-endian XRGB: blue, green, red, unused.
                    std::uint8_t* out = &picture.rgb[(y * width + x) * 3];
                    out[0] = row[x * 4 + 2];
                    out[1] = row[x * 4 + 1];
                    out[2] = row[x * 4 + 0];
                }
            }
            munmap(mapped, length);
        }
    }
    close_handles(fd, *fb);
    drmModeFreeFB2(fb);
    return picture;
}

bool write_ppm(const Picture& picture, const char* path) {
    FILE* file = std::fopen(path, "wb");
    if (file == nullptr) return false;
    std::fprintf(file, "P6\n%d %d\n255\n", picture.width, picture.height);
    const bool written = std::fwrite(picture.rgb.data(), 1, picture.rgb.size(), file) == picture.rgb.size();
    return std::fclose(file) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: lumo-screen-grab FILE.ppm [SECONDS]\n");
        return 2;
    }
    const double deadline = monotonic_seconds() + (argc == 3 ? std::atof(argv[2]) : 30.0);
    const std::optional<Scanout> scanout = find_scanout();
    if (!scanout) {
        std::fprintf(stderr, "lumo-screen-grab: no DRM device shows a framebuffer\n");
        return 1;
    }
    std::uint32_t id = wait_for_flip(*scanout, shown_framebuffer(*scanout), deadline);
    double drawn_at = monotonic_seconds();
    while (id != 0) {
        const std::uint32_t next = wait_for_flip(*scanout, id, deadline);
        if (next == 0) break;
        const double shown_at = monotonic_seconds();
        const Picture picture = read_framebuffer(scanout->fd, next);
        if (picture.rgb.empty()) return 1;
        if (shown_framebuffer(*scanout) == next) {
            if (!write_ppm(picture, argv[1])) {
                std::fprintf(stderr, "lumo-screen-grab: cannot write %s\n", argv[1]);
                return 1;
            }
            std::printf("drawn_at=%.4f shown_at=%.4f %dx%d\n", drawn_at, shown_at, picture.width, picture.height);
            return 0;
        }
        // Flipped again while it was read: that flip is the next picture's start.
        id = shown_framebuffer(*scanout);
        drawn_at = monotonic_seconds();
    }
    std::fprintf(stderr, "lumo-screen-grab: the screen showed no new picture in time\n");
    return 1;
}
