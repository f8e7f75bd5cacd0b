// meridan-avr-board: an Arduino Uno for the firmware tests, emulated with simavr: an ATmega328P
// at 16 MHz running an unmodified firmware image, its serial port a pseudo-terminal of its own.
//
//   meridan-avr-board [--no-reset] [--mega] [--baud N] [--tcp|--tcp6] IMAGE.hex
//
// With --mega the board is an Arduino Mega 2560 (an ATmega2560, which simavr runs at about a
// third of real time here) with the pins the tests wire: D2, D3, D12, D13 and D22 to D29.
//
// With --no-reset the chip starts at the first open and then runs on across opens, as a board
// with native USB or on the network does: it keeps its pins, and whatever reporting a previous
// client asked for, and does not reset when the next client opens the port.
//
// With --baud N the firmware's serial port runs at N baud, and a host that has set its end of the
// terminal to another speed hears it, and is heard, as a serial line would garble it: each byte is
// sent as a start bit, eight data bits and a stop bit at the sender's speed and sampled mid-bit at
// the receiver's. (Without it the speeds are not compared: a pseudo-terminal has none of its own.)
//
// With --tcp the board is on the network, as StandardFirmataWiFi's is: it listens on a TCP port of
// the loopback address instead of a terminal (and prints "tcp PORT" for "pty PATH"), takes one
// client at a time, sends nothing on connecting and never resets on it (as --no-reset). --tcp6
// listens on the IPv6 loopback address instead.
//
// Prints "pty PATH" once the terminal is ready, then one line per event, each stamped with
// CLOCK_MONOTONIC in milliseconds:
//   T open             a client opened the port: the chip resets, as a Uno's DTR resets it
//                      (with --no-reset, only at the first open)
//   T reset            the chip was reset (after "open")
//   T close N          the client closed it, having sent N bytes since it opened: the chip is
//                      held until the next open
//   T pin D13 1        an output pin changed (D0-D13, and A0-A5 as D14-D19)
// and reads commands on standard input, one a line:
//   switch D2 low|high drives an input from outside, as a switch to ground or to 5 V would,
//                      over the chip's own pull-up
//   switch D2 open     lets it go again
//   state D2           prints "state D2 input pull-up 1", "state D13 output 0", ...
//   bounce D2 low N MS closes the switch as a worn contact does: N changes between the level and
//                      open, MS ms of the chip's time apart, ending at the level
//   received           prints "received N": the bytes the client has sent since it opened
//   drop               (--tcp) the board closes the connection, as one that restarts does
//   freeze             (--tcp) the board stops answering and reading, as one that lost its power
//                      or its WiFi does while the host's connection stays up
//   quit               ends (so does the end of standard input)
//
// The chip runs in wall time while anything happens and is frozen once the port, the pins and
// the commands have been quiet for 300 ms of its time (and its start, 3 s after a reset, is
// over), until the next byte or command: an idle board costs next to nothing, and the firmware,
// which never sleeps, does not notice.

#include <simavr/avr_ioport.h>
#include <simavr/avr_uart.h>
#include <simavr/sim_avr.h>
#include <simavr/sim_elf.h>
#include <simavr/sim_hex.h>
#include <simavr/sim_irq.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace {

constexpr std::uint32_t kFrequency = 16000000;
constexpr avr_cycle_count_t kSlice = kFrequency / 1000; // 1 ms of the chip's time
constexpr avr_cycle_count_t kQuiet = kFrequency / 1000 * 300;
// After a reset the firmware blinks and waits before it speaks: never frozen then.
constexpr avr_cycle_count_t kStarting = kFrequency * 3;

double now()
{
    timespec t {};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_nsec) / 1e6;
}

void say(const std::string &line)
{
    std::printf("%.3f %s\n", now(), line.c_str());
    std::fflush(stdout);
}

