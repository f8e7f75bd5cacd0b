// meridan-firmata-latency: how long a switch takes to reach the lamps on an Arduino running
// StandardFirmata, for bench/firmata_latency.sh, which runs it against the real firmware on an
// emulated Uno (meridan-bench-avr-board).
//
//   bare PORT IN OUT1 OUT0   the least a host does to answer the switch on pin IN (to ground,
//                            over the chip's pull-up): it waits for the firmware's version,
//                            makes OUT1 and OUT0 outputs and IN an input with its pull-up, asks
//                            for IN's port reports, and then blocks reading the port: on each
//                            report of the switch closed it lights OUT1, on each report of it
//                            open it writes OUT1's port dark (and OUT0's, if another), one
//                            DIGITAL_MESSAGE each, as the panel's offlights does. Prints "ready"
//                            once the firmware has answered.
//   report EVENTS IN OUT     for each "switched IN open" in the emulated board's EVENTS, the time
//                            to the next "pin OUT 0" (none if that is 100 ms or more): count,
//                            median, p99 and maximum in ms.

#include "bench/latency_report.h"
#include "board/firmata/firmata_protocol.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace firmata = meridan::firmata;

namespace {

int usage()
{
    std::fprintf(stderr,
            "usage: meridan-firmata-latency bare PORT IN OUT1 OUT0 | report EVENTS IN OUT\n");
    return 2;
}

int fail(const char *what)
{
    std::fprintf(stderr, "meridan-firmata-latency: %s: %s\n", what, std::strerror(errno));
    return 1;
}

bool send(int port, const std::vector<std::uint8_t> &bytes)
{
    return ::write(port, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

int bare(const char *path, int in, int out1, int out0)
{
    const int port = ::open(path, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (port < 0)
        return fail(path);
    termios line {};
    if (::tcgetattr(port, &line) != 0)
        return fail("tcgetattr");
    ::cfmakeraw(&line);
    ::cfsetspeed(&line, B57600);
    if (::tcsetattr(port, TCSANOW, &line) != 0)
        return fail("tcsetattr");

    firmata::Parser parser;
    std::uint8_t bytes[256];
    // The firmware speaks first once it has started after the reset the port's opening made.
    bool answered = false;
    while (!answered) {
        pollfd ready { port, POLLIN, 0 };
        if (::poll(&ready, 1, 10'000) <= 0) {
            std::fprintf(stderr, "meridan-firmata-latency: no version from the firmware\n");
            return 1;
        }
        const ssize_t got = ::read(port, bytes, sizeof bytes);
        if (got <= 0)
            return fail("read");
        parser.feed(bytes, static_cast<std::size_t>(got), [&answered](const firmata::Message &m) {
            answered = answered || std::holds_alternative<firmata::VersionReport>(m);
        });
    }
    const auto portOf = [](int pin) { return static_cast<std::uint8_t>(pin / 8); };
    const auto bitOf = [](int pin) { return static_cast<std::uint8_t>(1u << (pin % 8)); };
    // StandardFirmata 2.4 has no pull-up mode: an input's pull-up is a 1 written to its pin.
    for (const auto &message :
            { firmata::setPinMode(static_cast<std::uint8_t>(out1), firmata::kOutput),
                    firmata::setPinMode(static_cast<std::uint8_t>(out0), firmata::kOutput),
                    firmata::setPinMode(static_cast<std::uint8_t>(in), firmata::kInput),
                    firmata::digitalMessage(portOf(in), bitOf(in)),
                    firmata::reportDigital(portOf(in), true) })
        if (!send(port, message))
            return fail("write");
    std::printf("ready\n");
    std::fflush(stdout);

    std::optional<bool> closed;
    for (;;) {
        const ssize_t got = ::read(port, bytes, sizeof bytes);
        if (got <= 0)
            return got == 0 ? 0 : fail("read");
        bool ok = true;
        parser.feed(bytes, static_cast<std::size_t>(got), [&](const firmata::Message &m) {
            const auto *report = std::get_if<firmata::DigitalReport>(&m);
            if (report == nullptr || report->port != portOf(in))
                return;
            const bool nowClosed = (report->bits & bitOf(in)) == 0;
            if (closed == nowClosed)
                return;
            closed = nowClosed;
            if (nowClosed) {
                ok = ok && send(port, firmata::digitalMessage(portOf(out1), bitOf(out1)));
                return;
            }
            ok = ok && send(port, firmata::digitalMessage(portOf(out1), 0));
            if (portOf(out0) != portOf(out1))
                ok = ok && send(port, firmata::digitalMessage(portOf(out0), 0));
        });
        if (!ok)
            return fail("write");
    }
}

int report(const char *eventsPath, const std::string &in, const std::string &out)
{
    std::ifstream events(eventsPath);
    if (!events) {
        std::fprintf(stderr, "meridan-firmata-latency: cannot read %s\n", eventsPath);
        return 1;
    }
    const std::string opened = "switched " + in + " open";
    const std::string dark = "pin " + out + " 0";
    std::vector<double> latencies;
    std::size_t opens = 0;
    double since = 0; // the switch's last opening, while it is not yet answered
    bool waiting = false;
    for (std::string text; std::getline(events, text);) {
        std::istringstream words(text);
        double at = 0;
        std::string rest;
        if (!(words >> at) || !std::getline(words >> std::ws, rest))
            continue;
        if (rest == opened) {
            ++opens;
            since = at;
            waiting = true;
        } else if (rest == dark && waiting) {
            // A lamp that was not lit when the switch opened goes dark only at a later turn.
            if (at - since < 100)
                latencies.push_back(at - since);
            waiting = false;
        }
    }
    return meridan::bench::printLatencies(std::move(latencies), opens);
}

} // namespace

int main(int argc, char **argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "bare" && argc == 6)
        return bare(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]));
    if (command == "report" && argc == 5)
        return report(argv[2], argv[3], argv[4]);
    return usage();
}
