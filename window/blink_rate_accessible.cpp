#include "window/blink_rate_accessible.h"

#include "window/accessible/accessible_factory.h"
#include "window/blink_rate_bar.h"

#include <algorithm>
#include <cmath>

namespace meridan {

BlinkRateAccessible::BlinkRateAccessible(BlinkRateBar *bar)
    : QAccessibleWidget(bar, QAccessible::ScrollBar, "Blink rate")
{
}

void BlinkRateAccessible::install()
{
    installAccessibleFactory<BlinkRateBar, BlinkRateAccessible>();
}

BlinkRateBar *BlinkRateAccessible::bar() const
{
    return static_cast<BlinkRateBar *>(widget());
}

void *BlinkRateAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::ValueInterface)
        return static_cast<QAccessibleValueInterface *>(this);
    return QAccessibleWidget::interface_cast(type);
}

QString BlinkRateAccessible::text(QAccessible::Text type) const
{
    if (type == QAccessible::Value)
        return QString("%1 ms").arg(bar()->period());
    if (type == QAccessible::Description)
        return "The blink period: each lamp is dark for this long and lit for half of it";
    return QAccessibleWidget::text(type);
}

QVariant BlinkRateAccessible::currentValue() const
{
    return bar()->period();
}

void BlinkRateAccessible::setCurrentValue(const QVariant &value)
{
    // Clients send integers, doubles or text; anything that is not a number leaves the bar as it
    // is, and a number is held within range before it becomes an int.
    bool isNumber = false;
    const double period = value.toDouble(&isNumber);
    if (!isNumber || std::isnan(period))
        return;
    const double held = std::clamp(
            period, double { BlinkRateBar::kFastest }, double { BlinkRateBar::kSlowest });
    bar()->setPeriod(static_cast<int>(std::lround(held)));
}

QVariant BlinkRateAccessible::maximumValue() const
{
    return BlinkRateBar::kSlowest;
}

QVariant BlinkRateAccessible::minimumValue() const
{
    return BlinkRateBar::kFastest;
}

QVariant BlinkRateAccessible::minimumStepSize() const
{
    return BlinkRateBar::kArrowStep;
}

} // namespace meridan
