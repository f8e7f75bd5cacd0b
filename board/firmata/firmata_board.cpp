#include "firmata_board.h"

#include "board_context.h"
#include "board_setting.h"
#include "device_users.h"
#include "system_calls.h"

#include <QEventLoop>
#include <QSerialPort>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>
#include <utility>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

namespace meridan {

namespace {

    constexpr std::size_t kInputSlot = 2; // input 0 is pins[2], input 1 pins[3]
    constexpr std::uint16_t kSamplingIntervalMs = 1;

    std::uint8_t portOf(std::uint8_t pin)
    {
        return static_cast<std::uint8_t>(pin / 8);
    }
    std::uint8_t bitOf(std::uint8_t pin)
    {
        return static_cast<std::uint8_t>(1u << (pin % 8));
    }

    // Unix98 pseudo-terminal slaves, which sysfs does not list.
    bool isPseudoTerminal(dev_t device)
    {
        return major(device) >= 136 && major(device) <= 143;
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

    constexpr const char *kRemedy =
            "upload StandardFirmata to the board (Arduino IDE: File > Examples > Firmata > "
            "StandardFirmata), which speaks at 57600 baud, and plug it in again; a Firmata at "
            "another speed needs baud= (ConfigurableFirmata's example: baud=115200)";

} // namespace

FirmataBoard::FirmataBoard(FirmataSetting chosen, SystemCalls &calls, Post poster)
    : HardwareBoard("Firmata board"),
      setting(std::move(chosen)),
      io(calls),
      post(std::move(poster))
{
}

FirmataBoard::~FirmataBoard()
{
    if (isAttached())
        drain();
}

void FirmataBoard::OpenBoard(std::int32_t first, std::int32_t second)
{
    const BoardCall call { "OpenBoard", first, second };
    if (phase != Phase::Closed)
        return;
    const std::string &path = setting.port;
    if (!findDevice(call, io, path, "tty", "a serial port", isPseudoTerminal))
        return; // no such port: the board is not plugged in
    openPort(call, path);
    if (!port)
        return; // gone since: not plugged in

    // Opening the port resets a board with a USB chip of its own; its firmware says its version
    // once it runs. One that did not reset is asked.
    phase = Phase::Version;
    const bool answered = waitFor([this] { return version.has_value(); }, kVersionDeadline,
            [this] {
                // Not through send(): a failed ask is no error; the deadline says what was heard.
                const auto ask = firmata::reportVersion();
                port->write(reinterpret_cast<const char *>(ask.data()),
                        static_cast<qint64>(ask.size()));
            });
    if (hasGone())
        call.fail(loss());
    if (!answered)
        call.fail("no StandardFirmata answered on " + path + " within "
                + std::to_string(kVersionDeadline.count() / 1000) + " s: " + heard() + "; "
                + kRemedy);

    phase = Phase::Reports;
    send(call, firmata::capabilityQuery());
    send(call, firmata::analogMappingQuery());
    const bool described = waitFor([this] { return capabilities && mapping; }, kReplyDeadline);
    if (hasGone())
        call.fail(loss());
    if (!described)
        call.fail("the firmware on " + path + " (Firmata " + std::to_string(version->major) + "."
                + std::to_string(version->minor) + ") did not report what its pins can do; "
                + kRemedy);
    resolvePins(call);
    // Which of the lamps' pins are outputs already (every pin is, once the firmware has started):
    // those are not set again, since some firmware drives a pin low as it becomes an output,
    // which would flash a lamp that lights on low. A firmware that does not say is not waited
    // for long: its pins are then set.
    for (std::size_t l = 0; l < kInputSlot; ++l)
        send(call, firmata::pinStateQuery(pins[l]));
    waitFor([this] { return lampPinModes[0] && lampPinModes[1]; }, kPinStateDeadline);
    if (hasGone())
        call.fail(loss());
    configure(call);

    phase = Phase::FirstStates;
    const bool states = waitFor(
            [this] {
                return reportedOnce[portOf(pins[kInputSlot])]
                        && reportedOnce[portOf(pins[kInputSlot + 1])];
            },
            kReplyDeadline);
    if (hasGone())
        call.fail(loss());
    if (!states)
        call.fail("the board on " + path + " did not report its switches' pins");
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const std::uint8_t pin = pins[kInputSlot + i];
        const bool high = (reported[portOf(pin)] & bitOf(pin)) != 0;
        inputs[i] = high != setting.activeLow ? kTrue : kFalse;
    }
    phase = Phase::Running;
    attach();
}

void FirmataBoard::openPort(const BoardCall &call, const std::string &path)
{
    port = std::make_unique<QSerialPort>();
    port->setPortName(QString::fromStdString(path));
    port->setBaudRate(setting.baud);
    port->setDataBits(QSerialPort::Data8);
    port->setParity(QSerialPort::NoParity);
    port->setStopBits(QSerialPort::OneStop);
    port->setFlowControl(QSerialPort::NoFlowControl);
    if (!port->open(QIODevice::ReadWrite)) {
        const QSerialPort::SerialPortError error = port->error();
        const std::string reason = port->errorString().toStdString();
        port.reset();
        if (error == QSerialPort::DeviceNotFoundError)
            return;
        if (error == QSerialPort::PermissionError && ::access(path.c_str(), R_OK | W_OK) != 0) {
            struct stat status
            {
            };
            const int looked = io.statusOf(path, status);
            call.fail("permission denied opening " + path + "; "
                    + (looked == 0 ? permissionAdvice(status.st_gid)
                                   : std::string("add your user to the group that owns it, "
                                                 "usually dialout (sudo usermod -aG dialout "
                                                 "$USER), then log in again")));
        }
        if (error == QSerialPort::PermissionError) {
            const std::vector<std::string> holders = processesHolding(path);
            call.fail(path + " is in use: "
                    + (holders.empty() ? "another program holds it (a serial monitor, the Arduino "
                                         "IDE, ModemManager probing a new board; sudo fuser -v "
                                            + path + " shows which)"
                                       : "it is open in " + listed(holders))
                    + " (" + reason + "); close it and start again");
        }
        call.fail("cannot open " + path + ": " + reason);
    }
    QObject::connect(port.get(), &QSerialPort::readyRead, port.get(), [this] { readPort(); });
    QObject::connect(port.get(), &QSerialPort::errorOccurred, port.get(),
            [this](QSerialPort::SerialPortError error) {
                // The first read error is the board gone: Qt reports it again and again, and a
                // resource error only after a write.
                if (error != QSerialPort::NoError && error != QSerialPort::TimeoutError)
                    lost("the board was unplugged or reset (" + port->errorString().toStdString()
                            + ")");
            });
}

bool FirmataBoard::waitFor(const std::function<bool()> &done, std::chrono::milliseconds deadline,
        const std::function<void()> &atAsk)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer end;
    end.setSingleShot(true);
    QObject::connect(&end, &QTimer::timeout, &loop, &QEventLoop::quit);
    QTimer ask;
    ask.setSingleShot(true);
    if (atAsk)
        QObject::connect(&ask, &QTimer::timeout, &loop, atAsk);
    const auto check = [&] {
        if (done() || hasGone())
            loop.quit();
    };
    // After readPort, which was connected first.
    QObject::connect(port.get(), &QSerialPort::readyRead, &loop, check);
    QObject::connect(port.get(), &QSerialPort::errorOccurred, &loop, check);
    end.start(deadline);
    if (atAsk)
        ask.start(kAskAfter);
    loop.exec();
    return done();
}

