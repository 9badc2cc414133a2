#include "screen/offscreen.hpp"

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <cstring>

namespace lumo {

Result<std::unique_ptr<OffscreenGl>> OffscreenGl::make() {
    const char* extensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (extensions == nullptr || std::strstr(extensions, "EGL_MESA_platform_surfaceless") == nullptr) {
        return Error("EGL offers no surfaceless platform to draw without a display");
    }
    auto get_display = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (get_display == nullptr) return Error("EGL cannot open a platform display");
    EGLDisplay display = get_display(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, nullptr, nullptr)) {
        return Error("EGL could not start on the surfaceless platform");
    }
    // No surface type: the surfaceless platform has no window configurations.
    const EGLint config_wanted[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_ES2_BIT, EGL_SURFACE_TYPE, 0, EGL_NONE};
    EGLConfig config = nullptr;
    EGLint configs = 0;
    eglBindAPI(EGL_OPENGL_ES_API);
    if (!eglChooseConfig(display, config_wanted, &config, 1, &configs) || configs < 1) {
        eglTerminate(display);
        return Error("EGL has no OpenGL ES 2 configuration");
    }
    const EGLint context_wanted[] = {EGL_CONTEXT_CLIENT_VERSION, 2, EGL_NONE};
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, context_wanted);
    if (context == EGL_NO_CONTEXT || !eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
        if (context != EGL_NO_CONTEXT) eglDestroyContext(display, context);
        eglTerminate(display);
        return Error("EGL could not make an OpenGL ES 2 context without a surface");
    }
    std::unique_ptr<OffscreenGl> gl(new OffscreenGl());
    gl->display_ = display;
    gl->context_ = context;
    return gl;
}

OffscreenGl::~OffscreenGl() {
    eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(display_, context_);
    eglTerminate(display_);
}

}  // namespace lumo
