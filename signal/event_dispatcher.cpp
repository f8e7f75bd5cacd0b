#include "signal/event_dispatcher.h"

#include "signal/run_time_error.h"

namespace meridan {

std::optional<std::string> EventDispatcher::attempt(const std::function<void()> &step)
{
    try {
        step();
    } catch (const RunTimeError &error) {
        return error.what();
    }
    return std::nullopt;
}

void EventDispatcher::run(const std::function<void()> &handler, Audience audience)
{
    if (hasEnded)
        return;
    if (!scope || inScope) {
        runCourse(handler, audience); // a handler run by a handler is inside its scope already
        return;
    }
    // Held by one reference, which std::function keeps without allocating.
    struct Course
    {
        EventDispatcher &dispatcher;
        const std::function<void()> &handler;
        Audience audience;
    } course { *this, handler, audience };
    inScope = true;
    scope([&course] { course.dispatcher.runCourse(course.handler, course.audience); });
    inScope = false;
}

void EventDispatcher::runCourse(const std::function<void()> &handler, Audience audience)
{
    const std::optional<std::string> error = attempt(handler);
    if (!error)
        return;
    // Mark the end before reporting: the report is a modal box whose nested event loop must not
    // run any further handler.
    markEnded();
    desktop.reportRunTimeError(*error, audience);
    close();
    desktop.endProgram(ExitStatus::RunTimeError);
}

void EventDispatcher::close()
{
    const std::vector<std::function<void()>> steps = std::move(closing);
    closing.clear();
    for (const auto &step : steps)
        if (const std::optional<std::string> error = attempt(step))
            desktop.warn("while darkening the lamps: " + *error);
}

void EventDispatcher::end(ExitStatus status)
{
    if (hasEnded)
        return;
    closing.clear(); // END has darkened the lamps, or the board was never set up
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
