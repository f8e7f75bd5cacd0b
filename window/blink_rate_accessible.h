#pragma once

#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QScrollBar>

namespace meridan {

// The blink-rate scroll bar. A class of its own so that assistive technology asks
// BlinkRateAccessible about it before any stock scroll bar interface.
class BlinkRateBar : public QScrollBar
{
    Q_OBJECT

public:
    // Installs BlinkRateAccessible before the bar can raise its first accessibility event.
    BlinkRateBar(Qt::Orientation orientation, QWidget *parent);
};

// What assistive technology sees of the blink-rate scroll bar: "Blink rate", with the period V
// in milliseconds as its value, from 100 to 1000. The Qt scroll bar holds the negated value (so
// that its arrows point the right way), which a screen reader must never hear.
class BlinkRateAccessible : public QAccessibleWidget, public QAccessibleValueInterface
{
public:
    explicit BlinkRateAccessible(QScrollBar *bar);

    // Makes every BlinkRateBar speak through this class.
    static void install();

    void *interface_cast(QAccessible::InterfaceType type) override;
    QString text(QAccessible::Text type) const override;

    QVariant currentValue() const override;
    void setCurrentValue(const QVariant &value) override;
    QVariant maximumValue() const override;
    QVariant minimumValue() const override;
    QVariant minimumStepSize() const override;

private:
    QScrollBar *bar() const;
};

} // namespace meridan
