#include "screen/kms_output.hpp"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GLES2/gl2.h>
#include <fcntl.h>
#include <gbm.h>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>
#include <xf86drm.h>
#include <xf86drmMode.h>

#include <cerrno>
#include <cstring>
#include <optional>

namespace lumo {

namespace {

constexpr int kCardsTried = 16;
// A page flip that takes longer than this has not happened: the screen went.
constexpr int kFlipTimeoutMs = 500;

struct Display {
    std::uint32_t connector = 0;
    std::uint32_t crtc = 0;
    drmModeModeInfo mode{};
    std::string name;
};

// A CRTC the connector can drive: the one it is on, else the first its encoders allow.
std::optional<std::uint32_t> crtc_for(int fd, const drmModeRes& resources, const drmModeConnector& connector) {
    if (drmModeEncoder* encoder = drmModeGetEncoder(fd, connector.encoder_id)) {
        const std::uint32_t crtc = encoder->crtc_id;
        drmModeFreeEncoder(encoder);
        if (crtc != 0) return crtc;
    }
    for (int e = 0; e < connector.count_encoders; ++e) {
        drmModeEncoder* encoder = drmModeGetEncoder(fd, connector.encoders[e]);
        if (encoder == nullptr) continue;
        const std::uint32_t possible = encoder->possible_crtcs;
        drmModeFreeEncoder(encoder);
        for (int c = 0; c < resources.count_crtcs && c < 32; ++c) {
            if (possible & (1u << c)) return resources.crtcs[c];
        }
    }
    return std::nullopt;
}

// The first connected connector with a mode and a CRTC, at its preferred mode.  Without
// `probe` the kernel's last word on each connector is taken, which costs no link traffic.
std::optional<Display> connected_display(int fd, bool probe) {
    drmModeRes* resources = drmModeGetResources(fd);
    if (resources == nullptr) return std::nullopt;
    std::optional<Display> found;
    for (int i = 0; i < resources->count_connectors && !found; ++i) {
        drmModeConnector* connector = probe ? drmModeGetConnector(fd, resources->connectors[i])
                                            : drmModeGetConnectorCurrent(fd, resources->connectors[i]);
        if (connector == nullptr) continue;
        if (connector->connection == DRM_MODE_CONNECTED && connector->count_modes > 0) {
            if (std::optional<std::uint32_t> crtc = crtc_for(fd, *resources, *connector)) {
                Display display{connector->connector_id, *crtc, connector->modes[0], {}};
                for (int m = 0; m < connector->count_modes; ++m) {
                    if (connector->modes[m].type & DRM_MODE_TYPE_PREFERRED) {
                        display.mode = connector->modes[m];
                        break;
                    }
                }
                const char* type = drmModeGetConnectorTypeName(connector->connector_type);
                display.name = std::string(type ? type : "connector") + "-" + std::to_string(connector->connector_type_id);
                found = display;
            }
        }
        drmModeFreeConnector(connector);
    }
    drmModeFreeResources(resources);
    return found;
}

struct Framebuffer {
    int fd;
    std::uint32_t id;
};

void drop_framebuffer(gbm_bo*, void* data) {
    auto* framebuffer = static_cast<Framebuffer*>(data);
    drmModeRmFB(framebuffer->fd, framebuffer->id);
    delete framebuffer;
}

// The DRM framebuffer of a GBM buffer, made the first time the buffer comes round.
std::uint32_t framebuffer_of(int fd, gbm_bo* bo) {
    if (auto* known = static_cast<Framebuffer*>(gbm_bo_get_user_data(bo))) return known->id;
    std::uint32_t id = 0;
    if (drmModeAddFB(fd, gbm_bo_get_width(bo), gbm_bo_get_height(bo), 24, 32, gbm_bo_get_stride(bo),
                     gbm_bo_get_handle(bo).u32, &id) != 0) {
        return 0;
    }
    gbm_bo_set_user_data(bo, new Framebuffer{fd, id}, drop_framebuffer);
    return id;
}

// Whether this process may make memory it wrote executable, as a JIT does.  A service
// with MemoryDenyWriteExecute may not: its seccomp filter refuses the mprotect.
bool may_execute_written_memory() {
    const long page = sysconf(_SC_PAGESIZE);
    const std::size_t length = page > 0 ? static_cast<std::size_t>(page) : 4096;
    void* memory = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) return false;
    const bool allowed = mprotect(memory, length, PROT_READ | PROT_EXEC) == 0;
    munmap(memory, length);
    return allowed;
}

// Mesa's software renderer for a display without a GPU driver of its own (llvmpipe, on
// a firmware framebuffer or an emulated card) compiles every shader to machine code:
// where that code may not run, it would crash the whole show at the first picture.
bool renderer_can_draw() {
    const auto* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    const bool compiles_to_machine_code = renderer != nullptr && std::strstr(renderer, "llvmpipe") != nullptr;
    return !compiles_to_machine_code || may_execute_written_memory();
}

void flip_done(int, unsigned, unsigned, unsigned, void* pending) { *static_cast<bool*>(pending) = false; }

// The card's descriptor when it drives displays (it has KMS resources), else -1.
int open_display_device(int card) {
    const std::string path = "/dev/dri/card" + std::to_string(card);
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return -1;
    drmModeRes* resources = drmModeGetResources(fd);
    if (resources == nullptr) {
        close(fd);
        return -1;
    }
    drmModeFreeResources(resources);
    return fd;
}

}  // namespace

