#pragma once

#include "signal/colour.h"

namespace meridan {

// A lamp's indicator box in the window; its only changing property is its background colour.
class IndicatorBox
{
public:
    virtual ~IndicatorBox() = default;
    virtual void setBackColor(Colour colour) = 0;
};

} // namespace meridan
