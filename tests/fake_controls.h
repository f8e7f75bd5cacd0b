#pragma once

#include "colour.h"
#include "command_button.h"
#include "desktop.h"
#include "indicator_box.h"
#include "scroll_bar.h"

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
    bool enabled = true;
    void setEnabled(bool value) override { enabled = value; }
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
    std::optional<ExitStatus> status;
    void showMessage(std::string_view text) override { messages.emplace_back(text); }
    void reportRunTimeError(std::string_view message) override { errors.emplace_back(message); }
    void endProgram(ExitStatus value) override { status = value; }
};

} // namespace meridan::testing
