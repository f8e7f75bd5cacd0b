#include "board/board_setting.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

namespace meridan::testing {
namespace {

    using ::testing::HasSubstr;

    GpioSetting gpio(std::string chip, std::uint32_t out0, std::uint32_t out1, std::uint32_t in0,
            std::uint32_t in1, Bias bias = Bias::AsIs, bool activeLow = false, std::uint32_t ms = 0)
    {
        return { std::move(chip), { out0, out1 }, { in0, in1 }, bias, activeLow, ms };
    }

    GpioSetting named(GpioSetting setting, std::array<std::string, 4> names)
    {
        setting.names = std::move(names);
        return setting;
    }

    FirmataPin D(std::uint8_t number)
    {
        return { false, number };
    }
    FirmataPin A(std::uint8_t channel)
    {
        return { true, channel };
    }

    FirmataSetting firmata(std::string port, std::array<FirmataPin, 4> pins, Bias bias = Bias::AsIs,
            bool activeLow = false, bool outActiveLow = false, std::int32_t baud = 0)
    {
        FirmataSetting setting;
        setting.port = std::move(port);
        setting.pins = pins;
        setting.bias = bias;
        setting.activeLow = activeLow;
        setting.outActiveLow = outActiveLow;
        setting.baud = baud;
        return setting;
    }
    FirmataSetting onNetwork(std::string host, std::uint16_t port)
    {
        FirmataSetting setting = firmata("", { D(13), D(12), D(2), D(3) });
        setting.host = std::move(host);
        setting.tcpPort = port;
        return setting;
    }
    FirmataSetting debounced(FirmataSetting setting, std::uint32_t ms)
    {
        setting.debounceMs = ms;
        return setting;
    }

    GpioSetting outActiveLow(GpioSetting setting)
    {
        setting.outActiveLow = true;
        return setting;
    }

    GpioSetting labelled(GpioSetting setting, std::string label)
    {
        setting.label = std::move(label);
        return setting;
    }

