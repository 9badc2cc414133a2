// A display lumo draws on without X or Wayland: the first connected connector of a DRM
// device, at its preferred mode, with a GL ES 2 context drawing into a GBM surface whose
// buffers are page-flipped onto the screen at each vertical blank.
//
// Contract: one thread makes, draws with and destroys a KmsOutput; its GL context is
// current on that thread from `open` on.  The CRTC's previous configuration (the console)
// is put back when the object goes.  The context outlives an unplugged display: `lose`
// lets the screen go and `resume` takes the connector that is connected next, at its own
// mode, so what was drawn with the context (the scope's textures) stays.
#pragma once

#include <memory>
#include <string>

#include "core/error.hpp"

namespace lumo {

// Whether a DRM device that drives displays is there (/dev/dri/card*), connected or not.
bool display_device_present();

class KmsOutput {
public:
    // The first DRM device that drives displays (one with a display connected if any),
    // with its context, showing on that display.  The error is one sentence: no DRM
    // device, no GL ES 2 on it (or only a software renderer that may not run in this
    // process), or a mode that cannot be set.
    static Result<std::unique_ptr<KmsOutput>> open();
    ~KmsOutput();
    KmsOutput(const KmsOutput&) = delete;
    KmsOutput& operator=(const KmsOutput&) = delete;

    int width() const;
    int height() const;
    // The screen's name and mode, as "HDMI-A-1 1920x1080 60 Hz".
    std::string description() const;

    // Shows what was drawn into framebuffer 0 at the next vertical blank and waits for it.
    // An error means the screen went (unplugged, or taken by another program).
    Status present();

    // Whether a display shows what is presented (false after `lose`, or when none was
    // connected at `open`).
    bool showing() const;
    // Whether the connector in use still reports a display (cheap: no probe of the link).
    bool still_connected() const;
    // Whether the DRM device itself went (a hot-unplugged card): nothing it drove comes
    // back on it, and a card plugged in again is a new device for `open`.
    bool device_gone() const;
    // Lets the screen go: the GBM surface and the mode are dropped, the context stays.
    void lose();
    // Probes every connector (slow: reads the displays' EDID); true when one is connected
    // and shows the context's drawing at its preferred mode, false while none is; an error
    // when the mode cannot be set.
    Result<bool> resume();

    struct Drm;

private:
    explicit KmsOutput(std::unique_ptr<Drm> drm);
    std::unique_ptr<Drm> drm_;
};

}  // namespace lumo