void FirmataBoard::resolvePins(const BoardCall &call)
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
                call.fail("there is no " + given.name() + " on the board on " + setting.port
                        + (count > 0 ? ", whose analog pins are A0 to A" + std::to_string(count - 1)
                                     : ", which has no analog pins"));
            digital = static_cast<std::size_t>(found - channels.begin());
        }
        if (digital >= modes.size())
            call.fail("there is no pin " + given.name() + " on the board on " + setting.port
                    + ", which has pins D0 to D" + std::to_string(modes.size() - 1));
        const bool output = l < kInputSlot;
        if (!offers(modes[digital], output ? firmata::kOutput : firmata::kInput))
            call.fail("pin " + given.name() + " (for " + std::string(kLineKeys[l])
                    + ") cannot be a digital " + (output ? "output" : "input") + ": it offers "
                    + whatItOffers(modes[digital]));
        pins[l] = static_cast<std::uint8_t>(digital);
        identities[l] = FirmataPin { false, static_cast<std::uint8_t>(digital) }.name();
    }
    if (const auto twice = lineGivenTwice(identities, "pin"))
        call.fail(*twice);
}

void FirmataBoard::configure(const BoardCall &call)
{
    const auto &modes = capabilities->modes;
    for (std::size_t l = kInputSlot; l < pins.size(); ++l) {
        const std::uint8_t pin = pins[l];
        if (setting.bias == Bias::PullUp && offers(modes[pin], firmata::kPullUp)) {
            send(call, firmata::setPinMode(pin, firmata::kPullUp));
        } else {
            send(call, firmata::setPinMode(pin, firmata::kInput));
        }
        // Every later write to this port keeps the pull-up on; on Firmata 2.4 this turns it on.
        if (setting.bias == Bias::PullUp)
            shadow[portOf(pin)] = static_cast<std::uint8_t>(shadow[portOf(pin)] | bitOf(pin));
    }
    // The lamps dark: low, or high where they light on low.
    for (std::size_t l = 0; l < kInputSlot; ++l)
        setBit(pins[l], setting.outActiveLow);
    std::set<std::uint8_t> written, watched;
    for (const std::uint8_t pin : pins)
        written.insert(portOf(pin));
    for (std::size_t l = kInputSlot; l < pins.size(); ++l)
        watched.insert(portOf(pins[l]));
    // The dark level is written before the pins become outputs and again once they are: a pin
    // that is already an output (as every pin is after the firmware starts) goes dark at once,
    // and one that is not holds the level its mode allows until it becomes one.
    for (const std::uint8_t p : written)
        send(call, firmata::digitalMessage(p, shadow[p]));
    for (std::size_t l = 0; l < kInputSlot; ++l)
        if (lampPinModes[l] != firmata::kOutput)
            send(call, firmata::setPinMode(pins[l], firmata::kOutput));
    for (const std::uint8_t p : written)
        send(call, firmata::digitalMessage(p, shadow[p]));
    // Switch changes reported within a millisecond or two, whichever firmware reads them.
    send(call, firmata::samplingInterval(kSamplingIntervalMs));
    // The switches' ports are read from the answers to these requests: a board that kept a
    // previous host's reporting may have sent reports of its own before the pins were set.
    for (const std::uint8_t p : watched) {
        reportedOnce[p] = false;
        send(call, firmata::reportDigital(p, true));
    }
}