struct KmsOutput::Drm {
    int fd = -1;
    gbm_device* gbm = nullptr;
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLConfig config = nullptr;
    EGLContext context = EGL_NO_CONTEXT;
    // While a screen shows:
    Display screen;
    gbm_surface* surface = nullptr;
    EGLSurface window = EGL_NO_SURFACE;
    gbm_bo* shown = nullptr;
    drmModeCrtc* console = nullptr;  // what the CRTC showed before lumo, put back at the end

    bool flip_pending = false;

    bool wait_for_flip() {
        drmEventContext events{};
        events.version = 2;
        events.page_flip_handler = flip_done;
        while (flip_pending) {
            pollfd watched{fd, POLLIN, 0};
            const int ready = poll(&watched, 1, kFlipTimeoutMs);
            if (ready < 0 && errno == EINTR) continue;
            if (ready <= 0 || drmHandleEvent(fd, &events) != 0) return false;
        }
        return true;
    }

    void drop_screen() {
        if (window != EGL_NO_SURFACE) {
            eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context);
            eglDestroySurface(display, window);
            window = EGL_NO_SURFACE;
        }
        if (shown != nullptr) gbm_surface_release_buffer(surface, shown);
        shown = nullptr;
        if (surface != nullptr) gbm_surface_destroy(surface);
        surface = nullptr;
    }

    ~Drm() {
        if (console != nullptr) {
            drmModeSetCrtc(fd, console->crtc_id, console->buffer_id, console->x, console->y, &screen.connector, 1,
                           console->mode_valid ? &console->mode : nullptr);
            drmModeFreeCrtc(console);
        }
        drop_screen();
        if (context != EGL_NO_CONTEXT) {
            eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
            eglDestroyContext(display, context);
        }
        if (display != EGL_NO_DISPLAY) eglTerminate(display);
        if (gbm != nullptr) gbm_device_destroy(gbm);
        if (fd >= 0) close(fd);
    }
};

bool display_device_present() {
    for (int card = 0; card < kCardsTried; ++card) {
        const int fd = open_display_device(card);
        if (fd < 0) continue;
        close(fd);
        return true;
    }
    return false;
}

KmsOutput::KmsOutput(std::unique_ptr<Drm> drm) : drm_(std::move(drm)) {}
KmsOutput::~KmsOutput() = default;

Result<std::unique_ptr<KmsOutput>> KmsOutput::open() {
    auto drm = std::make_unique<Drm>();
    // Devices that drive displays have KMS resources (the Pi 4's v3d, a render-only GPU,
    // has none); one with a display connected is preferred.
    bool any_device = false;
    for (int card = 0; card < kCardsTried; ++card) {
        const int fd = open_display_device(card);
        if (fd < 0) continue;
        any_device = true;
        const bool connected = connected_display(fd, true).has_value();
        if (drm->fd < 0 || connected) {
            if (drm->fd >= 0) close(drm->fd);
            drm->fd = fd;
        } else {
            close(fd);
        }
        if (connected) break;
    }
    if (!any_device) return Error("there is no DRM display device (/dev/dri/card*) to show the view on");

    drm->gbm = gbm_create_device(drm->fd);
    auto get_display = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (drm->gbm == nullptr || get_display == nullptr) return Error("the display device has no GBM and EGL to draw with");
    drm->display = get_display(EGL_PLATFORM_GBM_KHR, drm->gbm, nullptr);
    if (drm->display == EGL_NO_DISPLAY || !eglInitialize(drm->display, nullptr, nullptr)) {
        drm->display = EGL_NO_DISPLAY;
        return Error("EGL could not start on the display device");
    }
    // The configuration whose pixels are the scanout format the framebuffers are made in.
    const EGLint wanted[] = {EGL_SURFACE_TYPE, EGL_WINDOW_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_ES2_BIT,
                             EGL_RED_SIZE,     8,              EGL_GREEN_SIZE,      8,
                             EGL_BLUE_SIZE,    8,              EGL_NONE};
    EGLConfig configs[64];
    EGLint count = 0;
    eglBindAPI(EGL_OPENGL_ES_API);
    eglChooseConfig(drm->display, wanted, configs, 64, &count);
    for (EGLint i = 0; i < count && drm->config == nullptr; ++i) {
        EGLint visual = 0;
        eglGetConfigAttrib(drm->display, configs[i], EGL_NATIVE_VISUAL_ID, &visual);
        if (visual == GBM_FORMAT_XRGB8888) drm->config = configs[i];
    }
    const EGLint context_wanted[] = {EGL_CONTEXT_CLIENT_VERSION, 2, EGL_NONE};
    if (drm->config != nullptr) drm->context = eglCreateContext(drm->display, drm->config, EGL_NO_CONTEXT, context_wanted);
    if (drm->context == EGL_NO_CONTEXT) return Error("the display device offers no OpenGL ES 2 context");
    eglMakeCurrent(drm->display, EGL_NO_SURFACE, EGL_NO_SURFACE, drm->context);
    if (!renderer_can_draw()) {
        return Error("the display has only Mesa's software renderer, whose compiled shaders this process may not "
                     "run (a service with MemoryDenyWriteExecute=yes)");
    }

    std::unique_ptr<KmsOutput> output(new KmsOutput(std::move(drm)));
    Result<bool> shown = output->resume();
    if (!shown.ok()) return shown.error();
    return output;
}

