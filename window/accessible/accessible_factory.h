#pragma once

#include <QAccessible>
#include <QObject>
#include <QString>

namespace meridan {

// Makes every `Widget` speak to assistive technology through `Interface` (constructed from the
// widget), before any stock interface of its base classes. Installed once, however often called:
// call it from the widget's constructor, before the widget can raise an accessibility event.
template <class Widget, class Interface> void installAccessibleFactory()
{
    static const bool installed = [] {
        QAccessible::installFactory([](const QString &className, QObject *object) {
            return className == QLatin1String(Widget::staticMetaObject.className())
                    ? static_cast<QAccessibleInterface *>(
                            new Interface(static_cast<Widget *>(object)))
                    : nullptr;
        });
        return true;
    }();
    (void)installed;
}

} // namespace meridan