    TEST(BoardSettingTest, EveryAcceptedFormIsRead)
    {
        const std::pair<std::string, BoardSetting> table[] = {
            { "", SimulatedSetting { true, {} } },
            { "sim", SimulatedSetting { true, {} } },
            { "sim-unplugged", SimulatedSetting { false, {} } },
            { "sim,record=/tmp/writes", SimulatedSetting { true, "/tmp/writes" } },
            { "gpio:gpiochip0,out0=17,out1=27,in0=22,in1=23",
                    gpio("/dev/gpiochip0", 17, 27, 22, 23) },
            { "gpio:/dev/gpiochip3,in1=4,in0=3,out1=2,out0=1", gpio("/dev/gpiochip3", 1, 2, 3, 4) },
            { "gpio:gpiochip0,out0=17,out1=27,in0=22,in1=23,bias=pull-up,active-low,debounce=10",
                    gpio("/dev/gpiochip0", 17, 27, 22, 23, Bias::PullUp, true, 10) },
            { "gpio:gpiochip12,out0=0,out1=1,in0=2,in1=3,bias=pull-down",
                    gpio("/dev/gpiochip12", 0, 1, 2, 3, Bias::PullDown) },
            { "gpio:gpiochip1,out0=0,out1=1,in0=2,in1=3,bias=none,debounce=1000",
                    gpio("/dev/gpiochip1", 0, 1, 2, 3, Bias::Disabled, false, 1000) },
            // Lines by the names the chip reports, alone or beside offsets.
            { "gpio:gpiochip0,out0=GPIO17,out1=GPIO27,in0=GPIO22,in1=GPIO23",
                    named(gpio("/dev/gpiochip0", 0, 0, 0, 0),
                            { "GPIO17", "GPIO27", "GPIO22", "GPIO23" }) },
            { "gpio:gpiochip0,out0=17,out1=P9_12,in0=_sw1,in1=23",
                    named(gpio("/dev/gpiochip0", 17, 0, 0, 23), { "", "P9_12", "_sw1", "" }) },
            // The chip by its number or by the label gpiodetect prints; or no chip at all, every
            // line by its name, found on whichever chip has it.
            { "gpio:0,out0=17,out1=27,in0=22,in1=23", gpio("/dev/gpiochip0", 17, 27, 22, 23) },
            { "gpio:pinctrl-rp1,out0=17,out1=27,in0=22,in1=23",
                    labelled(gpio("", 17, 27, 22, 23), "pinctrl-rp1") },
            { "gpio:gpio-sim.0-node0,out0=GPIO17,out1=1,in0=2,in1=3",
                    labelled(named(gpio("", 0, 1, 2, 3), { "GPIO17", "", "", "" }),
                            "gpio-sim.0-node0") },
            { "gpio:out0=GPIO17,out1=GPIO27,in0=GPIO22,in1=GPIO23,bias=pull-up,active-low",
                    named(gpio("", 0, 0, 0, 0, Bias::PullUp, true),
                            { "GPIO17", "GPIO27", "GPIO22", "GPIO23" }) },
            { "gpio:in1=SW2,in0=SW1,out1=RELAY2,out0=RELAY1",
                    named(gpio("", 0, 0, 0, 0), { "RELAY1", "RELAY2", "SW1", "SW2" }) },
            // Lamps that light on low (relay modules); the inputs' polarity by its explicit name.
            { "gpio:gpiochip0,out0=17,out1=27,in0=22,in1=23,out-active-low",
                    outActiveLow(gpio("/dev/gpiochip0", 17, 27, 22, 23)) },
            { "gpio:gpiochip0,out0=17,out1=27,in0=22,in1=23,in-active-low,out-active-low",
                    outActiveLow(gpio("/dev/gpiochip0", 17, 27, 22, 23, Bias::AsIs, true)) },
            { "gpio:out0=GPIO17,out1=GPIO27,in0=GPIO22,in1=GPIO23,out-active-low",
                    outActiveLow(named(
                            gpio("", 0, 0, 0, 0), { "GPIO17", "GPIO27", "GPIO22", "GPIO23" })) },
            // An Arduino: pins as the board prints them, the port by name or path.
            { "firmata:ttyACM0,out0=13,out1=D12,in0=2,in1=A0",
                    firmata("/dev/ttyACM0", { D(13), D(12), D(2), A(0) }) },
            { "firmata:/dev/serial/by-id/usb-Arduino_Uno_1-if00,in1=3,in0=2,out1=12,out0=13,"
              "bias=pull-up,active-low",
                    firmata("/dev/serial/by-id/usb-Arduino_Uno_1-if00",
                            { D(13), D(12), D(2), D(3) }, Bias::PullUp, true) },
            { "firmata:ttyUSB0,out0=A1,out1=A2,in0=A3,in1=A5,bias=none",
                    firmata("/dev/ttyUSB0", { A(1), A(2), A(3), A(5) }, Bias::Disabled) },
            { "firmata:ttyACM0,out0=7,out1=8,in0=2,in1=3,bias=pull-up,in-active-low,out-active-low",
                    firmata("/dev/ttyACM0", { D(7), D(8), D(2), D(3) }, Bias::PullUp, true, true) },
            // ConfigurableFirmata's example runs its port at 115200.
            { "firmata:ttyACM0,out0=13,out1=12,in0=2,in1=3,baud=115200",
                    firmata("/dev/ttyACM0", { D(13), D(12), D(2), D(3) }, Bias::AsIs, false, false,
                            115200) },
            { "firmata:ttyUSB0,baud=9600,out0=13,out1=12,in0=2,in1=3",
                    firmata("/dev/ttyUSB0", { D(13), D(12), D(2), D(3) }, Bias::AsIs, false, false,
                            9600) },
            { "firmata:ttyACM0,out0=7,out1=8,in0=2,in1=3,out-active-low",
                    firmata("/dev/ttyACM0", { D(7), D(8), D(2), D(3) }, Bias::AsIs, false, true) },
            { "firmata:ttyACM0,out0=13,out1=12,in0=2,in1=3,debounce=25",
                    debounced(firmata("/dev/ttyACM0", { D(13), D(12), D(2), D(3) }), 25) },
            // A board on the network: a name, an IPv4 or an IPv6 address; StandardFirmataWiFi's
            // port unless another is given.
            { "firmata:tcp://192.168.1.50:3030,out0=13,out1=12,in0=2,in1=3",
                    onNetwork("192.168.1.50", 3030) },
            { "firmata:tcp://arduino-wifi.local,out0=13,out1=12,in0=2,in1=3",
                    onNetwork("arduino-wifi.local", 3030) },
            { "firmata:tcp://[fe80::1%wlan0]:27016,out0=13,out1=12,in0=2,in1=3",
                    onNetwork("fe80::1%wlan0", 27016) },
            { "firmata:tcp://[::1],out0=13,out1=12,in0=2,in1=3", onNetwork("::1", 3030) },
        };
        for (const auto &[text, expected] : table) {
            SCOPED_TRACE(text);
            const BoardSetting read = parseBoardSetting(text);
            if (const auto *error = std::get_if<SettingError>(&read)) {
                ADD_FAILURE() << error->message;
            } else if (const auto *sim = std::get_if<SimulatedSetting>(&expected)) {
                EXPECT_EQ(std::get<SimulatedSetting>(read), *sim);
            } else if (const auto *firmata = std::get_if<FirmataSetting>(&expected)) {
                EXPECT_EQ(std::get<FirmataSetting>(read), *firmata);
            } else {
                EXPECT_EQ(std::get<GpioSetting>(read), std::get<GpioSetting>(expected));
            }
        }
    }

