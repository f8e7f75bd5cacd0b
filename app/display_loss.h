#pragma once

#include <functional>

namespace meridan {

// Says on standard error that the display was lost, and whether both lamps were darkened as END
// does, in one write.
void sayDisplayLost(bool darkened);

// The last chance to darken the lamps when the display goes away (the X server ends, a remote
// session drops, the Wayland compositor quits). Qt then ends the process itself, right after it
// says so: "The X11 connection broke ..." before exit(), "The Wayland connection broke ..." (or
// "... experienced a fatal error") before _exit(). Those messages, and no other, lead to the
// handler, which runs on the event loop's thread only, between two of the panel's handlers: when
// Qt says it on that thread, the handler runs there and then; when another thread of Qt's says it
// (the Wayland event reader), that thread asks the event loop to run the handler and waits for
// the process to end. The handler is expected to darken the lamps, say so and end the process;
// should it return, the process ends with status 2. Until the panel gives its handler, a loss
// says so and ends the process with status 2: no lamp can be lit before the panel runs. Any other
// message, fatal ones included, goes on as Qt would have it.
// SIGPIPE is ignored, so that a write to a display that has gone fails and Qt sees the broken
// connection instead of the process dying silently on the signal.
class DisplayLoss
{
public:
    // Installs the hooks on the event loop's thread; needs the application object. One at a time.
    DisplayLoss();
    // Removes them.
    ~DisplayLoss();
    DisplayLoss(const DisplayLoss &) = delete;
    DisplayLoss &operator=(const DisplayLoss &) = delete;

    // Set on the event loop's thread, where the handler runs too.
    void setHandler(std::function<void()> onLoss);
    // From now on a loss is Qt's to handle: the panel's event loop has ended and its objects are
    // going.
    void disarm();
};

} // namespace meridan
