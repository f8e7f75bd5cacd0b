#pragma once

#include "desktop.h"

#include <functional>
#include <utility>

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
    // Called once when the program ends, before anything is reported: stops whatever would
    // otherwise still wake it.
    void setOnEnd(std::function<void()> handler) { onEnd = std::move(handler); }

private:
    void markEnded();

    Desktop &desktop;
    bool hasEnded = false;
    std::function<void()> onEnd;
};

} // namespace meridan
