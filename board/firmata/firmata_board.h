#pragma once

#include "board/firmata/firmata_protocol.h"
#include "board/firmata/firmata_setting.h"
#include "board/hardware_board.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QIODevice;
class QObject;
class QSerialPort;
class QTcpSocket;
class QTimer;

namespace meridan {

class SystemCalls;

// Two lamps and two switches on an Arduino running StandardFirmata, or another Firmata, over its
// serial port (8N1) through Qt Serial Port, or over TCP through Qt Network for a board on the
// network (StandardFirmataWiFi, StandardFirmataEthernet).
//
// OpenBoard opens the port, which resets most boards, and waits a few seconds for the firmware's
// version report, asking for it if none comes (a board that did not reset, a board on the network,
// which sends nothing until asked). Without a speed in the setting it listens at StandardFirmata's
// 57600 baud first and goes over to ConfigurableFirmata's 115200 when what it hears is not Firmata
// or when a question at 57600 goes unanswered: a question at 115200 reaches a board at 57600 as a
// reset, so it is asked only once that board has had its chance to answer. It then reads the
// capability report and the analog mapping, refuses a pin that does not exist or cannot be what
// it is given for, makes the output pins outputs driven dark (low, or high for out-active-low,
// written before they become outputs and again once they are; a pin the firmware reports as an
// output already is not set again) and the switch pins inputs (with the chip's pull-ups for
// bias=pull-up: the pull-up mode where the firmware offers it, or an input with a 1 written to it
// where it does not), and asks for reports of the switches' ports, whose first report it waits
// for. A port that does not exist, or a host that refuses or cannot be reached, leaves the board
// not present.
//
// SetOutputLevel writes the output's whole port at once, over a shadow that keeps the pull-up
// bits; once both lamps are dark it waits until the bytes have left (for the line, or acknowledged
// by the board on the network), so a way out that darkens them leaves them dark whatever ends the
// program next. ReadInput answers the state the board last reported, once it has held for the
// setting's debounce time; each such change raises OnInputChange through the event loop. The board
// going (unplugged, reset, an error on the port, the connection closed, a board on the network
// that stops answering the version query asked of it twice a second) makes every later call fail
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
    static constexpr std::chrono::milliseconds kAskAgain { 500 };
    static constexpr std::chrono::milliseconds kVersionDeadline { 6000 };
    static constexpr std::chrono::milliseconds kReplyDeadline { 2000 };
    static constexpr std::chrono::milliseconds kPinStateDeadline { 500 };
    // A board on the network is asked for its version this often while it runs, and is gone if
    // an answer takes longer than kAnswerDeadline.
    static constexpr std::chrono::milliseconds kLivenessPeriod { 500 };
    static constexpr std::chrono::milliseconds kAnswerDeadline { 1500 };
    // How often a serial port is looked at for a hang-up (the board unplugged), which not every Qt
    // reports: Qt 6.4 signals a read error, Qt 6.8 reads end of file again and again in silence.
    static constexpr std::chrono::milliseconds kHangUpPeriod { 200 };

private:
    enum class Phase { Closed, Version, Reports, FirstStates, Running };

    // What was heard at one speed while the board was looked for.
    struct Heard
    {
        std::int32_t baud = 0;
        std::size_t bytes = 0, stray = 0;
        std::string strayStart;
    };

    void openPort(const BoardCall &call, const std::string &path);
    bool connectTo(const BoardCall &call);
    QIODevice *link() const;
    // Waits for the version report, asking for it, and trying the other speed, as the board's
    // class comment says.
    bool findVersion();
    void useSpeed(std::size_t candidate);
    // Runs the event loop until `done`, the board goes, or `deadline` has passed.
    bool waitFor(const std::function<bool()> &done, std::chrono::milliseconds deadline);
    void resolvePins(const BoardCall &call);
    void configure(const BoardCall &call);
    void send(const BoardCall &call, const std::vector<std::uint8_t> &bytes);
    // Sets a pin's bit in its port's shadow; whether an output's lamp is lit by its shadow.
    void setBit(std::uint8_t pin, bool high);
    bool lit(std::uint8_t output) const;
    void drain();
    void readPort();
    void received(const firmata::Message &message);
    void switchReported(std::size_t input, Boolean state);
    void settled(std::size_t input);
    void checkAlive();
    // Asks the firmware for its version, which every Firmata answers, without waiting.
    void askVersion();
    // A switch's state in its port's reported bits, its polarity applied.
    Boolean switchState(std::size_t input, std::uint16_t portBits) const;
    // Connects `handler` to the port's or the connection's error signal for `context`'s life.
    void onLinkError(QObject &context, const std::function<void()> &handler) const;
    void checkHangUp();
    void lost(const std::string &cause);
    std::string heard() const;
    std::string where() const;

    FirmataSetting setting;
    SystemCalls &io;
    Post post;
    std::unique_ptr<QSerialPort> serial;
    std::unique_ptr<QTcpSocket> socket;
    firmata::Parser parser;
    Phase phase = Phase::Closed;

    std::vector<std::int32_t> speeds; // the speeds tried while looking for the board
    std::size_t speed = 0; // the one in use
    std::vector<Heard> heardAt; // what each speed tried gave, in the order tried

    std::optional<firmata::VersionReport> version;
    std::optional<firmata::CapabilityReport> capabilities;
    std::optional<firmata::AnalogMappingReport> mapping;
    std::vector<std::string> firmwareSaid; // STRING_DATA, for errors

    std::array<std::uint8_t, 4> pins {}; // out0, out1, in0, in1, as digital pins
    std::array<std::uint8_t, 16> shadow {}; // what was last written to each port
    std::array<std::uint16_t, 16> reported {}; // what each port last reported
    std::array<bool, 16> reportedOnce {};
    std::array<Boolean, 2> levels {}; // the switches' states as last reported
    std::array<Boolean, 2> inputs {}; // and as raised, once they have held
    std::array<std::unique_ptr<QTimer>, 2> holding; // a switch's change, until it has held
    // The lamps' pins' modes, as the firmware reported them; empty until it has.
    std::array<std::optional<std::uint8_t>, 2> lampPinModes {};

    std::unique_ptr<QTimer> liveness; // a board on the network: asks whether it still answers
    std::unique_ptr<QTimer> hangUpWatch; // a serial port: looks whether its far end has gone
    std::optional<std::chrono::steady_clock::time_point> askedAt; // the question unanswered
};

} // namespace meridan
