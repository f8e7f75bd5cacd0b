#pragma once

#include <functional>

namespace meridan {

// The last chance to darken the lamps when the display goes away (the X server ends, a remote
// session drops, the Wayland compositor quits). Qt then ends the process itself: it calls exit()
// when its X11 connection breaks, and warns that the Wayland connection broke before it calls
// _exit() when that one does. From construction on, exit(), that warning and any fatal message
// of Qt's lead to the handler, run once on the event loop's thread between two handlers; it is
// expected to darken the lamps, say so and end the process. Until the panel gives its handler, a
// loss says so and ends the process with status 2: no lamp can be lit before the panel runs.
// SIGPIPE is ignored, so that a write to a display that has gone fails and Qt sees the broken
// connection instead of the process dying silently on the signal.
class DisplayLoss
{
public:
    // Installs the hooks; needs the application object. One at a time.
    DisplayLoss();
    // Removes them: the program's own return from main is no loss.
    ~DisplayLoss();
    DisplayLoss(const DisplayLoss &) = delete;
    DisplayLoss &operator=(const DisplayLoss &) = delete;

    void setHandler(std::function<void()> onLoss);
};

} // namespace meridan
