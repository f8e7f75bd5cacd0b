#pragma once

#include "signal/indicator_box.h"

namespace meridan {

class LampBox;

// An indicator box drawn by a LampBox widget.
class QtIndicatorBox final : public IndicatorBox
{
public:
    explicit QtIndicatorBox(LampBox &box) : widget(box) {}
    void setBackColor(Colour colour) override;

private:
    LampBox &widget;
};

} // namespace meridan
