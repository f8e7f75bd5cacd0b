#pragma once

namespace meridan {

// A window button as the logic sees it: it can be enabled or disabled. A disabled button ignores
// clicks and looks disabled.
class CommandButton
{
public:
    virtual ~CommandButton() = default;
    virtual void setEnabled(bool enabled) = 0;
};

} // namespace meridan
