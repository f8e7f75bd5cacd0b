#include "board/firmata/firmata_session.h"

#include "board/line_setting.h"

#include <algorithm>
#include <set>
#include <utility>

namespace meridan {

namespace {

    constexpr std::size_t kInputSlot = 2; // input 0 is pins[2], input 1 pins[3]
    constexpr std::uint16_t kSamplingIntervalMs = 1;
    // Bytes that are not Firmata, this many of them, mean the other end speaks at another speed.
    constexpr std::size_t kGarbled = 3;

    std::uint8_t portOf(std::uint8_t pin)
    {
        return static_cast<std::uint8_t>(pin / 8);
    }
    std::uint8_t bitOf(std::uint8_t pin)
    {
        return static_cast<std::uint8_t>(1u << (pin % 8));
    }

    bool offers(const std::vector<std::uint8_t> &modes, std::uint8_t mode)
    {
        return std::find(modes.begin(), modes.end(), mode) != modes.end();
    }

    std::string whatItOffers(const std::vector<std::uint8_t> &modes)
    {
        if (modes.empty())
            return "no mode at all (on an Uno, D0 and D1 carry the serial line to the PC)";
        std::string text;
        for (const std::uint8_t mode : modes)
            text += (text.empty() ? "" : ", ") + firmata::modeName(mode);
        return text;
    }

    std::string seenText(std::size_t bytes, std::size_t stray, const std::string &strayStart)
    {
        if (bytes == 0)
            return "heard nothing";
        if (stray == 0)
            return "heard " + std::to_string(bytes) + " bytes of Firmata, but no version report";
        return "heard " + std::to_string(stray) + " bytes that are not Firmata (\"" + strayStart
                + (stray > 24 ? "...\")" : "\")");
    }

