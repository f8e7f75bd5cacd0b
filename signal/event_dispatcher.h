#pragma once

#include "signal/desktop.h"

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace meridan {

// Runs every event handler of the program: clicks, scroll changes, timer ticks, board events,
// load and close. It is the one place that catches RunTimeError: the error is reported once, the
// closing steps leave the board safe, and the program ends with status 2. Once the program has
// ended, by END, by an error or at start, no further handler runs, even one already queued or due
// at the same moment.
class EventDispatcher
{
public:
    // Runs a handler's whole course (the handler, and the report and closing steps of an error it
    // raises) inside whatever the scope sets up around it.
    using Scope = std::function<void(const std::function<void()> &course)>;

    explicit EventDispatcher(Desktop &host) : desktop(host) {}

    // Runs one handler. A run-time error it raises is reported to `audience`.
    void run(const std::function<void()> &handler, Audience audience = Audience::Operator);
    void end(ExitStatus status);
    bool ended() const { return hasEnded; }
    // Called once when the program ends, before anything is reported: stops whatever would
    // otherwise still wake it.
    void setOnEnd(std::function<void()> handler) { onEnd = std::move(handler); }
    // From now on every handler runs inside `around` (the window holds its repaints there).
    void setScope(Scope around) { scope = std::move(around); }

    // The steps that leave the board safe (both lamps dark) before the program ends on a
    // run-time error. Each is tried once, in order, whatever the one before it did; a failure is
    // said on standard error only.
    void setClosingSteps(std::vector<std::function<void()>> steps) { closing = std::move(steps); }
    // Runs the closing steps now, if they have not run: for an end that cannot wait for the
    // operator to dismiss an error's report (a lost display).
    void close();

private:
    void runCourse(const std::function<void()> &handler, Audience audience);
    void markEnded();
    // Runs `step`; the message of the run-time error it raised, if it raised one.
    static std::optional<std::string> attempt(const std::function<void()> &step);

    Desktop &desktop;
    bool hasEnded = false;
    std::function<void()> onEnd;
    Scope scope;
    bool inScope = false;
    std::vector<std::function<void()>> closing;
};

} // namespace meridan
