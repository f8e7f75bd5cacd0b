#include "board/firmata/firmata_board.h"

#include "board/board_context.h"
#include "board/board_setting.h"
#include "system/device_users.h"
#include "system/system_calls.h"

#include <QEventLoop>
#include <QSerialPort>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <set>
#include <thread>
#include <utility>

#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>
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
            "StandardFirmata) and plug it in again; 57600 baud (StandardFirmata's speed) and "
            "115200 (ConfigurableFirmata's example's) are tried, and a Firmata at another speed "
            "needs baud=";
    constexpr const char *kNetworkRemedy =
            "check that the board runs StandardFirmataWiFi, StandardFirmataEthernet or "
            "ConfigurableFirmata built for the network, and that nothing else is connected to it";

    // Bytes that are not Firmata, this many of them, mean the other end speaks at another speed.
    constexpr std::size_t kGarbled = 3;
    // The line is quiet once nothing has come for this long: what came is all there is for now.
    constexpr std::chrono::milliseconds kQuiet { 30 };

    std::string seenText(std::size_t bytes, std::size_t stray, const std::string &strayStart)
    {
        if (bytes == 0)
            return "heard nothing";
        if (stray == 0)
            return "heard " + std::to_string(bytes) + " bytes of Firmata, but no version report";
        return "heard " + std::to_string(stray) + " bytes that are not Firmata (\"" + strayStart
                + (stray > 24 ? "...\")" : "\")");
    }

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
    liveness.reset();
    if (isAttached())
        drain();
    if (socket) {
        // What the board said last is read first: a socket closed with bytes unread is reset,
        // which may cost the board the last bytes it was sent.
        socket->readAll();
        socket->disconnect();
        socket->close();
    }
}

void FirmataBoard::OpenBoard(std::int32_t first, std::int32_t second)
{
    const BoardCall call { "OpenBoard", first, second };
    if (phase != Phase::Closed)
        return;
    if (setting.onNetwork()) {
        if (!connectTo(call))
            return; // refused or out of reach: not plugged in
    } else {
        const std::string &path = setting.port;
        if (!findDevice(call, io, path, "tty", "a serial port", isPseudoTerminal))
            return; // no such port: the board is not plugged in
        openPort(call, path);
        if (!serial)
            return; // gone since: not plugged in
    }

    phase = Phase::Version;
    const bool answered = findVersion();
    if (hasGone())
        call.fail(loss());
    if (!answered)
        call.fail("no Firmata answered " + where() + " within "
                + std::to_string(kVersionDeadline.count() / 1000) + " s: " + heard() + "; "
                + (setting.onNetwork() ? kNetworkRemedy : kRemedy));

    phase = Phase::Reports;
    send(call, firmata::capabilityQuery());
    send(call, firmata::analogMappingQuery());
    const bool described = waitFor([this] { return capabilities && mapping; }, kReplyDeadline);
    if (hasGone())
        call.fail(loss());
    if (!described)
        call.fail("the firmware " + where() + " (Firmata " + std::to_string(version->major) + "."
                + std::to_string(version->minor) + ") did not report what its pins can do; "
                + (setting.onNetwork() ? kNetworkRemedy : kRemedy));
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
        call.fail("the board " + where() + " did not report its switches' pins");
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        inputs[i] = levels[i] = switchState(i, reported[portOf(pins[kInputSlot + i])]);
        holding[i] = std::make_unique<QTimer>();
        holding[i]->setSingleShot(true);
        QObject::connect(holding[i].get(), &QTimer::timeout, [this, i] { settled(i); });
    }
    if (setting.onNetwork()) {
        // Nothing tells the host that a board on the network has lost its power or its WiFi:
        // writes go on succeeding. A question every Firmata answers finds out.
        liveness = std::make_unique<QTimer>();
        QObject::connect(liveness.get(), &QTimer::timeout, [this] { checkAlive(); });
        liveness->start(kLivenessPeriod);
    }
    phase = Phase::Running;
    attach();
}

std::string FirmataBoard::where() const
{
    return (setting.onNetwork() ? "at " : "on ") + setting.where();
}

