#include "window/qt_scroll_bar.h"

#include "window/blink_rate_bar.h"

namespace meridan {

std::int16_t QtScrollBar::value() const
{
    return static_cast<std::int16_t>(bar.period()); // 100 to 1000
}

} // namespace meridan