void FirmataBoard::setBit(std::uint8_t pin, bool high)
{
    std::uint8_t &bits = shadow[portOf(pin)];
    bits = static_cast<std::uint8_t>(high ? bits | bitOf(pin) : bits & ~bitOf(pin));
}

bool FirmataBoard::lit(std::uint8_t output) const
{
    return ((shadow[portOf(output)] & bitOf(output)) != 0) != setting.outActiveLow;
}

void FirmataBoard::send(const BoardCall &call, const std::vector<std::uint8_t> &bytes)
{
    const auto size = static_cast<qint64>(bytes.size());
    bool sent = port && port->isOpen()
            && port->write(reinterpret_cast<const char *>(bytes.data()), size) == size;
    // At once: what Qt holds goes to the kernel now, not when the event loop next runs.
    if (sent)
        port->flush();
    if (sent && port->bytesToWrite() > 0)
        sent = port->waitForBytesWritten(200);
    if (!sent && !hasGone())
        lost("writing to it failed ("
                + (port ? port->errorString().toStdString() : std::string("closed")) + ")");
    if (hasGone())
        call.fail(loss());
}

void FirmataBoard::drain()
{
    if (port && port->isOpen())
        ::tcdrain(static_cast<int>(port->handle()));
}

void FirmataBoard::readPort()
{
    if (hasGone())
        return;
    const QByteArray bytes = port->readAll();
    parser.feed(reinterpret_cast<const std::uint8_t *>(bytes.constData()),
            static_cast<std::size_t>(bytes.size()),
            [this](const firmata::Message &message) { received(message); });
}

