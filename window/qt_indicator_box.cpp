#include "qt_indicator_box.h"

#include "lamp_box.h"

#include <QColor>

namespace meridan {

void QtIndicatorBox::setBackColor(Colour colour)
{
    widget.setColour(QColor(redOf(colour), greenOf(colour), blueOf(colour)));
    widget.setAccessibleDescription(colour == LampOn ? "lit" : "dark");
}

} // namespace meridan