// Where a board's pins are on its chip's ports: the Uno's D0-D7 on PORTD, D8-D13 on PORTB and
// A0-A5 (D14-D19) on PORTC; of the Mega's, the pins the tests wire (D2 PE4, D3 PE5, D12 PB6,
// D13 PB7, D22-D29 PA0-PA7), its analog pins starting at D54.
struct Pin
{
    int digital;
    char port;
    int bit;
};
struct Model
{
    const char *mcu;
    int analogBase; // the digital number of A0
    std::vector<Pin> pins;
};
Model uno()
{
    Model model { "atmega328p", 14, {} };
    for (int d = 0; d < 20; ++d)
        model.pins.push_back({ d,
                d < 8            ? 'D'
                        : d < 14 ? 'B'
                                 : 'C',
                d < 8            ? d
                        : d < 14 ? d - 8
                                 : d - 14 });
    return model;
}
Model mega()
{
    Model model { "atmega2560", 54,
        { { 2, 'E', 4 }, { 3, 'E', 5 }, { 12, 'B', 6 }, { 13, 'B', 7 } } };
    for (int d = 22; d < 30; ++d)
        model.pins.push_back({ d, 'A', d - 22 });
    return model;
}
Model model;

bool pinOf(const std::string &name, Pin &pin)
{
    if (name.size() < 2 || (name[0] != 'D' && name[0] != 'A'))
        return false;
    char *end = nullptr;
    const long number = std::strtol(name.c_str() + 1, &end, 10);
    if (*end != '\0')
        return false;
    const long digital = name[0] == 'A' ? number + model.analogBase : number;
    for (const Pin &known : model.pins)
        if (known.digital == digital) {
            pin = known;
            return true;
        }
    return false;
}

// A serial line between two ends at different speeds, bit by bit: `bytes` sent back to back at
// `sender` baud (start bit low, eight data bits from the lowest, stop bit high, the line high
// between) as a receiver at `receiver` baud reads them, sampling each bit in its middle once a
// falling edge has started a byte. Time counts in units of 1 / (2 * sender * receiver) s.
std::vector<std::uint8_t> across(const std::vector<std::uint8_t> &bytes, long sender, long receiver)
{
    if (sender == receiver || bytes.empty())
        return bytes;
    const long long sent = 2LL * receiver, read = 2LL * sender; // a bit's length at each end
    const long long frames = static_cast<long long>(bytes.size());
    const long long end = frames * 10 * sent;
    const auto level = [&](long long t) {
        const long long bit = t / sent, frame = bit / 10, within = bit % 10;
        if (t < 0 || frame >= frames || within == 9)
            return 1;
        if (within == 0)
            return 0;
        return (bytes[static_cast<std::size_t>(frame)] >> (within - 1)) & 1;
    };
    // The first time from `t` on that the line is low after being high (an edge falls only where a
    // sent bit starts).
    const auto fallFrom = [&](long long t) -> long long {
        if (level(t) == 0 && level(t - 1) == 1)
            return t;
        while (level(t) == 0 && t < end) // the line must go high again first
            t = (t / sent + 1) * sent;
        for (long long b = (t / sent + 1) * sent; b < end; b += sent)
            if (level(b) == 0)
                return b;
        return -1;
    };
    std::vector<std::uint8_t> heard;
    for (long long t = 0;;) {
        const long long edge = fallFrom(t);
        if (edge < 0)
            break;
        const long long middle = edge + read / 2;
        if (level(middle) != 0) { // a glitch, not a start bit
            t = middle;
            continue;
        }
        std::uint8_t value = 0;
        for (int i = 0; i < 8; ++i)
            value = static_cast<std::uint8_t>(value | level(middle + (i + 1) * read) << i);
        heard.push_back(value);
        t = middle + 9 * read; // the stop bit's middle
    }
    return heard;
}

speed_t speedCode(long baud)
{
    switch (baud) {
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    case 230400:
        return B230400;
    default:
        return B0;
    }
}
long baudOf(speed_t code)
{
    for (const long baud : { 9600L, 19200L, 38400L, 57600L, 115200L, 230400L })
        if (speedCode(baud) == code)
            return baud;
    return 0;
}

struct Board
{
    avr_t *avr = nullptr;
    int master = -1; // the terminal, or the network client's socket
    int listener = -1; // --tcp
    bool client = false;
    bool frozen = true;
    bool stalled = false; // --tcp, after "freeze"
    long baud = 0; // the firmware's, with --baud
    struct Bounce
    {
        avr_cycle_count_t at;
        char port;
        int bit, level;
    };
    std::deque<Bounce> bounces; // a switch's changes to come, in the chip's time
    bool acceptsInput = true; // the UART's input queue has room
    std::deque<std::uint8_t> toChip;
    std::vector<std::uint8_t> fromChip;
    std::vector<std::uint8_t> toClient; // as the client hears it
    avr_cycle_count_t lastActivity = 0;
    avr_cycle_count_t resetAt = 0;
    // Wall time and chip time at the last resumption, for running in wall time.
    double wallAt = 0;
    avr_cycle_count_t cycleAt = 0;
    int lastLevel[128];
    std::size_t received = 0; // bytes from the client since it opened
    struct External
    {
        std::uint8_t mask = 0, value = 0;
    } external[26]; // by port letter

