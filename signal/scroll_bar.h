#pragma once

#include <cstdint>

namespace meridan {

// The blink-rate scroll bar as the logic sees it: a value that it reads.
class ScrollBar
{
public:
    virtual ~ScrollBar() = default;
    virtual std::int16_t value() const = 0;
};

} // namespace meridan
