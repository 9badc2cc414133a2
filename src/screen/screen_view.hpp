// lumo's phosphor view on a screen (lumo DEVICE --screen): a thread that draws, at each
// vertical blank of the first connected display, the samples the sound card is playing
// at that moment, read from the ring the playback callback fills.
//
// The view never holds up the sound: it only reads the ring, and a frame it draws late
// or not at all costs a picture.  Whatever goes wrong with the screen (no DRM device, no
// GL ES 2, a mode that cannot be set) is one line on standard error and the end of the
// view, never of the show.  A display unplugged while the view runs stops it until a
// display is connected again; one not connected at the start is waited for the same way.
#pragma once

#include <cstdint>
#include <memory>
#include <thread>

#include "show/view_ring.hpp"

namespace lumo {

// Starts the view on its own thread, reading `ring` (frames at `rate` per second).  It
// runs until the returned thread goes, which gives the screen and the console back.
std::jthread start_screen_view(std::shared_ptr<const ViewRing> ring, std::int64_t rate);

}  // namespace lumo
