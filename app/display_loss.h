#pragma once

#include <functional>

namespace meridan {

// The last chance to darken the lamps when the display goes away (the X server ends, a remote
// session drops, the Wayland compositor quits). Qt then ends the process itself: it calls exit()
// when its X11 connection breaks, and raises a fatal message when its Wayland connection does.
// While armed, both lead to `onLoss`, which is expected to darken the lamps, say so and end the
// process; nothing of the program's own runs after it. SIGPIPE is ignored, so that a write to a
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
