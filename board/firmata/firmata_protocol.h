#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <variant>
#include <vector>

namespace meridan::firmata {

// The Firmata protocol as StandardFirmata 2.4 and 2.5 speak it, for two outputs and two inputs:
// the messages a host sends, and a parser of what the board sends.

enum Mode : std::uint8_t {
    kInput = 0x00,
    kOutput = 0x01,
    kAnalog = 0x02,
    kPwm = 0x03,
    kServo = 0x04,
    kShift = 0x05,
    kI2c = 0x06,
    kOneWire = 0x07,
    kStepper = 0x08,
    kEncoder = 0x09,
    kSerial = 0x0A,
    kPullUp = 0x0B, // Firmata 2.5 and later
};
// A mode's name, for errors that say what a pin can do.
std::string modeName(std::uint8_t mode);

inline constexpr std::uint8_t kNoAnalogChannel = 0x7F;

// What the host sends.
std::vector<std::uint8_t> reportVersion();
std::vector<std::uint8_t> capabilityQuery();
std::vector<std::uint8_t> analogMappingQuery();
std::vector<std::uint8_t> setPinMode(std::uint8_t pin, std::uint8_t mode);
// Writes every output (and, on an input, its pull-up) of port `port` (pins 8p to 8p + 7) at once.
std::vector<std::uint8_t> digitalMessage(std::uint8_t port, std::uint8_t bits);
std::vector<std::uint8_t> reportDigital(std::uint8_t port, bool on);
// How often the firmware samples its inputs, in milliseconds. ConfigurableFirmata reads its
// digital inputs only this often (19 ms unless told); StandardFirmata reads them on every loop and
// samples only its analog inputs at this interval.
std::vector<std::uint8_t> samplingInterval(std::uint16_t milliseconds);
// Asks what mode a pin is in (answered with a PinStateReport).
std::vector<std::uint8_t> pinStateQuery(std::uint8_t pin);

// What the board sends, as far as the board link needs it.
struct VersionReport
{
    int major = 0, minor = 0;
    bool operator==(const VersionReport &) const = default;
};
struct FirmwareReport
{
    int major = 0, minor = 0;
    std::string name;
    bool operator==(const FirmwareReport &) const = default;
};
// Each pin's modes, in pin order: a pin that can be nothing has none.
struct CapabilityReport
{
    std::vector<std::vector<std::uint8_t>> modes;
    bool operator==(const CapabilityReport &) const = default;
};
// Each pin's analog channel (A0 is 0), or kNoAnalogChannel, in pin order.
struct AnalogMappingReport
{
    std::vector<std::uint8_t> channels;
    bool operator==(const AnalogMappingReport &) const = default;
};
// The state of port `port`'s pins: bit n is pin 8 * port + n.
struct DigitalReport
{
    std::uint8_t port = 0;
    std::uint16_t bits = 0;
    bool operator==(const DigitalReport &) const = default;
};
// A pin's mode, and its state: an output's level, an input's pull-up.
struct PinStateReport
{
    std::uint8_t pin = 0;
    std::uint8_t mode = 0;
    std::uint8_t state = 0; // the lowest 7 bits
    bool operator==(const PinStateReport &) const = default;
};
// A text of the firmware's own, such as "Unknown pin mode".
struct StringData
{
    std::string text;
    bool operator==(const StringData &) const = default;
};
using Message = std::variant<VersionReport, FirmwareReport, CapabilityReport, AnalogMappingReport,
        DigitalReport, PinStateReport, StringData>;

// Reads the board's bytes as they come, split across reads anyhow. Messages a host of two lamps
// does not need (analog values, sysex it does not know) are passed over; bytes that belong to no
// message are counted, and the first of them kept, for the error that says what was heard.
class Parser
{
public:
    void feed(const std::uint8_t *bytes, std::size_t count,
            const std::function<void(const Message &)> &each);

    std::size_t strayBytes() const { return stray; }
    // The first stray bytes, printable ones as they are and others as \xNN.
    const std::string &strayStart() const { return strayText; }
    std::size_t bytesSeen() const { return seen; }

private:
    void byte(std::uint8_t value, const std::function<void(const Message &)> &each);
    void strayByte(std::uint8_t value);
    void sysex(const std::function<void(const Message &)> &each);

    bool inSysex = false;
    std::vector<std::uint8_t> sysexBytes;
    std::uint8_t command = 0; // the status byte under way, 0 for none
    std::size_t wanted = 0; // its data bytes
    std::uint8_t data[2] {};
    std::size_t got = 0;
    std::size_t stray = 0;
    std::size_t seen = 0;
    std::string strayText;
};

} // namespace meridan::firmata
