#include "board/firmata/firmata_setting.h"

#include <algorithm>
#include <optional>

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

    bool isHostName(std::string_view name)
    {
        return !name.empty() && name.size() <= 253
                && std::all_of(name.begin(), name.end(), [](char c) {
                       return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')
                               || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_';
                   });
    }
    bool isIpv6Address(std::string_view address)
    {
        return address.find(':') != std::string_view::npos
                && std::all_of(address.begin(), address.end(), [](char c) {
                       return (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')
                               || (c >= '0' && c <= '9') || c == ':' || c == '.';
                   });
    }

    // "HOST:PORT" after "tcp://", HOST a name, an IPv4 address or an IPv6 one in brackets; the
    // port StandardFirmataWiFi listens on where none is given. What is wrong if it is malformed.
    std::optional<std::string> readAddress(std::string_view address, FirmataSetting &setting)
    {
        const std::string form = " (tcp://HOST:PORT, e.g. tcp://192.168.1.50:3030 or "
                                 "tcp://[fe80::1%wlan0]:3030)";
        std::string_view host = address, port;
        bool portGiven = false;
        if (address.starts_with('[')) {
            const std::size_t close = address.find(']');
            if (close == std::string_view::npos)
                return "the address " + quoted(address) + " opens a bracket it does not close"
                        + form;
            host = address.substr(1, close - 1);
            const std::string_view after = address.substr(close + 1);
            if (!after.empty() && !after.starts_with(':'))
                return "the address " + quoted(address) + " has " + quoted(after)
                        + " after its IPv6 address" + form;
            portGiven = !after.empty();
            if (portGiven)
                port = after.substr(1);
            // A link-local address names its interface after %: letters, digits, and the
            // separators interface names use.
            const std::string_view zone =
                    host.find('%') == std::string_view::npos ? "" : host.substr(host.find('%') + 1);
            const std::string_view bare = host.substr(0, host.find('%'));
            if (!isIpv6Address(bare)
                    || (host.find('%') != std::string_view::npos && !isHostName(zone)))
                return "the address " + quoted(address) + " has no IPv6 address in its brackets"
                        + form;
        } else {
            const std::size_t colon = address.find(':');
            portGiven = colon != std::string_view::npos;
            if (portGiven) {
                host = address.substr(0, colon);
                port = address.substr(colon + 1);
            }
            if (port.find(':') != std::string_view::npos)
                return "the address " + quoted(address)
                        + " has more than one colon: an IPv6 address goes in brackets" + form;
            if (!isHostName(host))
                return "the address " + quoted(address) + " names no host" + form;
        }
        setting.host = std::string(host);
        setting.tcpPort = kFirmataTcpPort;
        if (portGiven) {
            const auto number = wholeNumber(port);
            if (!number || *number < 1 || *number > 65535)
                return "the TCP port of " + quoted(address) + " is a number from 1 to 65535, not "
                        + quoted(port) + form;
            setting.tcpPort = static_cast<std::uint16_t>(*number);
        }
        return std::nullopt;
    }

} // namespace

std::string FirmataSetting::where() const
{
    if (!onNetwork())
        return port;
    const bool v6 = host.find(':') != std::string::npos;
    return std::string(kNetworkPrefix) + (v6 ? "[" + host + "]" : host) + ":"
            + std::to_string(tcpPort);
}

std::variant<FirmataSetting, std::string> parseFirmataSetting(std::string_view text)
{
    FirmataSetting setting;
    const std::string_view port = text.substr(0, text.find(','));
    if (port.empty() || port.find('=') != std::string_view::npos)
        return std::string("MERIDAN_BOARD names no serial port after \"firmata:\"");
    if (port.starts_with(FirmataSetting::kNetworkPrefix)) {
        if (auto wrong = readAddress(port.substr(FirmataSetting::kNetworkPrefix.size()), setting))
            return std::move(*wrong);
    } else if (auto path = devicePath(port, isPortName)) {
        setting.port = std::move(*path);
    } else {
        return "the serial port " + quoted(port)
                + " is neither a port name like ttyACM0, nor an absolute path like /dev/ttyACM0, "
                  "nor a board on the network like tcp://192.168.1.50:3030";
    }

    auto split = splitLineSetting(text, "Firmata", true, true);
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
            rates.reserve(kBaudRates.size());
            for (const std::uint32_t rate : kBaudRates)
                rates.push_back(std::to_string(rate));
            return "baud is a standard serial speed (" + listed(rates) + "), not "
                    + quoted(*words.baud);
        }
        if (setting.onNetwork())
            return "baud=" + std::string(*words.baud)
                    + " is for a serial port; a board on the network has no speed to set";
        setting.baud = static_cast<std::int32_t>(*baud);
    }
    if (words.debounce) {
        const auto ms = debounceNamed(*words.debounce);
        if (!ms)
            return debounceRefusal(*words.debounce);
        setting.debounceMs = *ms;
    }
    if (auto twice = lineGivenTwice(identities, "pin"))
        return std::move(*twice);
    return setting;
}

} // namespace meridan
