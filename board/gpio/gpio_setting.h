#pragma once

#include "line_setting.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace meridan {

// "gpio:CHIP,out0=LINE,out1=LINE,in0=LINE,in1=LINE[,bias=pull-up|pull-down|none][,active-low]
//  [,debounce=MS]": two lamps and two switches on a Linux GPIO chip. CHIP is a name such as
// gpiochip0 or a path such as /dev/gpiochip0; each LINE is an offset on that chip or the name the
// chip reports for it (GPIO17); bias, polarity and debounce apply to the two inputs.
struct GpioSetting
{
    static constexpr std::string_view kPrefix = "gpio:";
    static constexpr std::string_view kAccepted =
            "gpio:CHIP,out0=LINE,out1=LINE,in0=LINE,in1=LINE[,bias=pull-up|pull-down|none]"
            "[,active-low][,debounce=MS], where a LINE is an offset on the chip or its name";

    std::string chip; // a path under /dev, e.g. /dev/gpiochip0
    std::array<std::uint32_t, 2> outputs {}; // line offsets of output 0 and output 1
    std::array<std::uint32_t, 2> inputs {}; // line offsets of input 0 and input 1
    Bias bias = Bias::AsIs;
    bool activeLow = false;
    std::uint32_t debounceMs = 0;
    // Lines given by name, resolved when the board opens: out0, out1, in0, in1 in that order;
    // empty where a line is given by its offset.
    std::array<std::string, 4> names {};
    bool operator==(const GpioSetting &) const = default;
};

inline constexpr std::uint32_t kLongestDebounceMs = 1000;

// Reads what follows "gpio:"; what is wrong if it is malformed.
std::variant<GpioSetting, std::string> parseGpioSetting(std::string_view text);

} // namespace meridan
