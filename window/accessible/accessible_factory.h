#pragma once

#include <QAccessible>
#include <QAccessibleWidget>
#include <QObject>
#include <QString>

namespace meridan {

// Makes every `Widget` speak to assistive technology through `Interface` (constructed from the
// widget), before any stock interface of its base classes. Installed once, however often called:
// call it from the widget's constructor, before the widget can raise an accessibility event.
template <class Widget, class Interface> void installAccessibleFactory()
{
    static const bool installed = [] {
        QAccessible::installFactory(
                [](const QString &className, QObject *object) -> QAccessibleInterface * {
                    if (className != QLatin1String(Widget::staticMetaObject.className()))
                        return nullptr;
                    return new Interface(static_cast<Widget *>(object));
                });
        return true;
    }();
    (void)installed;
}

// What assistive technology sees of a widget that shows a state: its name, its role `kRole`, and as
// its description the widget's `state()` ("lit", "dark", ...), read from the widget whenever asked.
template <class Widget, QAccessible::Role kRole> class StateAccessible : public QAccessibleWidget
{
public:
    explicit StateAccessible(Widget *widget) : QAccessibleWidget(widget, kRole) {}
    QString text(QAccessible::Text type) const override
    {
        if (type == QAccessible::Description)
            return static_cast<const Widget *>(widget())->state();
        return QAccessibleWidget::text(type);
    }
};

// Tells assistive technology that `object`'s description changed, and only while any listens:
// Qt's own description setter resolves the object's accessible interface at every change, a
// large part of a lamp edge's cost with nothing listening (docs/performance.md).
inline void announceDescriptionChange(QObject *object)
{
    if (QAccessible::isActive()) {
        QAccessibleEvent event(object, QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&event);
    }
}

} // namespace meridan
