#include "event_dispatcher.h"

#include "run_time_error.h"

namespace meridan {

void EventDispatcher::run(const std::function<void()> &handler)
{
    if (hasEnded)
        return;
    try {
        handler();
    } catch (const RunTimeError &error) {
        // Mark the end before reporting: the report is a modal box whose nested event loop must
        // not run any further handler.
        markEnded();
        desktop.reportRunTimeError(error.what());
        desktop.endProgram(ExitStatus::RunTimeError);
    }
}

void EventDispatcher::end(ExitStatus status)
{
    if (hasEnded)
        return;
    markEnded();
    desktop.endProgram(status);
}

void EventDispatcher::markEnded()
{
    hasEnded = true;
    if (onEnd)
        onEnd();
}

} // namespace meridan
