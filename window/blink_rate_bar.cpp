#include "window/blink_rate_bar.h"

#include "window/blink_rate_accessible.h"

#include <algorithm>

namespace meridan {

BlinkRateBar::BlinkRateBar(QWidget *parent) : QScrollBar(Qt::Horizontal, parent)
{
    BlinkRateAccessible::install(); // before the bar can raise its first accessibility event
    setRange(-kSlowest, -kFastest);
    setSingleStep(kArrowStep);
    setPageStep(kPageStep);
    setValue(-kStartPeriod);
    // A Qt scroll bar inverts its keys by default (for scrolling views); here the arrow keys must
    // move the thumb the way they point, like the arrow buttons.
    setInvertedControls(false);

    connect(this, &QScrollBar::valueChanged, this,
            [this] { emit isSliderDown() ? scrolled() : changed(); });
    connect(this, &QScrollBar::sliderPressed, this, [this] { periodAtPress = period(); });
    connect(this, &QScrollBar::sliderReleased, this, [this] {
        if (period() != periodAtPress)
            emit changed();
    });
}

int BlinkRateBar::period() const
{
    return -QScrollBar::value();
}

void BlinkRateBar::setPeriod(int period)
{
    // Held within range before it is negated: the negation of the most negative int overflows.
    setValue(-std::clamp(period, kFastest, kSlowest));
}

} // namespace meridan
