#pragma once

#include <string_view>

namespace meridan {

enum class ExitStatus {
    Ended = 0, // END, or the window closed
    NoBoard = 1, // no board attached at start
    RunTimeError = 2,
    DisplayLost = 2, // the display went away while the panel ran
};

// What the logic asks of the desktop beyond its controls: a modal message, the report of a
// run-time error, and the immediate end of the program.
class Desktop
{
public:
    virtual ~Desktop() = default;
    // Shows a modal message box with an OK button only and returns when the operator dismisses it.
    virtual void showMessage(std::string_view text) = 0;
    // Reports a run-time error once, to the operator and on standard error.
    virtual void reportRunTimeError(std::string_view message) = 0;
    // Ends the program with this status as soon as the running handler returns.
    virtual void endProgram(ExitStatus status) = 0;
};

} // namespace meridan
