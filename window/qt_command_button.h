#pragma once

#include "signal/command_button.h"

class QAbstractButton;

namespace meridan {

// A window button backed by a Qt button; a disabled Qt button ignores clicks and looks disabled.
class QtCommandButton final : public CommandButton
{
public:
    explicit QtCommandButton(QAbstractButton &control) : button(control) {}
    void setEnabled(bool enabled) override;

private:
    QAbstractButton &button;
};

} // namespace meridan
