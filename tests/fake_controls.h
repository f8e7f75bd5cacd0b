#pragma once

#include "signal/colour.h"
#include "signal/command_button.h"
#include "signal/desktop.h"
#include "signal/indicator_box.h"
#include "signal/scroll_bar.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace meridan::testing {

struct FakeBox : IndicatorBox
{
    Colour colour = LampOff;
    std::vector<Colour> changes;
    void setBackColor(Colour value) override
    {
        colour = value;
        changes.push_back(value);
    }
};

struct FakeButton : CommandButton
{
    bool enabled = true; // as the window makes its buttons
    int sets = 0;
    void setEnabled(bool value) override
    {
        enabled = value;
        ++sets;
    }
};

struct FakeScrollBar : ScrollBar
{
    std::int16_t position = 200;
    mutable int reads = 0;
    std::int16_t value() const override
    {
        ++reads;
        return position;
    }
};

struct FakeDesktop : Desktop
{
    std::vector<std::string> messages;
    std::vector<std::string> errors;
    std::vector<Audience> audiences; // whom each error was reported to
    std::vector<std::string> warnings;
    std::optional<ExitStatus> status;
    // Runs while an error's report is up, as an operator reading it would see the panel.
    std::function<void()> whileReported;
    void showMessage(std::string_view text) override { messages.emplace_back(text); }
    void reportRunTimeError(std::string_view message, Audience audience) override
    {
        errors.emplace_back(message);
        audiences.push_back(audience);
        if (whileReported)
            whileReported();
    }
    void warn(std::string_view line) override { warnings.emplace_back(line); }
    void endProgram(ExitStatus value) override { status = value; }
};

} // namespace meridan::testing
