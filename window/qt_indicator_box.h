#pragma once

#include "indicator_box.h"

class QWidget;

namespace meridan {

// An indicator box drawn by a Qt widget: the colour fills the widget's background.
class QtIndicatorBox final : public IndicatorBox
{
public:
    explicit QtIndicatorBox(QWidget &box) : widget(box) { }
    void setBackColor(Colour colour) override;

private:
    QWidget &widget;
};

} // namespace meridan
