#include "qt_scroll_bar.h"

#include <QScrollBar>

namespace meridan {

QtScrollBar::QtScrollBar(QScrollBar &control) : bar(control)
{
    bar.setOrientation(Qt::Horizontal);
    bar.setRange(-kSlowest, -kFastest);
    bar.setSingleStep(kArrowStep);
    bar.setPageStep(kPageStep);
    bar.setValue(-kStart);
    // A Qt scroll bar inverts its keys by default (for scrolling views); here the arrow keys must
    // move the thumb the way they point, like the arrow buttons.
    bar.setInvertedControls(false);
}

std::int16_t QtScrollBar::value() const
{
    return static_cast<std::int16_t>(-bar.value());
}

void QtScrollBar::setValue(std::int16_t value)
{
    bar.setValue(-value);
}

} // namespace meridan