void FirmataBoard::received(const firmata::Message &message)
{
    if (hasGone())
        return;
    if (const auto *report = std::get_if<firmata::VersionReport>(&message)) {
        if (phase == Phase::Running)
            lost("the board reset: its firmware started again, with every pin an output "
                 "driven low");
        else
            version = *report;
    } else if (const auto *pinModes = std::get_if<firmata::CapabilityReport>(&message)) {
        capabilities = *pinModes;
    } else if (const auto *analog = std::get_if<firmata::AnalogMappingReport>(&message)) {
        mapping = *analog;
    } else if (const auto *pinState = std::get_if<firmata::PinStateReport>(&message)) {
        for (std::size_t l = 0; l < kInputSlot && phase == Phase::Reports; ++l)
            if (pinState->pin == pins[l])
                lampPinModes[l] = pinState->mode;
    } else if (const auto *text = std::get_if<firmata::StringData>(&message)) {
        firmwareSaid.push_back(text->text);
    } else if (const auto *digital = std::get_if<firmata::DigitalReport>(&message)) {
        if (digital->port >= reported.size())
            return;
        reported[digital->port] = digital->bits;
        reportedOnce[digital->port] = true;
        if (phase != Phase::Running)
            return;
        for (std::size_t i = 0; i < inputs.size(); ++i) {
            const std::uint8_t pin = pins[kInputSlot + i];
            if (portOf(pin) != digital->port)
                continue;
            const bool high = (digital->bits & bitOf(pin)) != 0;
            const Boolean state = high != setting.activeLow ? kTrue : kFalse;
            if (state == inputs[i])
                continue;
            inputs[i] = state;
            const auto index = static_cast<std::int16_t>(i);
            post([this, index, state] {
                if (inputChanged)
                    inputChanged(index, state);
            });
        }
    }
}

void FirmataBoard::lost(const std::string &cause)
{
    if (hasGone())
        return;
    const bool running = isAttached();
    lose("on " + setting.port, cause);
    // Qt reports a port whose far end has gone again and again while it is open: close it, once
    // the signal under way has returned.
    port->disconnect();
    QTimer::singleShot(0, port.get(), [open = port.get()] { open->close(); });
    if (running)
        post([this] { raiseLoss(); });
}

std::string FirmataBoard::heard() const
{
    if (parser.bytesSeen() == 0)
        return "heard nothing";
    if (parser.strayBytes() == 0)
        return "heard " + std::to_string(parser.bytesSeen())
                + " bytes of Firmata, but no version report";
    return "heard " + std::to_string(parser.strayBytes()) + " bytes that are not Firmata (\""
            + parser.strayStart() + (parser.strayBytes() > 24 ? "...\")" : "\")");
}

void FirmataBoard::SetOutputLevel(std::int16_t Index, std::int32_t level)
{
    const BoardCall call { "SetOutputLevel", Index, level };
    const std::uint8_t pin = pins[output(call)];
    setBit(pin, (level > 0) != setting.outActiveLow);
    send(call, firmata::digitalMessage(portOf(pin), shadow[portOf(pin)]));
    // Both lamps dark: whatever ends the program next, they stay dark.
    if (!lit(pins[0]) && !lit(pins[1]))
        drain();
}

Boolean FirmataBoard::ReadInput(std::int16_t Index)
{
    const BoardCall call { "ReadInput", Index };
    return inputs[input(call, Index)];
}

std::unique_ptr<BoardLink> makeBoard(const FirmataSetting &setting, const BoardContext &context)
{
    return std::make_unique<FirmataBoard>(setting, context.calls, context.post);
}

} // namespace meridan
