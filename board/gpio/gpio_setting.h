#pragma once

#include "board/line_setting.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace meridan {

// "gpio:[CHIP,]out0=LINE,out1=LINE,in0=LINE,in1=LINE[,bias=pull-up|pull-down|none][,active-low]
//  [,out-active-low][,debounce=MS]": two lamps and two switches on Linux GPIO. CHIP is a chip's
// name (gpiochip0), number (0), path (/dev/gpiochip0) or label as gpiodetect prints it
// (pinctrl-rp1); each LINE is an offset on that chip or the name the kernel reports for it
// (GPIO17). Without CHIP every line is given by name, and each name is looked up on every chip,
// so the four lines may be on different chips. bias, polarity and debounce apply to the two
// inputs; out-active-low makes the outputs drive their lines low to light a lamp.
struct GpioSetting
{
    static constexpr std::string_view kPrefix = "gpio:";
    static constexpr std::string_view kAccepted =
            "gpio:[CHIP,]out0=LINE,out1=LINE,in0=LINE,in1=LINE[,bias=pull-up|pull-down|none]"
            "[,active-low][,out-active-low][,debounce=MS], where CHIP is a chip's name, number, "
            "path or label, and a LINE is an offset on the chip or a line's name (the only form "
            "without CHIP)";

    std::string chip; // a path under /dev, e.g. /dev/gpiochip0; empty where no path is given
    std::array<std::uint32_t, 2> outputs {}; // line offsets of output 0 and output 1
    std::array<std::uint32_t, 2> inputs {}; // line offsets of input 0 and input 1
    Bias bias = Bias::AsIs;
    bool activeLow = false; // the inputs'
    std::uint32_t debounceMs = 0;
    // Lines given by name, resolved when the board opens: out0, out1, in0, in1 in that order;
    // empty where a line is given by its offset.
    std::array<std::string, 4> names {};
    bool outActiveLow = false;
    // The chip's label (pinctrl-rp1), where the chip is given by it rather than by a path; the
    // chip is then found among the chips when the board opens.
    // Its initializer lets the tables of settings leave it out without a warning.
    std::string label {}; // NOLINT(readability-redundant-member-init)
    bool operator==(const GpioSetting &) const = default;

    // The lines' offsets as out0, out1, in0, in1.
    std::array<std::uint32_t, 4> lines() const
    {
        return { outputs[0], outputs[1], inputs[0], inputs[1] };
    }
};

// Reads what follows "gpio:"; what is wrong if it is malformed.
std::variant<GpioSetting, std::string> parseGpioSetting(std::string_view text);

} // namespace meridan
