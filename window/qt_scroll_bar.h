#pragma once

#include "scroll_bar.h"

class QScrollBar;

namespace meridan {

// The blink-rate scroll bar. 1000 ("Min", the slowest blinking) is at its left end and 100
// ("Max", the fastest) at its right end. A Qt scroll bar grows to the right, so it holds the
// negated value: its arrows, track clicks and keys then move the thumb the way they point.
class QtScrollBar final : public ScrollBar
{
public:
    static constexpr int kSlowest = 1000;
    static constexpr int kFastest = 100;
    static constexpr int kStart = 200;
    static constexpr int kArrowStep = 10;
    static constexpr int kPageStep = 100;

    // Sets up the Qt scroll bar with the range, start value and steps above.
    explicit QtScrollBar(QScrollBar &control);
    std::int16_t value() const override;
    void setValue(std::int16_t value);

private:
    QScrollBar &bar;
};

} // namespace meridan
