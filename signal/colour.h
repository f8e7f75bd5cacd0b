#pragma once

#include <cstdint>

namespace meridan {

// A colour as the window stores it: 0x00BBGGRR.
using Colour = std::uint32_t;

constexpr Colour rgb(std::uint8_t red, std::uint8_t green, std::uint8_t blue)
{
    return Colour { red } | Colour { green } << 8 | Colour { blue } << 16;
}

constexpr std::uint8_t redOf(Colour colour)
{
    return static_cast<std::uint8_t>(colour & 0xFF);
}
constexpr std::uint8_t greenOf(Colour colour)
{
    return static_cast<std::uint8_t>(colour >> 8 & 0xFF);
}
constexpr std::uint8_t blueOf(Colour colour)
{
    return static_cast<std::uint8_t>(colour >> 16 & 0xFF);
}

inline constexpr Colour LampOn = rgb(0, 255, 0);
inline constexpr Colour LampOff = rgb(255, 255, 255);

static_assert(LampOn == 0x0000FF00 && LampOff == 0x00FFFFFF);

} // namespace meridan
