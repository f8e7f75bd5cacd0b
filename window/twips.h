#pragma once

#include <QRect>

namespace meridan {

// The window's design values are in twips, 15 to a logical pixel; Qt scales logical pixels on
// high-density screens. Every design value is a multiple of 15, and a value that is not fails to
// compile.
consteval int twips(int value)
{
    if (value % 15 != 0)
        throw "a design value in twips must be a multiple of 15";
    return value / 15;
}

consteval QRect twipsRect(int left, int top, int width, int height)
{
    return { twips(left), twips(top), twips(width), twips(height) };
}

} // namespace meridan
