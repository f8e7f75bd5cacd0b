#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace meridan {

// The board library's setting, MERIDAN_BOARD, read when the board is opened:
//
//   unset, empty or "sim"  the simulated board, attached
//   "sim,record=FILE"      the same, appending every output write to FILE, one a line
//   "sim-unplugged"        the simulated board, reported as not attached
//   "gpio:CHIP,out0=LINE,out1=LINE,in0=LINE,in1=LINE[,bias=pull-up|pull-down|none]
//         [,active-low][,debounce=MS]"
//                          two lamps and two switches on a Linux GPIO chip: CHIP is a name such
//                          as gpiochip0 or a path such as /dev/gpiochip0; each LINE is an offset
//                          on that chip or the name the chip reports for it (GPIO17); bias,
//                          polarity and debounce apply to the two inputs
struct SimulatedSetting
{
    bool attached = true;
    std::string record; // where output writes are appended, or empty
    bool operator==(const SimulatedSetting &) const = default;
};

enum class Bias { AsIs, PullUp, PullDown, Disabled };

struct GpioSetting
{
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

// What is wrong with a setting, in words a person can act on.
struct SettingError
{
    std::string message;
};

using BoardSetting = std::variant<SimulatedSetting, GpioSetting, SettingError>;

inline constexpr std::size_t kLongestSetting = 256;
inline constexpr std::uint32_t kLongestDebounceMs = 1000;
inline constexpr std::string_view kAcceptedSettings =
        "sim (the default, also when unset or empty), sim,record=FILE, sim-unplugged, or "
        "gpio:CHIP,out0=LINE,out1=LINE,in0=LINE,in1=LINE[,bias=pull-up|pull-down|none]"
        "[,active-low][,debounce=MS], where a LINE is an offset on the chip or its name";

// Reads a setting. Never throws: a malformed one gives a SettingError that names what is wrong
// and what is accepted.
BoardSetting parseBoardSetting(std::string_view text);

} // namespace meridan
