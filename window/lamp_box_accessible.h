#pragma once

#include <QAccessibleWidget>

namespace meridan {

class LampBox;

// What assistive technology sees of a lamp's box: its name, and as its description what the box
// shows now ("lit" or "dark"), read from the box whenever asked.
class LampBoxAccessible : public QAccessibleWidget
{
public:
    explicit LampBoxAccessible(LampBox *box);

    // Makes every LampBox speak through this class, before the stock frame's interface.
    static void install();

    QString text(QAccessible::Text type) const override;
};

} // namespace meridan
