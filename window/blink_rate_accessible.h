#pragma once

#include <QAccessibleValueInterface>
#include <QAccessibleWidget>

namespace meridan {

class BlinkRateBar;

// What assistive technology sees of the blink-rate scroll bar: "Blink rate", with the period V
// in milliseconds as its value, from 100 to 1000.
class BlinkRateAccessible : public QAccessibleWidget, public QAccessibleValueInterface
{
public:
    explicit BlinkRateAccessible(BlinkRateBar *bar);

    // Makes every BlinkRateBar speak through this class, before any stock scroll bar interface.
    static void install();

    void *interface_cast(QAccessible::InterfaceType type) override;
    QString text(QAccessible::Text type) const override;

    QVariant currentValue() const override;
    // Takes any number an assistive client sends; one outside 100 to 1000 goes to the nearer end.
    void setCurrentValue(const QVariant &value) override;
    QVariant maximumValue() const override;
    QVariant minimumValue() const override;
    QVariant minimumStepSize() const override;

private:
    BlinkRateBar *bar() const;
};

} // namespace meridan