    avr_ioport_state_t state(char port)
    {
        avr_ioport_state_t s {};
        avr_ioctl(avr, AVR_IOCTL_IOPORT_GETSTATE(port), &s);
        return s;
    }
    External &externalOf(char port) { return external[port - 'A']; }
    void active() { lastActivity = avr->cycle; }
    void resume()
    {
        if (!frozen)
            return;
        frozen = false;
        wallAt = now();
        cycleAt = avr->cycle;
        active();
    }
};

Board board;

void onUartOutput(avr_irq_t *, uint32_t value, void *)
{
    board.fromChip.push_back(static_cast<std::uint8_t>(value));
    board.active();
}
void onXon(avr_irq_t *, uint32_t, void *)
{
    board.acceptsInput = true;
}
void onXoff(avr_irq_t *, uint32_t, void *)
{
    board.acceptsInput = false;
}

void onPin(avr_irq_t *, uint32_t value, void *param)
{
    const auto *pin = static_cast<const Pin *>(param);
    const bool output = (board.state(pin->port).ddr >> pin->bit) & 1;
    const int level = value ? 1 : 0;
    if (!output || board.lastLevel[pin->digital] == level)
        return;
    board.lastLevel[pin->digital] = level;
    board.active();
    say("pin D" + std::to_string(pin->digital) + " " + std::to_string(level));
}

void drive(char port, int bit, int level)
{
    Board::External &e = board.externalOf(port);
    if (level < 0)
        e.mask = static_cast<std::uint8_t>(e.mask & ~(1u << bit));
    else
        e.mask = static_cast<std::uint8_t>(e.mask | (1u << bit));
    if (level > 0)
        e.value = static_cast<std::uint8_t>(e.value | (1u << bit));
    else
        e.value = static_cast<std::uint8_t>(e.value & ~(1u << bit));
    avr_ioport_external_t external {};
    external.name = static_cast<unsigned char>(port) & 0x7F;
    external.mask = e.mask;
    external.value = e.value;
    avr_ioctl(board.avr, AVR_IOCTL_IOPORT_SET_EXTERNAL(port), &external);
    // Applied now; an open pin goes back to what the chip's pull-up makes of it.
    const avr_ioport_state_t s = board.state(port);
    const int pulledUp = (s.port >> bit) & 1;
    avr_raise_irq(avr_io_getirq(board.avr, AVR_IOCTL_IOPORT_GETIRQ(port), bit),
            static_cast<uint32_t>(level < 0 ? pulledUp : level));
}

// The speed the host has set its end of the terminal to; the firmware's where none is compared.
// The terminal starts at speed 0, which a host that sets none keeps and a host that restores what
// it found puts back as it closes (Qt does): 0 leaves the speed last set, at which the host's last
// bytes, read after it closed, were sent.
long hostSpeed = 0;
void noteHostBaud()
{
    termios line {};
    if (board.baud != 0 && board.listener < 0 && ::tcgetattr(board.master, &line) == 0
            && ::cfgetospeed(&line) != B0)
        hostSpeed = baudOf(::cfgetospeed(&line));
}
long hostBaud()
{
    return board.baud == 0 || board.listener >= 0 ? board.baud : hostSpeed;
}

void endConnection()
{
    ::close(board.master);
    board.master = -1;
}

