#pragma once

#include <functional>

namespace meridan {

// The last chance to darken the lamps when the display goes away (the X server ends, a remote
// session drops, the Wayland compositor quits). Qt then ends the process itself: it calls exit()
// when its X11 connection breaks, and warns that the Wayland connection broke before it calls
// _exit() when that one does. While armed, exit(), that warning and any fatal message of Qt's
// lead to `onLoss`, run once on the event loop's thread between two handlers; it is expected to
// darken the lamps, say so and end the process. SIGPIPE is ignored, so that a write to a
// display that has gone fails and Qt sees the broken connection instead of the process dying
// silently on the signal.
class DisplayLoss
{
public:
    // Arms the handlers; needs the application object. One at a time.
    explicit DisplayLoss(std::function<void()> onLoss);
    // Disarms them: the program's own return from main is no loss.
    ~DisplayLoss();
    DisplayLoss(const DisplayLoss &) = delete;
    DisplayLoss &operator=(const DisplayLoss &) = delete;
};

} // namespace meridan
