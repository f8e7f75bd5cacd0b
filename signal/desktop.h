#pragma once

#include <string_view>

namespace meridan {

enum class ExitStatus {
    Ended = 0, // END, or the window closed
    NoBoard = 1, // no board attached at start
    RunTimeError = 2,
    DisplayLost = 2, // the display went away while the panel ran
};

// Who a run-time error's report is for: the operator, in a modal box that waits for OK (and on
// standard error), or standard error alone, when the program is ending on a request that nobody
// is there to answer (a signal, a lost display).
enum class Audience { Operator, StandardError };

// What the logic asks of the desktop beyond its controls: a modal message, the report of a
// run-time error, a line on standard error, and the immediate end of the program.
class Desktop
{
public:
    virtual ~Desktop() = default;
    // Shows a modal message box with an OK button only and returns when the operator dismisses it.
    virtual void showMessage(std::string_view text) = 0;
    // Reports a run-time error once: on standard error, and to the operator in a modal box that
    // returns when it is dismissed.
    virtual void reportRunTimeError(std::string_view message, Audience audience) = 0;
    // Says one line on standard error only, e.g. a lamp that could not be darkened.
    virtual void warn(std::string_view line) = 0;
    // Ends the program with this status as soon as the running handler returns.
    virtual void endProgram(ExitStatus status) = 0;
};

} // namespace meridan