bool command(const std::string &line)
{
    char verb[16] = {}, name[16] = {}, how[16] = {};
    int changes = 0, apart = 0;
    const int words =
            std::sscanf(line.c_str(), "%15s %15s %15s %d %d", verb, name, how, &changes, &apart);
    Pin pin {};
    if (words >= 1 && std::strcmp(verb, "quit") == 0)
        return false;
    if (words == 1 && std::strcmp(verb, "received") == 0) {
        std::printf("received %zu\n", board.received);
        std::fflush(stdout);
        return true;
    }
    if (words == 1 && std::strcmp(verb, "drop") == 0 && board.listener >= 0 && board.client) {
        endConnection(); // seen as the client's close below
        say("dropped");
        return true;
    }
    if (words == 1 && std::strcmp(verb, "freeze") == 0 && board.listener >= 0) {
        board.stalled = true;
        board.frozen = true;
        say("frozen");
        return true;
    }
    if (words == 5 && std::strcmp(verb, "bounce") == 0 && pinOf(name, pin) && changes > 0
            && apart > 0 && (std::strcmp(how, "low") == 0 || std::strcmp(how, "high") == 0)) {
        const int level = std::strcmp(how, "low") == 0 ? 0 : 1;
        board.resume();
        // Odd changes reach the level, even ones open the contact again; the last is the level.
        for (int c = 0; c < changes; ++c) {
            const bool atLevel = (changes - c) % 2 == 1;
            board.bounces.push_back({ board.avr->cycle
                            + static_cast<avr_cycle_count_t>(c) * apart * (kFrequency / 1000),
                    pin.port, pin.bit, atLevel ? level : -1 });
        }
        say("bouncing " + std::string(name) + " " + how);
        return true;
    }
    if (words == 3 && std::strcmp(verb, "switch") == 0 && pinOf(name, pin)) {
        const int level = std::strcmp(how, "low") == 0 ? 0 : std::strcmp(how, "high") == 0 ? 1 : -1;
        if (level < 0 && std::strcmp(how, "open") != 0) {
            say("error " + line);
            return true;
        }
        board.resume();
        drive(pin.port, pin.bit, level);
        say("switched " + std::string(name) + " " + how);
    } else if (words == 2 && std::strcmp(verb, "state") == 0 && pinOf(name, pin)) {
        const avr_ioport_state_t s = board.state(pin.port);
        const bool output = (s.ddr >> pin.bit) & 1;
        const bool portBit = (s.port >> pin.bit) & 1;
        const bool level = (s.pin >> pin.bit) & 1;
        std::printf("state %s %s%s %d\n", name, output ? "output" : "input",
                !output && portBit ? " pull-up" : "", output ? portBit : level);
        std::fflush(stdout);
    } else {
        say("error " + line);
    }
    return true;
}

// Reads what the client wrote; false once it has closed the port or the connection.
bool readClient()
{
    std::uint8_t bytes[256];
    for (;;) {
        if (board.master < 0)
            return false;
        const ssize_t got = ::read(board.master, bytes, sizeof bytes);
        if (got > 0) {
            noteHostBaud();
            const std::vector<std::uint8_t> heard =
                    across({ bytes, bytes + got }, hostBaud(), board.baud);
            board.toChip.insert(board.toChip.end(), heard.begin(), heard.end());
            board.received += static_cast<std::size_t>(got);
            board.resume();
            continue;
        }
        if (got == 0 && board.listener >= 0)
            return false; // the connection closed
        // EIO: no client holds the terminal; ECONNRESET: the connection was reset.
        return !(got < 0 && (errno == EIO || errno == ECONNRESET || errno == EPIPE));
    }
}

std::string pending; // a command line not yet ended
bool readCommands()
{
    char bytes[256];
    const ssize_t got = ::read(STDIN_FILENO, bytes, sizeof bytes);
    if (got <= 0)
        return false;
    pending.append(bytes, static_cast<std::size_t>(got));
    for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
        const std::string line = pending.substr(0, end);
        pending.erase(0, end + 1);
        if (!command(line))
            return false;
    }
    return true;
}

void flushToClient()
{
    if (!board.fromChip.empty()) {
        const std::vector<std::uint8_t> heard = across(board.fromChip, board.baud, hostBaud());
        board.toClient.insert(board.toClient.end(), heard.begin(), heard.end());
        board.fromChip.clear();
    }
    while (!board.toClient.empty() && board.master >= 0) {
        const ssize_t put = board.listener >= 0
                ? ::send(board.master, board.toClient.data(), board.toClient.size(), MSG_NOSIGNAL)
                : ::write(board.master, board.toClient.data(), board.toClient.size());
        if (put <= 0)
            return; // full: the rest goes with the next slice
        board.toClient.erase(board.toClient.begin(), board.toClient.begin() + put);
    }
}

// Applies the bounces that are due.
void bounce()
{
    while (!board.bounces.empty() && board.bounces.front().at <= board.avr->cycle) {
        const Board::Bounce b = board.bounces.front();
        board.bounces.pop_front();
        drive(b.port, b.bit, b.level);
        board.active();
    }
}

} // namespace

