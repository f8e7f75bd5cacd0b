#include "lamp_box_accessible.h"

#include "accessible_factory.h"
#include "lamp_box.h"

namespace meridan {

LampBoxAccessible::LampBoxAccessible(LampBox *box) : QAccessibleWidget(box, QAccessible::Border) { }

void LampBoxAccessible::install()
{
    installAccessibleFactory<LampBox, LampBoxAccessible>();
}

QString LampBoxAccessible::text(QAccessible::Text type) const
{
    if (type == QAccessible::Description)
        return static_cast<const LampBox *>(widget())->state();
    return QAccessibleWidget::text(type);
}

} // namespace meridan
