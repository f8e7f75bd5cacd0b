#include "board/firmata/firmata_protocol.h"

#include <array>

namespace meridan::firmata {

namespace {

    constexpr std::uint8_t kDigitalMessage = 0x90;
    constexpr std::uint8_t kAnalogMessage = 0xE0;
    constexpr std::uint8_t kReportAnalog = 0xC0;
    constexpr std::uint8_t kReportDigital = 0xD0;
    constexpr std::uint8_t kSetPinMode = 0xF4;
    constexpr std::uint8_t kSetDigitalPin = 0xF5;
    constexpr std::uint8_t kReportVersion = 0xF9;
    constexpr std::uint8_t kSystemReset = 0xFF;
    constexpr std::uint8_t kStartSysex = 0xF0;
    constexpr std::uint8_t kEndSysex = 0xF7;

    constexpr std::uint8_t kAnalogMappingQuery = 0x69;
    constexpr std::uint8_t kAnalogMappingResponse = 0x6A;
    constexpr std::uint8_t kCapabilityQuery = 0x6B;
    constexpr std::uint8_t kCapabilityResponse = 0x6C;
    constexpr std::uint8_t kPinStateQuery = 0x6D;
    constexpr std::uint8_t kPinStateResponse = 0x6E;
    constexpr std::uint8_t kStringData = 0x71;
    constexpr std::uint8_t kSamplingInterval = 0x7A;
    constexpr std::uint8_t kReportFirmware = 0x79;

    constexpr std::uint8_t kEndOfPin = 0x7F;
    constexpr std::size_t kLongestSysex = 1024;
    constexpr std::size_t kStrayKept = 24;

    // The data bytes that follow a status byte; its top nibble, or the whole byte for 0xF_.
    std::size_t dataBytes(std::uint8_t status)
    {
        switch (status & 0xF0) {
        case kDigitalMessage:
        case kAnalogMessage:
            return 2;
        case kReportAnalog:
        case kReportDigital:
            return 1;
        default:
            break;
        }
        switch (status) {
        case kReportVersion:
        case kSetPinMode:
        case kSetDigitalPin:
            return 2;
        default:
            return 0;
        }
    }

