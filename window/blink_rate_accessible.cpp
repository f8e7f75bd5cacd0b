#include "blink_rate_accessible.h"

#include "qt_scroll_bar.h"

#include <QScrollBar>

namespace meridan {

namespace {

    QAccessibleInterface *blinkRateFactory(const QString &className, QObject *object)
    {
        if (className == QLatin1String(BlinkRateBar::staticMetaObject.className()))
            return new BlinkRateAccessible(static_cast<BlinkRateBar *>(object));
        return nullptr;
    }

} // namespace

BlinkRateBar::BlinkRateBar(Qt::Orientation orientation, QWidget *parent)
    : QScrollBar(orientation, parent)
{
    BlinkRateAccessible::install();
}

BlinkRateAccessible::BlinkRateAccessible(QScrollBar *bar)
    : QAccessibleWidget(bar, QAccessible::ScrollBar, "Blink rate")
{
}

void BlinkRateAccessible::install()
{
    static const bool installed = [] {
        QAccessible::installFactory(blinkRateFactory);
        return true;
    }();
    (void)installed;
}

QScrollBar *BlinkRateAccessible::bar() const
{
    return static_cast<QScrollBar *>(widget());
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
        return QString("%1 ms").arg(-bar()->value());
    if (type == QAccessible::Description)
        return "The blink period: each lamp is dark for this long and lit for half of it";
    return QAccessibleWidget::text(type);
}

QVariant BlinkRateAccessible::currentValue() const
{
    return -bar()->value();
}

void BlinkRateAccessible::setCurrentValue(const QVariant &value)
{
    bar()->setValue(-value.toInt());
}

QVariant BlinkRateAccessible::maximumValue() const
{
    return QtScrollBar::kSlowest;
}

QVariant BlinkRateAccessible::minimumValue() const
{
    return QtScrollBar::kFastest;
}

QVariant BlinkRateAccessible::minimumStepSize() const
{
    return QtScrollBar::kArrowStep;
}

} // namespace meridan
