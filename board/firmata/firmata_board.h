#pragma once

#include "firmata_protocol.h"
#include "firmata_setting.h"
#include "hardware_board.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QSerialPort;

namespace meridan {

class SystemCalls;

// Two lamps and two switches on an Arduino running StandardFirmata, or another Firmata, over its
// serial port (57600 baud unless the setting says another speed, 8N1) through Qt Serial Port.
//
// OpenBoard opens the port, which resets the board, and waits a few seconds for the firmware's
// version report, asking for it if none comes (a board that did not reset). It then reads the
// capability report and the analog mapping, refuses a pin that does not exist or cannot be what
// it is given for, makes the output pins outputs driven dark (low, or high for out-active-low,
// written before they become outputs and again once they are; a pin the firmware reports as an
// output already is not set again) and the switch pins inputs (with the
// chip's pull-ups for bias=pull-up: the pull-up mode where the firmware offers it, 2.5 and later,
// or an input with a 1 written to it where it does not, 2.4), and asks for reports of the
// switches' ports, whose first report it waits for. A port that does not exist leaves the board
// not present.
//
// SetOutputLevel writes the output's whole port at once, over a shadow that keeps the pull-up
// bits; once both lamps are dark it waits until the bytes have left for the port, so a way out
// that darkens them leaves them dark whatever ends the program next. ReadInput answers the state
// the board last reported; each reported change of a switch raises OnInputChange through the
// event loop. The board going (unplugged, reset, an error on the port) makes every later call fail
// with a message that says so, and raises one input change so that an idle panel learns of it.
class FirmataBoard : public HardwareBoard
{
public:
    using Post = std::function<void(std::function<void()>)>;

    FirmataBoard(FirmataSetting setting, SystemCalls &calls, Post poster);
    ~FirmataBoard() override;

    void OpenBoard(std::int32_t first, std::int32_t second) override;
    void SetOutputLevel(std::int16_t Index, std::int32_t level) override;
    Boolean ReadInput(std::int16_t Index) override;

    static constexpr std::chrono::milliseconds kAskAfter { 2500 };
    static constexpr std::chrono::milliseconds kVersionDeadline { 6000 };
    static constexpr std::chrono::milliseconds kReplyDeadline { 2000 };
    static constexpr std::chrono::milliseconds kPinStateDeadline { 500 };

private:
    enum class Phase { Closed, Version, Reports, FirstStates, Running };

    void checkPort(const BoardCall &call, const std::string &path);
    void openPort(const BoardCall &call, const std::string &path);
    // Runs the event loop until `done`, the board goes, or `deadline` has passed.
    bool waitFor(const std::function<bool()> &done, std::chrono::milliseconds deadline,
            const std::function<void()> &atAsk = {});
    void resolvePins(const BoardCall &call);
    void configure(const BoardCall &call);
    void send(const BoardCall &call, const std::vector<std::uint8_t> &bytes);
    // Sets a pin's bit in its port's shadow; whether an output's lamp is lit by its shadow.
    void setBit(std::uint8_t pin, bool high);
    bool lit(std::uint8_t output) const;
    void drain();
    void readPort();
    void received(const firmata::Message &message);
    void lost(const std::string &cause);
    std::string heard() const;

    FirmataSetting setting;
    SystemCalls &io;
    Post post;
    std::unique_ptr<QSerialPort> port;
    firmata::Parser parser;
    Phase phase = Phase::Closed;

    std::optional<firmata::VersionReport> version;
    std::optional<firmata::CapabilityReport> capabilities;
    std::optional<firmata::AnalogMappingReport> mapping;
    std::vector<std::string> firmwareSaid; // STRING_DATA, for errors

    std::array<std::uint8_t, 4> pins {}; // out0, out1, in0, in1, as digital pins
    std::array<std::uint8_t, 16> shadow {}; // what was last written to each port
    std::array<std::uint16_t, 16> reported {}; // what each port last reported
    std::array<bool, 16> reportedOnce {};
    std::array<Boolean, 2> inputs {}; // the switches' last state, as raised
    // The lamps' pins' modes, as the firmware reported them; empty until it has.
    std::array<std::optional<std::uint8_t>, 2> lampPinModes {};
};

} // namespace meridan