Result<bool> KmsOutput::resume() {
    Drm& d = *drm_;
    d.drop_screen();
    std::optional<Display> found = connected_display(d.fd, true);
    if (!found) return false;
    d.screen = *found;
    const int width = d.screen.mode.hdisplay;
    const int height = d.screen.mode.vdisplay;
    d.surface = gbm_surface_create(d.gbm, static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height),
                                   GBM_FORMAT_XRGB8888, GBM_BO_USE_SCANOUT | GBM_BO_USE_RENDERING);
    if (d.surface != nullptr) {
        d.window = eglCreateWindowSurface(d.display, d.config, reinterpret_cast<EGLNativeWindowType>(d.surface), nullptr);
    }
    if (d.window == EGL_NO_SURFACE || !eglMakeCurrent(d.display, d.window, d.window, d.context)) {
        d.drop_screen();
        return Error("the display's " + std::to_string(width) + "x" + std::to_string(height) +
                     " buffers cannot be made on the GPU");
    }
    // A black first frame to set the mode with.
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    eglSwapBuffers(d.display, d.window);
    d.shown = gbm_surface_lock_front_buffer(d.surface);
    const std::uint32_t framebuffer = d.shown ? framebuffer_of(d.fd, d.shown) : 0;
    if (d.console == nullptr) d.console = drmModeGetCrtc(d.fd, d.screen.crtc);
    if (framebuffer == 0 ||
        drmModeSetCrtc(d.fd, d.screen.crtc, framebuffer, 0, 0, &d.screen.connector, 1, &d.screen.mode) != 0) {
        const std::string reason = std::strerror(errno);
        d.drop_screen();
        return Error("the display's mode " + std::to_string(width) + "x" + std::to_string(height) +
                     " cannot be set (" + reason + ")");
    }
    return true;
}

Status KmsOutput::present() {
    Drm& d = *drm_;
    if (d.surface == nullptr) return Error("no display shows the view");
    eglSwapBuffers(d.display, d.window);
    gbm_bo* next = gbm_surface_lock_front_buffer(d.surface);
    const std::uint32_t framebuffer = next ? framebuffer_of(d.fd, next) : 0;
    bool flipped = framebuffer != 0 &&
                   drmModePageFlip(d.fd, d.screen.crtc, framebuffer, DRM_MODE_PAGE_FLIP_EVENT, &d.flip_pending) == 0;
    d.flip_pending = flipped;
    flipped = flipped && d.wait_for_flip();
    if (!flipped) {
        if (next != nullptr) gbm_surface_release_buffer(d.surface, next);
        return Error("the display stopped taking frames");
    }
    // The buffer shown until now is free to draw into again.
    if (d.shown != nullptr) gbm_surface_release_buffer(d.surface, d.shown);
    d.shown = next;
    return {};
}

bool KmsOutput::showing() const { return drm_->surface != nullptr; }

bool KmsOutput::still_connected() const {
    drmModeConnector* connector = drmModeGetConnectorCurrent(drm_->fd, drm_->screen.connector);
    if (connector == nullptr) return false;
    const bool connected = connector->connection == DRM_MODE_CONNECTED;
    drmModeFreeConnector(connector);
    return connected;
}

bool KmsOutput::device_gone() const {
    drmModeRes* resources = drmModeGetResources(drm_->fd);
    if (resources == nullptr) return errno == ENODEV;
    drmModeFreeResources(resources);
    return false;
}

void KmsOutput::lose() {
    // The CRTC lets go of the buffers before they go.
    drmModeSetCrtc(drm_->fd, drm_->screen.crtc, 0, 0, 0, nullptr, 0, nullptr);
    drm_->drop_screen();
}

int KmsOutput::width() const { return drm_->screen.mode.hdisplay; }
int KmsOutput::height() const { return drm_->screen.mode.vdisplay; }

std::string KmsOutput::description() const {
    const Display& s = drm_->screen;
    return s.name + " " + std::to_string(s.mode.hdisplay) + "x" + std::to_string(s.mode.vdisplay) + " " +
           std::to_string(s.mode.vrefresh) + " Hz";
}

}  // namespace lumo
