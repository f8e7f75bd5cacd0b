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
#include <iostream>
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

    // Unix98 pseudo-terminal slaves, which sysfs does not list.
    bool isPseudoTerminal(dev_t device)
    {
        return major(device) >= 136 && major(device) <= 143;
    }

} // namespace

FirmataBoard::FirmataBoard(
        FirmataSetting chosen, SystemCalls &calls, const Clock &time, Post poster)
    : HardwareBoard("Firmata board"),
      setting(std::move(chosen)),
      io(calls),
      clock(time),
      post(std::move(poster))
{
}

FirmataBoard::~FirmataBoard()
{
    nextMoment.reset();
    if (isAttached() && !hasGone())
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
    if (session)
        return;
    session = std::make_unique<FirmataSession>(setting, static_cast<FirmataLink &>(*this), clock,
            FirmataSession::Events { [this](std::int16_t index, Boolean state) {
                                        post([this, index, state] {
                                            if (inputChanged)
                                                inputChanged(index, state);
                                        });
                                    },
                    [this](const std::string &cause) { lost(cause); } });
    const bool reached = setting.onNetwork() ? connectTo(call) : openPort(call);
    if (!reached) {
        session.reset(); // not plugged in, or out of reach: another OpenBoard looks again
        return;
    }

    nextMoment = std::make_unique<QTimer>();
    nextMoment->setSingleShot(true);
    nextMoment->setTimerType(Qt::PreciseTimer);
    QObject::connect(nextMoment.get(), &QTimer::timeout, [this] {
        nextMomentFor.reset(); // fired: whatever comes next is set afresh
        session->tick();
        stepped();
    });
    session->open();
    stepped();
    if (session->state() == FirmataSession::State::Opening && !hasGone()) {
        QEventLoop loop;
        opening = &loop;
        loop.exec();
        opening = nullptr;
    }
    if (hasGone())
        call.fail(loss());
    if (session->state() == FirmataSession::State::Refused)
        call.fail(session->refusal());
    attach();
}

void FirmataBoard::stepped()
{
    // Set again only when the moment has moved: a switch's report leaves it as it was.
    const std::optional<TimePoint> deadline = session->nextDeadline();
    if (deadline != nextMomentFor) {
        nextMomentFor = deadline;
        if (deadline) {
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*deadline - clock.now());
            nextMoment->start(std::max(wait, std::chrono::milliseconds(0)));
        } else {
            nextMoment->stop();
        }
    }
    if (opening && (session->state() != FirmataSession::State::Opening || hasGone()))
        opening->quit();
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
    end.start(FirmataSession::kVersionDeadline);
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
            ? "no answer within " + std::to_string(FirmataSession::kVersionDeadline.count() / 1000)
                    + " s"
            : socket->errorString().toStdString();
    socket.reset();
    if (error == QAbstractSocket::HostNotFoundError)
        call.fail("the board's host \"" + setting.host + "\" is not known here (" + reason
                + "); give its address, or a name this machine resolves");
    std::cerr << "meridan: the Firmata board " << session->where()
              << " cannot be reached: " << reason << std::endl;
    return false;
}

bool FirmataBoard::openPort(const BoardCall &call)
{
    const std::string &path = setting.port;
    if (!findDevice(call, io, path, "tty", "a serial port", isPseudoTerminal))
        return false; // no such port: the board is not plugged in
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
            return false; // gone since: not plugged in
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
    return true;
}

bool FirmataBoard::write(const std::vector<std::uint8_t> &bytes)
{
    const auto size = static_cast<qint64>(bytes.size());
    QIODevice *to = link();
    if (!to || !to->isOpen()
            || to->write(reinterpret_cast<const char *>(bytes.data()), size) != size)
        return false;
    // What Qt holds goes to the kernel now, as far as it takes it without waiting; the rest
    // leaves through the event loop.
    serial ? serial->flush() : socket->flush();
    return true;
}

std::string FirmataBoard::failure() const
{
    const QIODevice *to = link();
    return to ? to->errorString().toStdString() : std::string("closed");
}

void FirmataBoard::setSpeed(std::int32_t baud)
{
    if (serial)
        serial->setBaudRate(baud);
}

void FirmataBoard::drain()
{
    if (serial && serial->isOpen()) {
        while (serial->bytesToWrite() > 0
                && serial->waitForBytesWritten(
                        static_cast<int>(std::chrono::milliseconds(kDrainDeadline).count()))) {}
        ::tcdrain(static_cast<int>(serial->handle()));
    } else if (socket && socket->state() == QAbstractSocket::ConnectedState) {
        // Until the board has acknowledged every byte: bytes still queued when the program ends
        // are lost if its socket is reset.
        const auto until = std::chrono::steady_clock::now() + kDrainDeadline;
        while (socket->bytesToWrite() > 0
                && socket->waitForBytesWritten(
                        static_cast<int>(std::chrono::milliseconds(kDrainDeadline).count()))) {}
        int queued = 0;
        while (::ioctl(static_cast<int>(socket->socketDescriptor()), SIOCOUTQ, &queued) == 0
                && queued > 0 && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void FirmataBoard::readPort()
{
    if (hasGone() || !session)
        return;
    const QByteArray bytes = link()->readAll();
    session->heard(reinterpret_cast<const std::uint8_t *>(bytes.constData()),
            static_cast<std::size_t>(bytes.size()));
    stepped();
}

void FirmataBoard::checkHangUp()
{
    if (hasGone() || !serial || !serial->isOpen())
        return;
    pollfd port { static_cast<int>(serial->handle()), POLLIN, 0 };
    if (::poll(&port, 1, 0) > 0 && (port.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0)
        lost("the board was unplugged or reset (its port hung up)");
}

void FirmataBoard::lost(const std::string &cause)
{
    if (hasGone())
        return;
    const bool running = isAttached();
    lose(session->where(), cause);
    session->linkFailed(cause); // said once: the session tells nothing more
    if (nextMoment)
        nextMoment->stop();
    nextMomentFor.reset();
    if (hangUpWatch)
        hangUpWatch->stop();
    // Qt reports a port whose far end has gone again and again while it is open: close it, once
    // the signal under way has returned.
    QIODevice *gone = link();
    QObject::disconnect(gone, nullptr, gone, nullptr);
    QTimer::singleShot(0, gone, [gone] { gone->close(); });
    if (opening)
        opening->quit();
    if (running)
        post([this] { raiseLoss(); });
}

void FirmataBoard::SetOutputLevel(std::int16_t Index, std::int32_t level)
{
    const BoardCall call { "SetOutputLevel", Index, level };
    session->setOutput(output(call), level > 0);
    if (hasGone())
        call.fail(loss());
}

Boolean FirmataBoard::ReadInput(std::int16_t Index)
{
    const BoardCall call { "ReadInput", Index };
    return session->input(input(call, Index));
}

std::unique_ptr<BoardLink> makeBoard(const FirmataSetting &setting, const BoardContext &context)
{
    return std::make_unique<FirmataBoard>(setting, context.calls, context.clock, context.post);
}

} // namespace meridan