// A client came: the chip resets, as a Uno's DTR resets it, unless it keeps running across opens.
void clientCame(bool resetsOnOpen, bool &started)
{
    board.client = true;
    const bool reset = resetsOnOpen || !started;
    if (reset) {
        avr_reset(board.avr);
        board.resetAt = board.avr->cycle;
        for (int &level : board.lastLevel)
            level = -1; // every output pin's first level after the reset is reported
        started = true;
    }
    board.toChip.clear();
    board.fromChip.clear();
    board.toClient.clear();
    board.received = 0;
    board.frozen = true;
    board.resume();
    hostSpeed = board.baud;
    noteHostBaud();
    say("open");
    if (reset)
        say("reset");
}

// Runs the chip for `cycles`, feeding it what the client wrote as its UART takes it.
bool run(avr_irq_t *uartInput, avr_cycle_count_t cycles)
{
    const avr_cycle_count_t until = board.avr->cycle + cycles;
    while (board.avr->cycle < until) {
        bounce();
        if (!board.toChip.empty() && board.acceptsInput) {
            avr_raise_irq(uartInput, board.toChip.front());
            board.toChip.pop_front();
            board.active();
        }
        const int state = avr_run(board.avr);
        if (state == cpu_Done || state == cpu_Crashed) {
            say("crashed");
            return false;
        }
    }
    return true;
}