    std::optional<TimePoint> earliest(std::initializer_list<std::optional<TimePoint>> moments)
    {
        std::optional<TimePoint> first;
        for (const auto &moment : moments)
            if (moment && (!first || *moment < *first))
                first = moment;
        return first;
    }

} // namespace

FirmataSession::FirmataSession(
        FirmataSetting chosen, FirmataLink &to, const Clock &time, Events told)
    : setting(std::move(chosen)),
      link(to),
      clock(time),
      events(std::move(told))
{
}

std::string FirmataSession::where() const
{
    return (setting.onNetwork() ? "at " : "on ") + setting.where();
}

std::string FirmataSession::remedy() const
{
    if (setting.onNetwork())
        return "check that the board runs StandardFirmataWiFi, StandardFirmataEthernet or "
               "ConfigurableFirmata built for the network, and that nothing else is connected to "
               "it";
    return "upload StandardFirmata to the board (Arduino IDE: File > Examples > Firmata > "
           "StandardFirmata) and plug it in again; 57600 baud (StandardFirmata's speed) and "
           "115200 (ConfigurableFirmata's example's) are tried, and a Firmata at another speed "
           "needs baud=";
}

void FirmataSession::open()
{
    if (stage != Stage::Closed)
        return;
    // The speed given, or the ones a Firmata runs at, StandardFirmata's first; a connection has
    // none.
    if (!setting.onNetwork()) {
        speeds = setting.baud != 0
                ? std::vector<std::int32_t> { setting.baud }
                : std::vector<std::int32_t> { kStandardFirmataBaud, kConfigurableFirmataBaud };
        useSpeed(0);
    }
    stage = Stage::Version;
    const TimePoint now = clock.now();
    versionDeadline = now + kVersionDeadline;
    // The first question once a board that resets has had time to start; a board on the network
    // sends nothing until asked.
    askAt = setting.onNetwork() ? now : now + kAskAfter;
}

void FirmataSession::useSpeed(std::size_t candidate)
{
    if (!heardAt.empty() || candidate != 0) {
        // What the last speed gave is kept for the error that says what was heard.
        Heard &last = heardAt.emplace_back();
        last.baud = speeds[speed];
        last.bytes = parser.bytesSeen();
        last.stray = parser.strayBytes();
        last.strayStart = parser.strayStart();
    }
    speed = candidate;
    link.setSpeed(speeds[speed]);
    parser = firmata::Parser {};
}

void FirmataSession::askVersion()
{
    // Not through send(): a question that cannot be written is no error of its own; what does
    // not answer it says what happened.
    link.write(firmata::reportVersion());
    askedHere = true;
    heardBeforeAsking = parser.bytesSeen();
}

void FirmataSession::askAtOtherSpeed()
{
    useSpeed((speed + 1) % speeds.size());
    askVersion();
}

void FirmataSession::heard(const std::uint8_t *bytes, std::size_t count)
{
    if (stage == Stage::Closed || stage == Stage::Ended)
        return;
    parser.feed(bytes, count, [this](const firmata::Message &message) {
        if (stage != Stage::Ended)
            received(message);
    });
    // Bytes, once the line is quiet, that are no Firmata at all: the board speaks at another
    // speed (a board at 115200 heard at 57600 gives about half its bytes, nearly all above 0x7F).
    if (stage == Stage::Version)
        quietAt = clock.now() + kQuiet;
}

void FirmataSession::received(const firmata::Message &message)
{
    if (const auto *report = std::get_if<firmata::VersionReport>(&message)) {
        if (stage == Stage::Version) {
            version = *report;
            describe();
        } else if (stage == Stage::FirstStates) {
            // Started again after it was set up, which it has forgotten: set it up again.
            if (++restarts > kMostRestarts)
                refuse("the board " + where() + " started again " + std::to_string(restarts)
                        + " times while it was being set up; " + remedy());
            else
                describe();
        } else if (stage == Stage::Running) {
            if (setting.onNetwork())
                askedAt.reset(); // the answer to the question whether it still answers
            else
                lose("the board reset: its firmware started again, with every pin an output "
                     "driven low");
        }
    } else if (const auto *pinModes = std::get_if<firmata::CapabilityReport>(&message)) {
        capabilities = *pinModes;
    } else if (const auto *analog = std::get_if<firmata::AnalogMappingReport>(&message)) {
        mapping = *analog;
    } else if (const auto *pinState = std::get_if<firmata::PinStateReport>(&message)) {
        if (stage != Stage::PinStates)
            return;
        for (std::size_t l = 0; l < kInputSlot; ++l)
            if (pinState->pin == pins[l])
                lampPinModes[l] = pinState->mode;
        if (lampPinModes[0] && lampPinModes[1])
            configure();
        return;
    } else if (const auto *digital = std::get_if<firmata::DigitalReport>(&message)) {
        if (digital->port >= reported.size())
            return;
        reported[digital->port] = digital->bits;
        reportedOnce[digital->port] = true;
        if (stage == Stage::FirstStates && reportedOnce[portOf(pins[kInputSlot])]
                && reportedOnce[portOf(pins[kInputSlot + 1])])
            start();
        else if (stage == Stage::Running)
            for (std::size_t i = 0; i < inputs.size(); ++i)
                if (portOf(pins[kInputSlot + i]) == digital->port)
                    switchReported(i, switchState(i, digital->bits));
        return;
    }
    if (stage == Stage::Describing && capabilities && mapping) {
        resolvePins();
        if (stage == Stage::Describing)
            askPinStates();
    }
}

void FirmataSession::describe()
{
    stage = Stage::Describing;
    capabilities.reset();
    mapping.reset();
    lampPinModes = {};
    stageDeadline = clock.now() + kReplyDeadline;
    if (send(firmata::capabilityQuery()))
        send(firmata::analogMappingQuery());
}

void FirmataSession::resolvePins()
{
    const auto &modes = capabilities->modes;
    const auto &channels = mapping->channels;
    std::array<std::string, 4> identities;
    for (std::size_t l = 0; l < pins.size(); ++l) {
        const FirmataPin &given = setting.pins[l];
        std::size_t digital = given.number;
        if (given.analog) {
            const auto found = std::find(channels.begin(), channels.end(), given.number);
            const auto count = std::count_if(channels.begin(), channels.end(),
                    [](std::uint8_t c) { return c != firmata::kNoAnalogChannel; });
            if (found == channels.end())
                return refuse("there is no " + given.name() + " on the board " + where()
                        + (count > 0 ? ", whose analog pins are A0 to A" + std::to_string(count - 1)
                                     : ", which has no analog pins"));
            digital = static_cast<std::size_t>(found - channels.begin());
        }
        if (digital >= modes.size())
            return refuse("there is no pin " + given.name() + " on the board " + where()
                    + ", which has pins D0 to D" + std::to_string(modes.size() - 1));
        const bool output = l < kInputSlot;
        if (!offers(modes[digital], output ? firmata::kOutput : firmata::kInput))
            return refuse("pin " + given.name() + " (for " + std::string(kLineKeys[l])
                    + ") cannot be a digital " + (output ? "output" : "input") + ": it offers "
                    + whatItOffers(modes[digital]));
        pins[l] = static_cast<std::uint8_t>(digital);
        identities[l] = FirmataPin { false, static_cast<std::uint8_t>(digital) }.name();
    }
    if (const auto twice = lineGivenTwice(identities, "pin"))
        refuse(*twice);
}

void FirmataSession::askPinStates()
{
    // Which of the lamps' pins are outputs already (every pin is, once the firmware has started):
    // those are not set again, since some firmware drives a pin low as it becomes an output,
    // which would flash a lamp that lights on low. A firmware that does not say is not waited
    // for long: its pins are then set.
    stage = Stage::PinStates;
    stageDeadline = clock.now() + kPinStateDeadline;
    for (std::size_t l = 0; l < kInputSlot; ++l)
        if (!send(firmata::pinStateQuery(pins[l])))
            return;
}

void FirmataSession::configure()
{
    stage = Stage::FirstStates;
    stageDeadline = clock.now() + kReplyDeadline;
    const auto &modes = capabilities->modes;
    std::set<std::uint8_t> written, watched;
    for (const std::uint8_t pin : pins)
        written.insert(portOf(pin));
    for (std::size_t l = kInputSlot; l < pins.size(); ++l)
        watched.insert(portOf(pins[l]));
    std::vector<std::vector<std::uint8_t>> messages;
    for (std::size_t l = kInputSlot; l < pins.size(); ++l) {
        const std::uint8_t pin = pins[l];
        const bool pullUpMode =
                setting.bias == Bias::PullUp && offers(modes[pin], firmata::kPullUp);
        messages.push_back(
                firmata::setPinMode(pin, pullUpMode ? firmata::kPullUp : firmata::kInput));
        // Every later write to this port keeps the pull-up on; on Firmata 2.4 this turns it on.
        if (setting.bias == Bias::PullUp)
            setBit(pin, true);
    }
    // The lamps dark: low, or high where they light on low.
    for (std::size_t l = 0; l < kInputSlot; ++l)
        setBit(pins[l], setting.outActiveLow);
    // The dark level is written before the pins become outputs and again once they are: a pin
    // that is already an output (as every pin is after the firmware starts) goes dark at once,
    // and one that is not holds the level its mode allows until it becomes one.
    for (const std::uint8_t p : written)
        messages.push_back(firmata::digitalMessage(p, shadow[p]));
    for (std::size_t l = 0; l < kInputSlot; ++l)
        if (lampPinModes[l] != firmata::kOutput)
            messages.push_back(firmata::setPinMode(pins[l], firmata::kOutput));
    for (const std::uint8_t p : written)
        messages.push_back(firmata::digitalMessage(p, shadow[p]));
    // Switch changes reported within a millisecond or two, whichever firmware reads them.
    messages.push_back(firmata::samplingInterval(kSamplingIntervalMs));
    // The switches' ports are read from the answers to these requests: a board that kept a
    // previous host's reporting may have sent reports of its own before the pins were set.
    for (const std::uint8_t p : watched) {
        reportedOnce[p] = false;
        messages.push_back(firmata::reportDigital(p, true));
    }
    for (const auto &message : messages)
        if (!send(message))
            return;
}

void FirmataSession::start()
{
    for (std::size_t i = 0; i < inputs.size(); ++i)
        inputs[i] = levels[i] = switchState(i, reported[portOf(pins[kInputSlot + i])]);
    stage = Stage::Running;
    stageDeadline.reset();
    // Nothing tells the host that a board on the network has lost its power or its WiFi: writes
    // go on succeeding. A question every Firmata answers finds out.
    if (setting.onNetwork())
        nextQuestion = clock.now() + kLivenessPeriod;
}

void FirmataSession::tick()
{
    const TimePoint now = clock.now();
    switch (stage) {
    case Stage::Version:
        if (due(versionDeadline))
            return refuse("no Firmata answered " + where() + " within "
                    + std::to_string(kVersionDeadline.count() / 1000) + " s: " + heardText() + "; "
                    + remedy());
        if (due(quietAt)) {
            quietAt.reset();
            if (speeds.size() > 1 && parser.strayBytes() >= kGarbled)
                askAtOtherSpeed();
        }
        if (due(askAt)) {
            // Another question every half second. One that got nothing at all at one speed is
            // asked at the other next: the board did not reset, or is still starting.
            askAt = now + kAskAgain;
            if (speeds.size() > 1 && askedHere && parser.bytesSeen() == heardBeforeAsking)
                askAtOtherSpeed();
            else
                askVersion();
        }
        return;
    case Stage::Describing:
        if (due(stageDeadline))
            refuse("the firmware " + where() + " (Firmata " + std::to_string(version->major) + "."
                    + std::to_string(version->minor) + ") did not report what its pins can do; "
                    + remedy());
        return;
    case Stage::PinStates:
        if (due(stageDeadline))
            configure();
        return;
    case Stage::FirstStates:
        if (due(stageDeadline))
            refuse("the board " + where() + " did not report its switches' pins");
        return;
    case Stage::Running:
        for (std::size_t i = 0; i < settleAt.size(); ++i) {
            if (due(settleAt[i])) {
                settleAt[i].reset();
                settled(i);
            }
        }
        if (due(nextQuestion)) {
            nextQuestion = now + kLivenessPeriod;
            if (askedAt && now - *askedAt > kAnswerDeadline)
                return lose("it stopped answering (no answer to a question for "
                        + std::to_string(kAnswerDeadline.count()) + " ms: its power, its network "
                        + "or its firmware gone)");
            if (!askedAt) {
                link.write(firmata::reportVersion());
                askedAt = now;
            }
        }
        return;
    case Stage::Closed:
    case Stage::Ended:
        return;
    }
}

std::optional<TimePoint> FirmataSession::nextDeadline() const
{
    switch (stage) {
    case Stage::Version:
        return earliest({ versionDeadline, quietAt, askAt });
    case Stage::Describing:
    case Stage::PinStates:
    case Stage::FirstStates:
        return stageDeadline;
    case Stage::Running:
        return earliest({ settleAt[0], settleAt[1], nextQuestion });
    case Stage::Closed:
    case Stage::Ended:
        break;
    }
    return std::nullopt;
}

void FirmataSession::linkFailed(const std::string &cause)
{
    lose(cause);
}

bool FirmataSession::send(const std::vector<std::uint8_t> &bytes)
{
    if (stage == Stage::Ended)
        return false;
    if (link.write(bytes))
        return true;
    lose("writing to it failed (" + link.failure() + ")");
    return false;
}

void FirmataSession::refuse(const std::string &why)
{
    stage = Stage::Ended;
    outcome = State::Refused;
    refused = why;
}

void FirmataSession::lose(const std::string &cause)
{
    if (stage == Stage::Ended)
        return;
    stage = Stage::Ended;
    outcome = State::Gone;
    if (events.lost)
        events.lost(cause);
}

void FirmataSession::setOutput(std::size_t output, bool lit)
{
    const std::uint8_t pin = pins[output];
    setBit(pin, lit != setting.outActiveLow);
    send(firmata::digitalMessage(portOf(pin), shadow[portOf(pin)]));
}

void FirmataSession::switchReported(std::size_t input, Boolean state)
{
    if (state == levels[input])
        return;
    levels[input] = state;
    // A change counts once it has held for the debounce time: each change starts it again.
    if (setting.debounceMs > 0)
        settleAt[input] = clock.now() + std::chrono::milliseconds(setting.debounceMs);
    else
        settled(input);
}

void FirmataSession::settled(std::size_t input)
{
    const Boolean state = levels[input];
    if (state == inputs[input])
        return;
    inputs[input] = state;
    if (events.switchChanged)
        events.switchChanged(static_cast<std::int16_t>(input), state);
}

void FirmataSession::setBit(std::uint8_t pin, bool high)
{
    std::uint8_t &bits = shadow[portOf(pin)];
    bits = static_cast<std::uint8_t>(high ? bits | bitOf(pin) : bits & ~bitOf(pin));
}

bool FirmataSession::lit(std::uint8_t output) const
{
    return ((shadow[portOf(output)] & bitOf(output)) != 0) != setting.outActiveLow;
}

Boolean FirmataSession::switchState(std::size_t input, std::uint16_t portBits) const
{
    const bool high = (portBits & bitOf(pins[kInputSlot + input])) != 0;
    return high != setting.activeLow ? kTrue : kFalse;
}

std::string FirmataSession::heardText() const
{
    // One speed, or none on the network: what it gave.
    if (speeds.size() <= 1)
        return seenText(parser.bytesSeen(), parser.strayBytes(), parser.strayStart());
    std::string text;
    const auto add = [&](std::int32_t baud, const std::string &what) {
        text += text.empty() ? "at " : ", at ";
        text += std::to_string(baud);
        text += " baud ";
        text += what;
    };
    // A speed tried twice says what it gave the first time it gave anything.
    for (const std::int32_t baud : speeds) {
        std::string first;
        for (const Heard &h : heardAt)
            if (h.baud == baud && first.empty() && h.bytes > 0)
                first = seenText(h.bytes, h.stray, h.strayStart);
        if (speeds[speed] == baud && first.empty())
            first = seenText(parser.bytesSeen(), parser.strayBytes(), parser.strayStart());
        const bool tried = speeds[speed] == baud
                || std::any_of(heardAt.begin(), heardAt.end(),
                        [baud](const Heard &h) { return h.baud == baud; });
        if (tried)
            add(baud, first.empty() ? "heard nothing" : first);
    }
    return text;
}

} // namespace meridan