QIODevice *FirmataBoard::link() const
{
    if (serial)
        return serial.get();
    return socket.get();
}

bool FirmataBoard::connectTo(const BoardCall &call)
{
    socket = std::make_unique<QTcpSocket>();
    QEventLoop loop;
    QTimer end;
    end.setSingleShot(true);
    QObject::connect(&end, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(socket.get(), &QTcpSocket::connected, &loop, &QEventLoop::quit);
    QObject::connect(socket.get(), &QTcpSocket::errorOccurred, &loop, &QEventLoop::quit);
    socket->connectToHost(QString::fromStdString(setting.host), setting.tcpPort);
    end.start(kVersionDeadline);
    if (socket->state() != QAbstractSocket::ConnectedState
            && socket->error() == QAbstractSocket::UnknownSocketError)
        loop.exec();
    if (socket->state() == QAbstractSocket::ConnectedState) {
        // Each of the panel's writes is a few bytes that must go at once.
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        QObject::connect(
                socket.get(), &QTcpSocket::readyRead, socket.get(), [this] { readPort(); });
        QObject::connect(socket.get(), &QTcpSocket::errorOccurred, socket.get(),
                [this](QAbstractSocket::SocketError error) {
                    lost(error == QAbstractSocket::RemoteHostClosedError
                                    ? std::string("it closed the connection")
                                    : "the connection failed ("
                                            + socket->errorString().toStdString() + ")");
                });
        QObject::connect(socket.get(), &QTcpSocket::disconnected, socket.get(),
                [this] { lost("it closed the connection"); });
        return true;
    }
    const QAbstractSocket::SocketError error = socket->error();
    const std::string reason = error == QAbstractSocket::UnknownSocketError
            ? "no answer within " + std::to_string(kVersionDeadline.count() / 1000) + " s"
            : socket->errorString().toStdString();
    socket.reset();
    if (error == QAbstractSocket::HostNotFoundError)
        call.fail("the board's host \"" + setting.host + "\" is not known here (" + reason
                + "); give its address, or a name this machine resolves");
    std::cerr << "meridan: the Firmata board " << where() << " cannot be reached: " << reason
              << std::endl;
    return false;
}

void FirmataBoard::openPort(const BoardCall &call, const std::string &path)
{
    serial = std::make_unique<QSerialPort>();
    serial->setPortName(QString::fromStdString(path));
    serial->setDataBits(QSerialPort::Data8);
    serial->setParity(QSerialPort::NoParity);
    serial->setStopBits(QSerialPort::OneStop);
    serial->setFlowControl(QSerialPort::NoFlowControl);
    if (!serial->open(QIODevice::ReadWrite)) {
        const QSerialPort::SerialPortError error = serial->error();
        const std::string reason = serial->errorString().toStdString();
        serial.reset();
        if (error == QSerialPort::DeviceNotFoundError)
            return;
        if (error == QSerialPort::PermissionError && ::access(path.c_str(), R_OK | W_OK) != 0) {
            struct stat status = {};
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
    QObject::connect(serial.get(), &QSerialPort::readyRead, serial.get(), [this] { readPort(); });
    QObject::connect(serial.get(), &QSerialPort::errorOccurred, serial.get(),
            [this](QSerialPort::SerialPortError error) {
                // The first read error is the board gone: Qt reports it again and again, and a
                // resource error only after a write.
                if (error != QSerialPort::NoError && error != QSerialPort::TimeoutError)
                    lost("the board was unplugged or reset (" + serial->errorString().toStdString()
                            + ")");
            });
    hangUpWatch = std::make_unique<QTimer>();
    QObject::connect(hangUpWatch.get(), &QTimer::timeout, [this] { checkHangUp(); });
    hangUpWatch->start(kHangUpPeriod);
    // The speed given, or the ones a Firmata runs at, StandardFirmata's first.
    speeds = setting.baud != 0
            ? std::vector<std::int32_t> { setting.baud }
            : std::vector<std::int32_t> { kStandardFirmataBaud, kConfigurableFirmataBaud };
    useSpeed(0);
}

void FirmataBoard::useSpeed(std::size_t candidate)
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
    serial->setBaudRate(speeds[speed]);
    parser = firmata::Parser {};
}

bool FirmataBoard::findVersion()
{
    QEventLoop loop;
    QTimer end, ask, quiet;
    end.setSingleShot(true);
    quiet.setSingleShot(true);
    QObject::connect(&end, &QTimer::timeout, &loop, &QEventLoop::quit);
    bool askedHere = false; // asked at the speed in use
    std::size_t heardBeforeAsking = 0;
    const auto askNow = [&] {
        askVersion();
        askedHere = true;
        heardBeforeAsking = parser.bytesSeen();
    };
    const auto otherSpeed = [&] {
        useSpeed((speed + 1) % speeds.size());
        askedHere = false;
        askNow();
    };
    // Bytes, once the line is quiet, that are no Firmata at all: the board speaks at another speed
    // (a board at 115200 heard at 57600 gives about half its bytes, nearly all above 0x7F).
    QObject::connect(&quiet, &QTimer::timeout, &loop, [&] {
        if (speeds.size() > 1 && !version && parser.strayBytes() >= kGarbled)
            otherSpeed();
    });
    // The first question once a board that resets has had time to start; then another every half
    // second. A question that got nothing at all at one speed is asked at the other next: the board
    // did not reset, or is still starting.
    QObject::connect(&ask, &QTimer::timeout, &loop, [&] {
        ask.start(kAskAgain);
        if (speeds.size() > 1 && askedHere && parser.bytesSeen() == heardBeforeAsking)
            otherSpeed();
        else
            askNow();
    });
    QObject::connect(link(), &QIODevice::readyRead, &loop, [&] {
        // After readPort, which was connected first.
        if (version || hasGone())
            loop.quit();
        else
            quiet.start(kQuiet);
    });
    onLinkError(loop, [&] {
        if (hasGone())
            loop.quit();
    });
    end.start(kVersionDeadline);
    // A board on the network sends nothing until asked.
    ask.start(socket ? std::chrono::milliseconds(0) : kAskAfter);
    if (!version && !hasGone())
        loop.exec();
    return version.has_value();
}

bool FirmataBoard::waitFor(const std::function<bool()> &done, std::chrono::milliseconds deadline)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer end;
    end.setSingleShot(true);
    QObject::connect(&end, &QTimer::timeout, &loop, &QEventLoop::quit);
    const auto check = [&] {
        if (done() || hasGone())
            loop.quit();
    };
    // After readPort, which was connected first.
    QObject::connect(link(), &QIODevice::readyRead, &loop, check);
    onLinkError(loop, check);
    end.start(deadline);
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
                call.fail("there is no " + given.name() + " on the board " + where()
                        + (count > 0 ? ", whose analog pins are A0 to A" + std::to_string(count - 1)
                                     : ", which has no analog pins"));
            digital = static_cast<std::size_t>(found - channels.begin());
        }
        if (digital >= modes.size())
            call.fail("there is no pin " + given.name() + " on the board " + where()
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
    QIODevice *to = link();
    bool sent = to && to->isOpen()
            && to->write(reinterpret_cast<const char *>(bytes.data()), size) == size;
    // At once: what Qt holds goes to the kernel now, not when the event loop next runs.
    if (sent)
        serial ? serial->flush() : socket->flush();
    if (sent && to->bytesToWrite() > 0)
        sent = to->waitForBytesWritten(200);
    if (!sent && !hasGone())
        lost("writing to it failed ("
                + (to ? to->errorString().toStdString() : std::string("closed")) + ")");
    if (hasGone())
        call.fail(loss());
}

void FirmataBoard::drain()
{
    if (serial && serial->isOpen()) {
        ::tcdrain(static_cast<int>(serial->handle()));
    } else if (socket && socket->state() == QAbstractSocket::ConnectedState) {
        // Until the board has acknowledged every byte, for a second at most: bytes still queued
        // when the program ends are lost if its socket is reset.
        socket->flush();
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        int queued = 0;
        while (::ioctl(static_cast<int>(socket->socketDescriptor()), SIOCOUTQ, &queued) == 0
                && queued > 0 && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void FirmataBoard::readPort()
{
    if (hasGone())
        return;
    const QByteArray bytes = link()->readAll();
    parser.feed(reinterpret_cast<const std::uint8_t *>(bytes.constData()),
            static_cast<std::size_t>(bytes.size()),
            [this](const firmata::Message &message) { received(message); });
}

void FirmataBoard::received(const firmata::Message &message)
{
    if (hasGone())
        return;
    if (const auto *report = std::get_if<firmata::VersionReport>(&message)) {
        if (phase != Phase::Running)
            version = *report;
        else if (socket)
            askedAt.reset(); // the answer to the question whether it still answers
        else
            lost("the board reset: its firmware started again, with every pin an output "
                 "driven low");
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
            if (portOf(pins[kInputSlot + i]) == digital->port)
                switchReported(i, switchState(i, digital->bits));
        }
    }
}

void FirmataBoard::switchReported(std::size_t input, Boolean state)
{
    if (state == levels[input])
        return;
    levels[input] = state;
    // A change counts once it has held for the debounce time: each change starts it again.
    if (setting.debounceMs > 0)
        holding[input]->start(static_cast<int>(setting.debounceMs));
    else
        settled(input);
}

void FirmataBoard::settled(std::size_t input)
{
    const Boolean state = levels[input];
    if (hasGone() || state == inputs[input])
        return;
    inputs[input] = state;
    const auto index = static_cast<std::int16_t>(input);
    post([this, index, state] {
        if (inputChanged)
            inputChanged(index, state);
    });
}

void FirmataBoard::checkHangUp()
{
    if (hasGone() || !serial || !serial->isOpen())
        return;
    pollfd port { static_cast<int>(serial->handle()), POLLIN, 0 };
    if (::poll(&port, 1, 0) > 0 && (port.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0)
        lost("the board was unplugged or reset (its port hung up)");
}

void FirmataBoard::checkAlive()
{
    if (hasGone())
        return;
    const auto now = std::chrono::steady_clock::now();
    if (askedAt && now - *askedAt > kAnswerDeadline) {
        lost("it stopped answering (no answer to a question for "
                + std::to_string(kAnswerDeadline.count()) + " ms: its power, its network or its "
                + "firmware gone)");
        return;
    }
    if (askedAt)
        return;
    askVersion();
    askedAt = now;
}

void FirmataBoard::askVersion()
{
    // Not through send(): a question that cannot be written is no error of its own; what does
    // not answer it says what happened.
    const auto query = firmata::reportVersion();
    link()->write(reinterpret_cast<const char *>(query.data()), static_cast<qint64>(query.size()));
    serial ? serial->flush() : socket->flush();
}

Boolean FirmataBoard::switchState(std::size_t input, std::uint16_t portBits) const
{
    const bool high = (portBits & bitOf(pins[kInputSlot + input])) != 0;
    return high != setting.activeLow ? kTrue : kFalse;
}

void FirmataBoard::onLinkError(QObject &context, const std::function<void()> &handler) const
{
    if (serial)
        QObject::connect(serial.get(), &QSerialPort::errorOccurred, &context, handler);
    else
        QObject::connect(socket.get(), &QTcpSocket::errorOccurred, &context, handler);
}

void FirmataBoard::lost(const std::string &cause)
{
    if (hasGone())
        return;
    const bool running = isAttached();
    lose(where(), cause);
    if (liveness)
        liveness->stop();
    if (hangUpWatch)
        hangUpWatch->stop();
    // Qt reports a port whose far end has gone again and again while it is open: close it, once
    // the signal under way has returned. The board's own handlers go now; a wait under way still
    // hears of it, and ends.
    QIODevice *gone = link();
    QObject::disconnect(gone, nullptr, gone, nullptr);
    QTimer::singleShot(0, gone, [gone] { gone->close(); });
    if (running)
        post([this] { raiseLoss(); });
}

std::string FirmataBoard::heard() const
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
