#pragma once

#include "board/firmata/firmata_session.h"
#include "board/firmata/firmata_setting.h"
#include "board/hardware_board.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QEventLoop;
class QIODevice;
class QSerialPort;
class QTcpSocket;
class QTimer;

namespace meridan {

class Clock;
class SystemCalls;

// Two lamps and two switches on an Arduino running StandardFirmata, or another Firmata, over its
// serial port (8N1) through Qt Serial Port, or over TCP through Qt Network for a board on the
// network (StandardFirmataWiFi, StandardFirmataEthernet). What is said to the firmware and when
// is the session's (firmata_session.h); this board carries its bytes and its moments.
//
// OpenBoard opens the port, which resets most boards, or connects, and runs the event loop until
// the session has set the board up, refused it, or lost it. A port that does not exist, or a host
// that refuses or cannot be reached, leaves the board not present. Once open, writes are handed to
// Qt and leave through the event loop; nothing waits. When the board goes, the program ends with
// both lamps dark: the board waits then, for a second at most, until its last bytes have left
// (for the line, or acknowledged by the board on the network), whatever ends the program.
//
// ReadInput answers the state the session last told; each such change raises OnInputChange
// through the event loop. The board going (unplugged, reset, an error on the port, the connection
// closed, a board on the network that stops answering) makes every later call fail with a message
// that says so, and raises one input change so that an idle panel learns of it.
class FirmataBoard final : public HardwareBoard, private FirmataLink
{
public:
    using Post = std::function<void(std::function<void()>)>;

    FirmataBoard(FirmataSetting setting, SystemCalls &calls, const Clock &clock, Post poster);
    ~FirmataBoard() override;

    void OpenBoard(std::int32_t first, std::int32_t second) override;
    void SetOutputLevel(std::int16_t Index, std::int32_t level) override;
    Boolean ReadInput(std::int16_t Index) override;

    // How often a serial port is looked at for a hang-up (the board unplugged), which not every Qt
    // reports: Qt 6.4 signals a read error, Qt 6.8 reads end of file again and again in silence.
    static constexpr std::chrono::milliseconds kHangUpPeriod { 200 };
    // How long the way out waits for the last bytes to leave.
    static constexpr std::chrono::seconds kDrainDeadline { 1 };

private:
    bool write(const std::vector<std::uint8_t> &bytes) override;
    std::string failure() const override;
    void setSpeed(std::int32_t baud) override;

    // Opens the serial port, or connects to the board on the network; false if it is not there.
    bool openPort(const BoardCall &call);
    bool connectTo(const BoardCall &call);
    QIODevice *link() const;
    void readPort();
    // After each step of the session: the timer set for its next moment, and an opening that
    // has come to an end ended.
    void stepped();
    void checkHangUp();
    void lost(const std::string &cause);
    void drain();

    FirmataSetting setting;
    SystemCalls &io;
    const Clock &clock;
    Post post;
    std::unique_ptr<QSerialPort> serial;
    std::unique_ptr<QTcpSocket> socket;
    std::unique_ptr<FirmataSession> session;
    std::unique_ptr<QTimer> nextMoment; // the session's next deadline
    std::optional<TimePoint> nextMomentFor; // the deadline it is set for
    std::unique_ptr<QTimer> hangUpWatch; // a serial port: looks whether its far end has gone
    QEventLoop *opening = nullptr; // the loop OpenBoard runs, while it runs
};

} // namespace meridan
