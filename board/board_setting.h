#pragma once

#include "board/firmata/firmata_setting.h"
#include "board/gpio/gpio_setting.h"
#include "board/simulated/simulated_setting.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

namespace meridan {

// The board library's setting, MERIDAN_BOARD, read when the board is opened. Each board's own
// folder reads its words; this is the one table of the boards there are:
//
//   unset, empty, "sim...": the simulated board (simulated/simulated_setting.h)
//   "gpio:..."            : lamps and switches on a Linux GPIO chip (gpio/gpio_setting.h)
//   "firmata:..."         : an Arduino running StandardFirmata on a serial port
//                           (firmata/firmata_setting.h)
//
// A board's setting type names its prefix and its accepted form; its folder reads the setting and
// makes the board from it with makeBoard below. A further board is one more folder, one more
// alternative of BoardSetting, one more row of the table in board_setting.cpp and one more
// makeBoard here.

// What is wrong with a setting, in words a person can act on.
struct SettingError
{
    std::string message;
};

using BoardSetting = std::variant<SimulatedSetting, GpioSetting, FirmataSetting, SettingError>;

inline constexpr std::size_t kLongestSetting = 256;

class BoardLink;
struct BoardContext;

// Each board's folder makes its board from its setting; each may raise RunTimeError.
std::unique_ptr<BoardLink> makeBoard(const SimulatedSetting &setting, const BoardContext &context);
std::unique_ptr<BoardLink> makeBoard(const GpioSetting &setting, const BoardContext &context);
std::unique_ptr<BoardLink> makeBoard(const FirmataSetting &setting, const BoardContext &context);

// Every accepted form, for the error that lists them.
std::string acceptedSettings();

// Reads a setting. Never throws: a malformed one gives a SettingError that names what is wrong
// and what is accepted.
BoardSetting parseBoardSetting(std::string_view text);

} // namespace meridan
