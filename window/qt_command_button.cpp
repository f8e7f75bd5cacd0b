#include "window/qt_command_button.h"

#include <QAbstractButton>

namespace meridan {

void QtCommandButton::setEnabled(bool enabled)
{
    button.setEnabled(enabled);
}

} // namespace meridan