    TEST(BoardSettingTest, EveryMalformedSettingSaysWhatIsWrongAndWhatIsAccepted)
    {
        const std::string lines = "out0=1,out1=2,in0=3,in1=4";
        const std::pair<std::string, std::string> table[] = {
            { "simulated", "\"simulated\", which is no board" },
            { "SIM", "\"SIM\", which is no board" },
            { "sim,record=", "names no file to record the output writes in" },
            { " sim", "a space at position 1" },
            { "sim\n", "not printable ASCII (byte 0x0A) at position 4" },
            { "sim\xc3\xa9", "not printable ASCII (byte 0xC3) at position 4" },
            { std::string("sim\0x", 5), "a NUL character at position 4" },
            { std::string(257, 's'), "257 characters long, more than the 256" },
            { "gpio:", "names no GPIO chip" },
            { "gpio:," + lines, "names no GPIO chip" },
            { "gpio:dev/gpiochip0," + lines, "is neither a chip name" },
            { "gpio:..," + lines, "is neither a chip name" },
            { "gpio:out0=17,out1=GPIO27,in0=GPIO22,in1=GPIO23",
                    "without a chip, each line is given by its name (GPIO17), so that it can be "
                    "found on any chip; out0=17 is an offset" },
            { "gpio:" + lines, "out0=1 is an offset" },
            { "gpio:out-active-low,out0=GPIO17,out1=GPIO27,in0=GPIO22,in1=GPIO23",
                    "\"out-active-low\" is an option, not a GPIO chip: the chip, where one is "
                    "given, comes first" },
            { "gpio:out0=A,out1=B,in0=C,in1=C", "line \"C\" is given for both in0 and in1" },
            { "gpio:/dev/../etc/passwd," + lines, "is neither a chip name" },
            { "gpio:gpiochip0,,", "an empty part between commas (part 2)" },
            { "gpio:gpiochip0," + lines + ",", "an empty part between commas (part 6)" },
            { "gpio:gpiochip0,out0=1,out1=2,in0=3", "in1 is missing" },
            { "gpio:gpiochip0", "out0 is missing" },
            { "gpio:gpiochip0,out0=1x,out1=2,in0=3,in1=4",
                    "out0 must be an offset (a whole number) or a line's name, not \"1x\"" },
            { "gpio:gpiochip0,out0=GPIO17,out1=2,in0=3,in1=GPIO17",
                    "line \"GPIO17\" is given for both out0 and in1" },
            { "gpio:gpiochip0,out0=-1,out1=2,in0=3,in1=4", "not \"-1\"" },
            { "gpio:gpiochip0,out0=,out1=2,in0=3,in1=4", "not \"\"" },
            { "gpio:gpiochip0,out0=99999999999,out1=2,in0=3,in1=4", "not \"99999999999\"" },
            { "gpio:gpiochip0,out0=1,out1=2,in0=3,in1=4,out0=5", "\"out0\" is given twice" },
            { "gpio:gpiochip0,out0=1,out1=2,in0=3,in1=1", "line 1 is given for both out0 and in1" },
            { "gpio:gpiochip0," + lines + ",bias=up", "bias is pull-up, pull-down or none" },
            { "gpio:gpiochip0," + lines + ",bias=none,bias=none", "\"bias\" is given twice" },
            { "gpio:gpiochip0," + lines + ",debounce=1001", "from 0 to 1000, not \"1001\"" },
            { "gpio:gpiochip0," + lines + ",debounce=5ms", "not \"5ms\"" },
            { "gpio:gpiochip0," + lines + ",active-high", "\"active-high\" is not a GPIO option" },
            { "gpio:gpiochip0," + lines + ",active-low=1",
                    "\"active-low=1\" is not a GPIO option" },
            { "gpio:gpiochip0," + lines + ",active-low,active-low", "is given twice" },
            { "gpio:gpiochip0," + lines + ",active-low,in-active-low",
                    "the inputs' polarity (active-low, or in-active-low) is given twice" },
            { "gpio:gpiochip0," + lines + ",out-active-low,out-active-low",
                    "\"out-active-low\" is given twice" },
            { "gpio:gpiochip0," + lines + ",out-active-low=1",
                    "\"out-active-low=1\" is not a GPIO option" },
            { "gpio:gpiochip0," + lines + ",out-active-high",
                    "\"out-active-high\" is not a GPIO option" },
            { "firmata:", "names no serial port" },
            { "firmata:ttyACM0", "out0 is missing" },
            { "firmata:out0=13,out1=12,in0=2,in1=3", "names no serial port" },
            { "firmata:ttyACM0," + lines + ",in-active-low,in-active-low", "is given twice" },
            { "firmata:ttyACM0," + lines + ",out-active-low,out-active-low",
                    "\"out-active-low\" is given twice" },
            { "firmata:tty/ACM0," + lines, "neither a port name like ttyACM0" },
            { "firmata:/dev/../dev/ttyACM0," + lines, "neither a port name" },
            { "firmata:ttyACM0,out0=B2,out1=3,in0=4,in1=5",
                    "the pin of out0 is a pin as the board prints it (13, D13, A0), not \"B2\"" },
            { "firmata:ttyACM0,out0=D128,out1=3,in0=4,in1=5", "not \"D128\"" },
            { "firmata:ttyACM0,out0=13,out1=D13,in0=4,in1=5",
                    "pin D13 is given for both out0 and out1" },
            { "firmata:ttyACM0," + lines + ",bias=pull-down",
                    "an Arduino's pins have no pull-down resistor" },
            { "firmata:ttyACM0," + lines + ",bias=up", "bias is pull-up or none" },
            { "firmata:ttyACM0," + lines + ",debounce=1001",
                    "debounce is a whole number of milliseconds from 0 to 1000, not \"1001\"" },
            { "firmata:tcp://," + lines, "the address \"\" names no host" },
            { "firmata:tcp://host:0," + lines,
                    "the TCP port of \"host:0\" is a number from 1 to 65535, not \"0\"" },
            { "firmata:tcp://host:65536," + lines, "not \"65536\"" },
            { "firmata:tcp://host:," + lines, "not \"\"" },
            { "firmata:tcp://fe80::1:3030," + lines, "an IPv6 address goes in brackets" },
            { "firmata:tcp://[fe80::1:3030," + lines, "opens a bracket it does not close" },
            { "firmata:tcp://[board]:3030," + lines, "has no IPv6 address in its brackets" },
            { "firmata:tcp://[::1]x," + lines, "has \"x\" after its IPv6 address" },
            { "firmata:tcp://host/path:3030," + lines, "names no host" },
            { "firmata:tcp://host:3030," + lines + ",baud=57600",
                    "baud=57600 is for a serial port" },
            { "firmata:ttyACM0," + lines + ",baud=100000",
                    "baud is a standard serial speed (1200, 2400, 4800, 9600, 19200, 38400, 57600, "
                    "115200 and 230400), not \"100000\"" },
            { "firmata:ttyACM0," + lines + ",baud=", "not \"\"" },
            { "firmata:ttyACM0," + lines + ",baud=57600,baud=115200", "\"baud\" is given twice" },
            { "gpio:gpiochip0," + lines + ",baud=9600", "\"baud=9600\" is not a GPIO option" },
        };
        for (const auto &[text, problem] : table) {
            SCOPED_TRACE(text);
            const BoardSetting read = parseBoardSetting(text);
            ASSERT_TRUE(std::holds_alternative<SettingError>(read));
            const std::string &message = std::get<SettingError>(read).message;
            EXPECT_THAT(message, HasSubstr(problem));
            EXPECT_THAT(message, HasSubstr("accepted: sim (the default"));
            // Nothing that is not printable is echoed back.
            for (const char c : message)
                EXPECT_TRUE(c >= 0x20 && c <= 0x7E)
                        << "byte " << int(static_cast<unsigned char>(c));
        }
    }

} // namespace
} // namespace meridan::testing
