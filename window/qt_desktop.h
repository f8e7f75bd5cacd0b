#pragma once

#include "signal/desktop.h"

#include <optional>

namespace meridan {

// The desktop as a Qt application gives it: modal message boxes titled "Meridan" and the end of
// the program through the application's event loop.
class QtDesktop final : public Desktop
{
public:
    void showMessage(std::string_view text) override;
    void reportRunTimeError(std::string_view message, Audience audience) override;
    void warn(std::string_view line) override;
    void endProgram(ExitStatus status) override;

    // From now on a run-time error is reported on standard error only: there is no display left
    // to show a box on.
    void loseDisplay() { displayGone = true; }

    // The status the program ended with, or nullopt while it runs.
    std::optional<ExitStatus> exitStatus() const { return status; }

private:
    std::optional<ExitStatus> status;
    bool displayGone = false;
};

} // namespace meridan
