#include "qt_indicator_box.h"

#include <QColor>
#include <QPalette>
#include <QWidget>

namespace meridan {

void QtIndicatorBox::setBackColor(Colour colour)
{
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, QColor(redOf(colour), greenOf(colour), blueOf(colour)));
    widget.setPalette(palette);
}

} // namespace meridan
