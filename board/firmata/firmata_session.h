#pragma once

#include "board/firmata/firmata_protocol.h"
#include "board/firmata/firmata_setting.h"
#include "signal/boolean.h"
#include "signal/clock.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace meridan {

// Where a Firmata session's bytes go: a serial port or a connection. It never waits.
class FirmataLink
{
public:
    virtual ~FirmataLink() = default;
    // Hands `bytes` over to be written; false if the link refused them (`failure` says why).
    virtual bool write(const std::vector<std::uint8_t> &bytes) = 0;
    virtual std::string failure() const = 0;
    // A serial line's speed; a connection has none.
    virtual void setSpeed(std::int32_t baud) = 0;
};

// Two lamps and two switches on a board running Firmata, as the conversation with its firmware:
// what is said, what is heard and when, with no port of its own and no Qt. Its link writes; its
// owner hands it what the board sent (`heard`), tells it of the link failing (`linkFailed`), and
// calls `tick` at the moment `nextDeadline` names, by the session's clock.
//
// Opening: the session waits a few seconds for the firmware's version report, asking for it if
// none comes (a board that did not reset, a board on the network, which sends nothing until
// asked). Without a speed in the setting it listens at StandardFirmata's 57600 baud first and goes
// over to ConfigurableFirmata's 115200 when what it hears is not Firmata or when a question at
// 57600 goes unanswered: a question at 115200 reaches a board at 57600 as a reset, so it is asked
// only once that board has had its chance to answer. It then reads the capability report and the
// analog mapping, refuses a pin that does not exist or cannot be what it is given for, makes the
// output pins outputs driven dark (low, or high for out-active-low, written before they become
// outputs and again once they are; a pin the firmware reports as an output already is not set
// again) and the switch pins inputs (with the chip's pull-ups for bias=pull-up: the pull-up mode
// where the firmware offers it, or an input with a 1 written to it where it does not), and asks
// for reports of the switches' ports, whose first report it waits for. A board that starts again
// (its version report once more) after being set up is set up again.
//
// Running: an output is written with its whole port at once, over a shadow that keeps the pull-up
// bits. A switch's state is the one the board last reported, once it has held for the setting's
// debounce time; each such change is told to `switchChanged`. A board on the network is asked for
// its version twice a second and is gone when an answer takes longer than kAnswerDeadline; a board
// on a serial port that starts again has reset, and is gone. Loss, told once to `lost`, ends the
// session: nothing is written or told after it.
class FirmataSession
{
public:
    struct Events
    {
        std::function<void(std::int16_t input, Boolean state)> switchChanged;
        std::function<void(const std::string &cause)> lost;
    };
    enum class State { Opening, Running, Refused, Gone };

    static constexpr std::chrono::milliseconds kAskAfter { 2500 };
    static constexpr std::chrono::milliseconds kAskAgain { 500 };
    static constexpr std::chrono::milliseconds kVersionDeadline { 6000 };
    static constexpr std::chrono::milliseconds kReplyDeadline { 2000 };
    static constexpr std::chrono::milliseconds kPinStateDeadline { 500 };
    static constexpr std::chrono::milliseconds kLivenessPeriod { 500 };
    static constexpr std::chrono::milliseconds kAnswerDeadline { 1500 };
    // The line is quiet once nothing has come for this long: what came is all there is for now.
    static constexpr std::chrono::milliseconds kQuiet { 30 };
    // How often a board may start again while it is being set up before it is refused.
    static constexpr int kMostRestarts = 3;

    FirmataSession(FirmataSetting setting, FirmataLink &link, const Clock &clock, Events events);

    // Starts looking for the firmware, at the first speed.
    void open();
    void heard(const std::uint8_t *bytes, std::size_t count);
    void linkFailed(const std::string &cause);
    void tick();
    std::optional<TimePoint> nextDeadline() const;

    State state() const { return stage == Stage::Running ? State::Running : outcome; }
    // Why the board was refused, once it was.
    const std::string &refusal() const { return refused; }
    // Where the board is, for messages: "on /dev/ttyACM0", "at tcp://...".
    std::string where() const;

    // Lights or darkens output 0 or 1; a write that fails loses the board.
    void setOutput(std::size_t output, bool lit);
    bool anyLit() const { return lit(pins[0]) || lit(pins[1]); }
    Boolean input(std::size_t index) const { return inputs[index]; }

private:
    enum class Stage { Closed, Version, Describing, PinStates, FirstStates, Running, Ended };

    // What was heard at one speed while the board was looked for.
    struct Heard
    {
        std::int32_t baud = 0;
        std::size_t bytes = 0, stray = 0;
        std::string strayStart;
    };

    void received(const firmata::Message &message);
    void useSpeed(std::size_t candidate);
    void askVersion();
    void askAtOtherSpeed();
    void describe();
    void resolvePins();
    void askPinStates();
    void configure();
    void start();
    bool send(const std::vector<std::uint8_t> &bytes);
    void refuse(const std::string &why);
    void lose(const std::string &cause);
    void switchReported(std::size_t input, Boolean state);
    void settled(std::size_t input);
    void setBit(std::uint8_t pin, bool high);
    bool lit(std::uint8_t output) const;
    Boolean switchState(std::size_t input, std::uint16_t portBits) const;
    bool due(const std::optional<TimePoint> &at) const { return at && *at <= clock.now(); }
    std::string heardText() const;
    std::string remedy() const;

    FirmataSetting setting;
    FirmataLink &link;
    const Clock &clock;
    Events events;
    firmata::Parser parser;
    Stage stage = Stage::Closed;
    State outcome = State::Opening;
    std::string refused;
    int restarts = 0;

    // Looking for the firmware.
    std::vector<std::int32_t> speeds; // the speeds tried
    std::size_t speed = 0; // the one in use
    std::vector<Heard> heardAt; // what each speed tried gave, in the order tried
    bool askedHere = false; // asked at the speed in use
    std::size_t heardBeforeAsking = 0;
    std::optional<TimePoint> versionDeadline, askAt, quietAt;

    std::optional<firmata::VersionReport> version;
    std::optional<firmata::CapabilityReport> capabilities;
    std::optional<firmata::AnalogMappingReport> mapping;
    std::optional<TimePoint> stageDeadline; // the answers the stage under way waits for

    std::array<std::uint8_t, 4> pins {}; // out0, out1, in0, in1, as digital pins
    std::array<std::uint8_t, 16> shadow {}; // what was last written to each port
    std::array<std::uint16_t, 16> reported {}; // what each port last reported
    std::array<bool, 16> reportedOnce {};
    // The lamps' pins' modes, as the firmware reported them; empty until it has.
    std::array<std::optional<std::uint8_t>, 2> lampPinModes {};
    std::array<Boolean, 2> levels {}; // the switches' states as last reported
    std::array<Boolean, 2> inputs {}; // and as told, once they have held
    std::array<std::optional<TimePoint>, 2> settleAt {}; // a change, until it has held

    std::optional<TimePoint> nextQuestion; // a board on the network: whether it still answers
    std::optional<TimePoint> askedAt; // the question unanswered
};

} // namespace meridan
