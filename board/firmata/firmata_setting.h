#pragma once

#include "line_setting.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace meridan {

// A pin as the board's silkscreen prints it: 13 or D13 for a digital pin, A0 for an analog pin
// used as a digital one (found through the firmware's analog mapping when the board opens).
struct FirmataPin
{
    bool analog = false;
    std::uint8_t number = 0; // the digital pin, or the analog channel
    std::string name() const
    {
        std::string text(1, analog ? 'A' : 'D');
        text += std::to_string(number);
        return text;
    }
    bool operator==(const FirmataPin &) const = default;
};

// "firmata:PORT,out0=PIN,out1=PIN,in0=PIN,in1=PIN[,bias=pull-up|none][,active-low]
//  [,out-active-low][,baud=N]": two lamps and two switches on an Arduino running Firmata. PORT is
// a serial port's name (ttyACM0) or path (/dev/serial/by-id/...); bias and active-low apply to the
// two inputs, out-active-low to the two outputs (a relay module that switches on low); baud is the
// port's speed, StandardFirmata's 57600 unless given (ConfigurableFirmata's example runs 115200).
// The speed StandardFirmata runs its serial port at.
inline constexpr std::int32_t kStandardFirmataBaud = 57600;

struct FirmataSetting
{
    static constexpr std::string_view kPrefix = "firmata:";
    static constexpr std::string_view kAccepted =
            "firmata:PORT,out0=PIN,out1=PIN,in0=PIN,in1=PIN[,bias=pull-up|none][,active-low]"
            "[,out-active-low][,baud=N], "
            "where PORT is a serial port (ttyACM0 or a path) and a PIN is as the board prints it "
            "(13, D13, A0)";

    std::string port; // a path, e.g. /dev/ttyACM0
    std::array<FirmataPin, 4> pins {}; // out0, out1, in0, in1
    Bias bias = Bias::AsIs; // AsIs or Disabled: plain inputs; PullUp: the chip's pull-ups
    bool activeLow = false; // the inputs'
    bool outActiveLow = false; // a lamp lights where its pin is driven low
    std::int32_t baud = kStandardFirmataBaud; // the serial port's speed
    bool operator==(const FirmataSetting &) const = default;
};

// Reads what follows "firmata:"; what is wrong if it is malformed.
std::variant<FirmataSetting, std::string> parseFirmataSetting(std::string_view text);

} // namespace meridan
