#pragma once

#include "desktop.h"

#include <functional>

namespace meridan {

// Runs every event handler of the program: clicks, scroll changes, timer ticks, board events,
// load and close. It is the one place that catches RunTimeError: the error is reported once and
// the program ends with status 2. Once the program has ended, by END, by an error or at start,
// no further handler runs, even one already queued or due at the same moment.
class EventDispatcher
{
public:
    explicit EventDispatcher(Desktop &host) : desktop(host) { }

    void run(const std::function<void()> &handler);
    void end(ExitStatus status);
    bool ended() const { return hasEnded; }

private:
    Desktop &desktop;
    bool hasEnded = false;
};

} // namespace meridan
