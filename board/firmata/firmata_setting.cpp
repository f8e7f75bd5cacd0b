#include "firmata_setting.h"

#include <algorithm>

namespace meridan {

namespace {

    // The speeds a Firmata sketch is built with (Firmata.begin), as serial ports take them.
    constexpr std::array<std::uint32_t, 9> kBaudRates = { 1200, 2400, 4800, 9600, 19200, 38400,
        57600, 115200, 230400 };

    // Firmata numbers pins with one 7-bit byte.
    constexpr std::uint32_t kHighestPin = 127;

    bool isPortName(std::string_view name)
    {
        return !name.empty()
                && std::all_of(name.begin(), name.end(),
                        [](char c) {
                            return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')
                                    || (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '.';
                        })
                && name != "." && name != "..";
    }

    std::optional<FirmataPin> pinNamed(std::string_view word)
    {
        FirmataPin pin;
        if (word.starts_with('D')) {
            word.remove_prefix(1);
        } else if (word.starts_with('A')) {
            pin.analog = true;
            word.remove_prefix(1);
        }
        const auto number = wholeNumber(word);
        if (!number || *number > kHighestPin)
            return std::nullopt;
        pin.number = static_cast<std::uint8_t>(*number);
        return pin;
    }

} // namespace

std::variant<FirmataSetting, std::string> parseFirmataSetting(std::string_view text)
{
    FirmataSetting setting;
    const std::string_view port = text.substr(0, text.find(','));
    if (port.empty() || port.find('=') != std::string_view::npos)
        return std::string("MERIDAN_BOARD names no serial port after \"firmata:\"");
    if (auto path = devicePath(port, isPortName))
        setting.port = std::move(*path);
    else
        return "the serial port " + quoted(port)
                + " is neither a port name like ttyACM0 nor an absolute path like /dev/ttyACM0";

    auto split = splitLineSetting(text, "Firmata", false, true);
    if (auto *wrong = std::get_if<std::string>(&split))
        return std::move(*wrong);
    const LineWords &words = std::get<LineWords>(split);

    std::array<std::string, 4> identities;
    for (std::size_t l = 0; l < kLineKeys.size(); ++l) {
        const auto pin = pinNamed(words.lines[l]);
        if (!pin)
            return "the pin of " + std::string(kLineKeys[l])
                    + " is a pin as the board prints it (13, D13, A0), not "
                    + quoted(words.lines[l]);
        setting.pins[l] = *pin;
        identities[l] = pin->name();
    }
    if (words.bias) {
        const auto bias = biasNamed(*words.bias);
        if (bias == Bias::PullDown)
            return std::string("bias=pull-down: an Arduino's pins have no pull-down resistor; "
                               "wire one from the pin to ground and give bias=none");
        if (!bias)
            return "bias is pull-up or none, not " + quoted(*words.bias);
        setting.bias = *bias;
    }
    setting.activeLow = words.activeLow;
    setting.outActiveLow = words.outActiveLow;
    if (words.baud) {
        const auto baud = wholeNumber(*words.baud);
        if (!baud || std::find(kBaudRates.begin(), kBaudRates.end(), *baud) == kBaudRates.end()) {
            std::vector<std::string> rates;
            for (const std::uint32_t rate : kBaudRates)
                rates.push_back(std::to_string(rate));
            return "baud is a standard serial speed (" + listed(rates) + "), not "
                    + quoted(*words.baud);
        }
        setting.baud = static_cast<std::int32_t>(*baud);
    }
    if (auto twice = lineGivenTwice(identities, "pin"))
        return std::move(*twice);
    return setting;
}

} // namespace meridan
