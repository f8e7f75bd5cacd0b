#include "window/qt_indicator_box.h"

#include "window/lamp_box.h"

#include <QColor>

namespace meridan {

void QtIndicatorBox::setBackColor(Colour colour)
{
    widget.setColour(QColor(redOf(colour), greenOf(colour), blueOf(colour)));
    static const QString lit = QStringLiteral("lit");
    static const QString dark = QStringLiteral("dark");
    widget.setState(colour == LampOn ? lit : dark);
}

} // namespace meridan
