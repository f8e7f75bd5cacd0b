#pragma once

#include "board/line_setting.h"

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
//  [,out-active-low][,baud=N][,debounce=MS]": two lamps and two switches on an Arduino running
// Firmata. PORT is a serial port's name (ttyACM0) or path (/dev/serial/by-id/...), or
// tcp://HOST:PORT for a board on the network (StandardFirmataWiFi, StandardFirmataEthernet), HOST
// a name, an IPv4 address or an IPv6 one in brackets. bias, active-low and debounce apply to the
// two inputs, out-active-low to the two outputs (a relay module that switches on low); baud is
// the serial port's speed, found by trying StandardFirmata's 57600 and then ConfigurableFirmata's
// 115200 unless given.
inline constexpr std::int32_t kStandardFirmataBaud = 57600;
inline constexpr std::int32_t kConfigurableFirmataBaud = 115200;
// The port StandardFirmataWiFi and StandardFirmataEthernet listen on.
inline constexpr std::uint16_t kFirmataTcpPort = 3030;

struct FirmataSetting
{
    static constexpr std::string_view kPrefix = "firmata:";
    static constexpr std::string_view kNetworkPrefix = "tcp://";
    static constexpr std::string_view kAccepted =
            "firmata:PORT,out0=PIN,out1=PIN,in0=PIN,in1=PIN[,bias=pull-up|none][,active-low]"
            "[,out-active-low][,baud=N][,debounce=MS], "
            "where PORT is a serial port (ttyACM0 or a path) or tcp://HOST:PORT for a board on the "
            "network, and a PIN is as the board prints it (13, D13, A0)";

    std::string port; // a serial port's path, e.g. /dev/ttyACM0; empty for a board on the network
    std::string host; // a board on the network: its name or address (an IPv6 one unbracketed)
    std::uint16_t tcpPort = 0;
    std::array<FirmataPin, 4> pins {}; // out0, out1, in0, in1
    Bias bias = Bias::AsIs; // AsIs or Disabled: plain inputs; PullUp: the chip's pull-ups
    bool activeLow = false; // the inputs'
    bool outActiveLow = false; // a lamp lights where its pin is driven low
    std::int32_t baud = 0; // the serial port's speed; 0: found when the board opens
    std::uint32_t debounceMs = 0; // how long a switch's change must hold before it counts
    bool operator==(const FirmataSetting &) const = default;

    bool onNetwork() const { return !host.empty(); }
    // Where the board is, for messages: the serial port's path, or tcp://HOST:PORT.
    std::string where() const;
};

// Reads what follows "firmata:"; what is wrong if it is malformed.
std::variant<FirmataSetting, std::string> parseFirmataSetting(std::string_view text);

} // namespace meridan
