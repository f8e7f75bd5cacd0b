#pragma once

#include "signal/scroll_bar.h"

#include <QScrollBar>

namespace meridan {

// The blink-rate scroll bar, HScroll1. It holds the blink period V from 1000 ms at its left end
// ("Min", the slowest blinking) to 100 ms at its right end ("Max", the fastest), moving 10 per
// arrow and 100 per page. A Qt scroll bar grows to the right, so it holds the negated period: its
// arrows, track clicks and keys then move the thumb the way they point. Only this class knows
// that; everything else speaks of the period, and so does its value as the logic reads it.
class BlinkRateBar : public QScrollBar, public ScrollBar
{
    Q_OBJECT

public:
    static constexpr int kSlowest = 1000;
    static constexpr int kFastest = 100;
    static constexpr int kArrowStep = 10;
    static constexpr int kPageStep = 100;

    explicit BlinkRateBar(QWidget *parent);

    int period() const;
    // The period, 100 to 1000, as the logic reads it.
    std::int16_t value() const override { return static_cast<std::int16_t>(period()); }
    // Moves the thumb to `period`, held within kFastest to kSlowest.
    void setPeriod(int period);

signals:
    // The period moved while the thumb is being dragged.
    void scrolled();
    // The period changed: by an arrow, a track click, a key or a program, or by a drag that has
    // ended away from where it began.
    void changed();

private:
    int periodAtPress = kStartPeriod;
};

} // namespace meridan
