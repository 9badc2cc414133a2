// The text console under lumo's view: when lumo runs on a virtual terminal, the terminal
// is put in graphics mode for the view (so the console's cursor and text do not draw over
// it) and given back in text mode when the view ends, the program exits or a signal that
// ends it arrives.  Elsewhere (over ssh, as a service without a terminal) it does nothing.
#pragma once

namespace lumo {

class ConsoleGraphics {
public:
    // Takes the controlling terminal into graphics mode if it is a virtual terminal.
    ConsoleGraphics();
    // Back to the mode it was in.
    ~ConsoleGraphics();
    ConsoleGraphics(const ConsoleGraphics&) = delete;
    ConsoleGraphics& operator=(const ConsoleGraphics&) = delete;

    bool on_terminal() const { return terminal_ >= 0; }

private:
    int terminal_ = -1;
};

}  // namespace lumo