    // Text sent as 7-bit pairs, least significant first.
    std::string pairedText(const std::vector<std::uint8_t> &bytes, std::size_t from)
    {
        std::string text;
        for (std::size_t i = from; i + 1 < bytes.size(); i += 2)
            text += static_cast<char>((bytes[i] & 0x7F) | ((bytes[i + 1] & 0x01) << 7));
        return text;
    }

} // namespace

std::string modeName(std::uint8_t mode)
{
    static constexpr std::array<const char *, 12> names = { "digital input", "digital output",
        "analog input", "PWM", "servo", "shift", "I2C", "OneWire", "stepper", "encoder", "serial",
        "input with pull-up" };
    return mode < names.size() ? names[mode] : "mode " + std::to_string(mode);
}

std::vector<std::uint8_t> reportVersion()
{
    return { kReportVersion };
}

std::vector<std::uint8_t> capabilityQuery()
{
    return { kStartSysex, kCapabilityQuery, kEndSysex };
}

std::vector<std::uint8_t> analogMappingQuery()
{
    return { kStartSysex, kAnalogMappingQuery, kEndSysex };
}

std::vector<std::uint8_t> samplingInterval(std::uint16_t milliseconds)
{
    return { kStartSysex, kSamplingInterval, static_cast<std::uint8_t>(milliseconds & 0x7F),
        static_cast<std::uint8_t>((milliseconds >> 7) & 0x7F), kEndSysex };
}

std::vector<std::uint8_t> pinStateQuery(std::uint8_t pin)
{
    return { kStartSysex, kPinStateQuery, static_cast<std::uint8_t>(pin & 0x7F), kEndSysex };
}

std::vector<std::uint8_t> setPinMode(std::uint8_t pin, std::uint8_t mode)
{
    return { kSetPinMode, static_cast<std::uint8_t>(pin & 0x7F),
        static_cast<std::uint8_t>(mode & 0x7F) };
}

std::vector<std::uint8_t> digitalMessage(std::uint8_t port, std::uint8_t bits)
{
    return { static_cast<std::uint8_t>(kDigitalMessage | (port & 0x0F)),
        static_cast<std::uint8_t>(bits & 0x7F), static_cast<std::uint8_t>(bits >> 7) };
}

std::vector<std::uint8_t> reportDigital(std::uint8_t port, bool on)
{
    return { static_cast<std::uint8_t>(kReportDigital | (port & 0x0F)),
        static_cast<std::uint8_t>(on ? 1 : 0) };
}

void Parser::feed(const std::uint8_t *bytes, std::size_t count,
        const std::function<void(const Message &)> &each)
{
    for (std::size_t i = 0; i < count; ++i)
        byte(bytes[i], each);
}

void Parser::strayByte(std::uint8_t value)
{
    ++stray;
    if (strayText.size() >= kStrayKept)
        return;
    if (value >= 0x20 && value < 0x7F) {
        strayText += static_cast<char>(value);
    } else {
        static constexpr char hex[] = "0123456789ABCDEF";
        strayText += "\\x";
        strayText += hex[value >> 4];
        strayText += hex[value & 0x0F];
    }
}

void Parser::byte(std::uint8_t value, const std::function<void(const Message &)> &each)
{
    ++seen;
    if (inSysex) {
        if (value == kEndSysex) {
            inSysex = false;
            sysex(each);
            return;
        }
        if (value < 0x80 && sysexBytes.size() < kLongestSysex) {
            sysexBytes.push_back(value);
            return;
        }
        // A status byte inside a sysex, or one too long: it was never a message.
        inSysex = false;
        ++stray;
        for (const std::uint8_t kept : sysexBytes)
            strayByte(kept);
        if (value < 0x80)
            return;
    }
    if (value >= 0x80) {
        for (std::size_t i = 0; i < got; ++i)
            strayByte(data[i]); // a message cut short
        if (command != 0 && got < wanted)
            strayByte(command);
        command = 0;
        got = 0;
        if (value == kStartSysex) {
            inSysex = true;
            sysexBytes.clear();
            return;
        }
        wanted = dataBytes(value);
        if (wanted == 0) {
            if (value != kSystemReset)
                strayByte(value); // no status byte a board sends
            return;
        }
        command = value;
        return;
    }
    if (command == 0) {
        strayByte(value);
        return;
    }
    data[got++] = value;
    if (got < wanted)
        return;
    const std::uint8_t done = command;
    command = 0;
    got = 0;
    if ((done & 0xF0) == kDigitalMessage)
        each(DigitalReport { static_cast<std::uint8_t>(done & 0x0F),
                static_cast<std::uint16_t>(data[0] | (data[1] << 7)) });
    else if (done == kReportVersion)
        each(VersionReport { data[0], data[1] });
    // Analog values and the host's own messages echoed back mean nothing here.
}

void Parser::sysex(const std::function<void(const Message &)> &each)
{
    if (sysexBytes.empty())
        return;
    const std::uint8_t kind = sysexBytes[0];
    if (kind == kReportFirmware && sysexBytes.size() >= 3) {
        each(FirmwareReport { sysexBytes[1], sysexBytes[2], pairedText(sysexBytes, 3) });
    } else if (kind == kCapabilityResponse) {
        CapabilityReport report;
        std::vector<std::uint8_t> pin;
        for (std::size_t i = 1; i < sysexBytes.size();) {
            if (sysexBytes[i] == kEndOfPin) {
                report.modes.push_back(pin);
                pin.clear();
                ++i;
            } else {
                pin.push_back(sysexBytes[i]); // the mode; its resolution follows
                i += 2;
            }
        }
        each(report);
    } else if (kind == kAnalogMappingResponse) {
        each(AnalogMappingReport { { sysexBytes.begin() + 1, sysexBytes.end() } });
    } else if (kind == kPinStateResponse && sysexBytes.size() >= 4) {
        each(PinStateReport { sysexBytes[1], sysexBytes[2], sysexBytes[3] });
    } else if (kind == kStringData) {
        each(StringData { pairedText(sysexBytes, 1) });
    }
    // Any other sysex is passed over.
}

} // namespace meridan::firmata
