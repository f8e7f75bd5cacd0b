#include "lamp_box_accessible.h"

#include "lamp_box.h"

namespace meridan {

namespace {

    QAccessibleInterface *lampBoxFactory(const QString &className, QObject *object)
    {
        if (className == QLatin1String(LampBox::staticMetaObject.className()))
            return new LampBoxAccessible(static_cast<LampBox *>(object));
        return nullptr;
    }

} // namespace

LampBoxAccessible::LampBoxAccessible(LampBox *box) : QAccessibleWidget(box, QAccessible::Border) { }

void LampBoxAccessible::install()
{
    static const bool installed = [] {
        QAccessible::installFactory(lampBoxFactory);
        return true;
    }();
    (void)installed;
}

QString LampBoxAccessible::text(QAccessible::Text type) const
{
    if (type == QAccessible::Description)
        return static_cast<const LampBox *>(widget())->state();
    return QAccessibleWidget::text(type);
}

} // namespace meridan