int main(int argc, char **argv)
{
    bool resetsOnOpen = true, network = false, ipv6 = false;
    model = uno();
    int a = 1;
    for (; a < argc - 1; ++a) {
        if (std::strcmp(argv[a], "--no-reset") == 0)
            resetsOnOpen = false;
        else if (std::strcmp(argv[a], "--mega") == 0)
            model = mega();
        else if (std::strcmp(argv[a], "--tcp") == 0)
            network = true;
        else if (std::strcmp(argv[a], "--tcp6") == 0)
            network = ipv6 = true;
        else if (std::strcmp(argv[a], "--baud") == 0 && a + 1 < argc - 1
                && speedCode(std::atol(argv[a + 1])) != B0)
            board.baud = std::atol(argv[++a]);
        else
            break;
    }
    if (a != argc - 1) {
        std::fprintf(stderr,
                "usage: meridan-avr-board [--no-reset] [--mega] [--baud N] [--tcp|--tcp6] "
                "IMAGE.hex\n");
        return 2;
    }
    if (network)
        resetsOnOpen = false;
    const char *path = argv[a];
    std::uint32_t size = 0, start = 0;
    std::uint8_t *image = read_ihex_file(path, &size, &start);
    if (image == nullptr) {
        std::fprintf(stderr, "meridan-avr-board: cannot read %s\n", path);
        return 1;
    }
    bool started = false;
    elf_firmware_t firmware {};
    std::strcpy(firmware.mmcu, model.mcu);
    firmware.frequency = kFrequency;
    firmware.flash = image;
    firmware.flashsize = size;
    firmware.flashbase = start;
    board.avr = avr_make_mcu_by_name(firmware.mmcu);
    if (board.avr == nullptr || avr_init(board.avr) != 0) {
        std::fprintf(stderr, "meridan-avr-board: no %s in this simavr\n", model.mcu);
        return 1;
    }
    board.avr->log = LOG_NONE;
    avr_load_firmware(board.avr, &firmware);

    // The UART: bytes straight to and from the terminal, no echo on standard output, no sleep.
    std::uint32_t flags = 0;
    avr_ioctl(board.avr, AVR_IOCTL_UART_GET_FLAGS('0'), &flags);
    flags &= ~(AVR_UART_FLAG_STDIO | AVR_UART_FLAG_POLL_SLEEP);
    avr_ioctl(board.avr, AVR_IOCTL_UART_SET_FLAGS('0'), &flags);
    avr_irq_register_notify(avr_io_getirq(board.avr, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_OUTPUT),
            onUartOutput, nullptr);
    avr_irq_register_notify(
            avr_io_getirq(board.avr, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_OUT_XON), onXon, nullptr);
    avr_irq_register_notify(avr_io_getirq(board.avr, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_OUT_XOFF),
            onXoff, nullptr);
    avr_irq_t *uartInput = avr_io_getirq(board.avr, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_INPUT);
    for (const Pin &pin : model.pins)
        avr_irq_register_notify(
                avr_io_getirq(board.avr, AVR_IOCTL_IOPORT_GETIRQ(pin.port), pin.bit), onPin,
                const_cast<Pin *>(&pin));
    for (int &level : board.lastLevel)
        level = -1;

    if (network) {
        board.listener = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int yes = 1;
        ::setsockopt(board.listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        sockaddr_in address {};
        sockaddr_in6 address6 {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address6.sin6_family = AF_INET6;
        address6.sin6_addr = in6addr_loopback;
        sockaddr *bound = ipv6 ? reinterpret_cast<sockaddr *>(&address6)
                               : reinterpret_cast<sockaddr *>(&address);
        socklen_t length = ipv6 ? sizeof address6 : sizeof address;
        if (::bind(board.listener, bound, length) != 0 || ::listen(board.listener, 1) != 0
                || ::getsockname(board.listener, bound, &length) != 0) {
            std::perror("meridan-avr-board: listen");
            return 1;
        }
        std::printf("tcp %d\n", ntohs(ipv6 ? address6.sin6_port : address.sin_port));
    } else {
        board.master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (board.master < 0 || ::grantpt(board.master) != 0 || ::unlockpt(board.master) != 0) {
            std::perror("meridan-avr-board: posix_openpt");
            return 1;
        }
        // Raw, as a serial port is: no echo, no line editing, every byte as it is. A client that
        // sets its own keeps it; until then the firmware's bytes are never echoed back to it.
        termios raw {};
        if (::tcgetattr(board.master, &raw) == 0) {
            ::cfmakeraw(&raw);
            ::cfsetspeed(&raw, B0);
            ::tcsetattr(board.master, TCSANOW, &raw);
        }
        std::printf("pty %s\n", ::ptsname(board.master));
    }
    std::fflush(stdout);

    for (;;) {
        const int link = network && !board.client ? board.listener : board.master;
        pollfd watched[2] = { { board.stalled && board.client ? -1 : link, POLLIN, 0 },
            { STDIN_FILENO, POLLIN, 0 } };
        int timeout = -1;
        if (!board.client) {
            // A terminal nobody holds reads as hung up: look again shortly.
            timeout = network ? -1 : 10;
        } else if (!board.frozen) {
            const double chipMs =
                    static_cast<double>(board.avr->cycle - board.cycleAt) * 1000.0 / kFrequency;
            const double ahead = chipMs - (now() - board.wallAt);
            timeout = ahead > 0 ? static_cast<int>(ahead) : 0;
        }
        ::poll(watched, 2, timeout);
        if (watched[1].revents != 0 && !readCommands())
            break;
        if (network && !board.client) {
            if (watched[0].revents & POLLIN) {
                board.master =
                        ::accept4(board.listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
                if (board.master >= 0) {
                    const int yes = 1;
                    ::setsockopt(board.master, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
                    board.stalled = false;
                    clientCame(resetsOnOpen, started);
                }
            }
            continue;
        }
        const bool hungUp = board.client
                && (network ? board.master < 0
                                        || ((watched[0].revents & (POLLIN | POLLHUP | POLLERR))
                                                && !readClient())
                            : (watched[0].revents & POLLHUP) != 0);
        if (!network && !board.client && !hungUp && (watched[0].revents & POLLIN || timeout >= 0)) {
            // A client opened the port.
            pollfd again { board.master, POLLIN, 0 };
            ::poll(&again, 1, 0);
            if ((again.revents & POLLHUP) == 0)
                clientCame(resetsOnOpen, started);
        } else if (hungUp) {
            // What the client wrote before it closed reaches the pins first, as on a real line.
            if (!network)
                readClient();
            board.resume();
            if (!run(uartInput, 20 * kSlice))
                return 1;
            if (network && board.master >= 0)
                endConnection();
            board.client = false;
            board.frozen = true;
            board.stalled = false;
            say("close " + std::to_string(board.received));
            continue;
        }
        if (!board.client)
            continue;
        noteHostBaud();
        if (!network && (watched[0].revents & POLLIN))
            readClient();
        if (board.frozen)
            continue;
        // One slice of the chip's time.
        if (!run(uartInput, kSlice))
            return 1;
        flushToClient();
        if (board.toChip.empty() && board.fromChip.empty() && board.toClient.empty()
                && board.bounces.empty() && board.avr->cycle - board.resetAt > kStarting
                && board.avr->cycle - board.lastActivity > kQuiet)
            board.frozen = true;
    }
    return 0;
}
