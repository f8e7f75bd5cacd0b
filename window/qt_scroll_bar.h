#pragma once

#include "signal/scroll_bar.h"

namespace meridan {

class BlinkRateBar;

// The blink-rate scroll bar as the logic reads it: the period V in milliseconds.
class QtScrollBar final : public ScrollBar
{
public:
    explicit QtScrollBar(const BlinkRateBar &control) : bar(control) {}
    std::int16_t value() const override;

private:
    const BlinkRateBar &bar;
};

} // namespace meridan
