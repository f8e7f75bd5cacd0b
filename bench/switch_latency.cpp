// meridan-switch-latency: how long a switch takes to reach the lamps on Linux GPIO, for
// bench/switch_latency.sh, which runs it inside the real-kernel machine with gpio-sim.
//
//   bare CHIP IN OUT1 OUT0     the least a program does to answer the switch: it holds the input
//                              line (both edges) and the two output lines, blocks reading the
//                              line request's events, and on each falling edge (the switch off)
//                              writes output 1 then output 0 dark, one
//                              GPIO_V2_LINE_SET_VALUES_IOCTL each, as the panel's offlights does.
//                              Prints "ready" once it holds the lines.
//   drive PULL COUNT GAP_MS    turns the switch on and off COUNT times through gpio-sim's pull
//                              file PULL, GAP_MS after each change, and prints the monotonic time
//                              (ns) of each turn off, taken just before the write that makes it.
//   report OFFS RECORD         for each turn off in the file OFFS, the time to the first line
//                              write after it in RECORD (the line recorder's "bits mask ns"
//                              lines); prints count, median, p99 and maximum in milliseconds.

#include "bench/latency_report.h"

#include <linux/gpio.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

namespace {

int usage()
{
    std::fprintf(stderr,
            "usage: meridan-switch-latency bare CHIP IN OUT1 OUT0 | drive PULL COUNT GAP_MS"
            " | report OFFS RECORD\n");
    return 2;
}

long long monotonicNanoseconds()
{
    timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

int bare(const char *chipPath, unsigned in, unsigned out1, unsigned out0)
{
    const int chip = ::open(chipPath, O_RDWR | O_CLOEXEC);
    if (chip < 0) {
        std::fprintf(stderr, "meridan-switch-latency: %s: %s\n", chipPath, std::strerror(errno));
        return 1;
    }
    gpio_v2_line_request request {};
    request.offsets[0] = in;
    request.offsets[1] = out1;
    request.offsets[2] = out0;
    request.num_lines = 3;
    std::strncpy(request.consumer, "meridan bare reader", sizeof request.consumer - 1);
    request.config.flags = GPIO_V2_LINE_FLAG_INPUT | GPIO_V2_LINE_FLAG_EDGE_RISING
            | GPIO_V2_LINE_FLAG_EDGE_FALLING;
    request.config.num_attrs = 1;
    request.config.attrs[0].attr.id = GPIO_V2_LINE_ATTR_ID_FLAGS;
    request.config.attrs[0].attr.flags = GPIO_V2_LINE_FLAG_OUTPUT;
    request.config.attrs[0].mask = 0b110;
    if (::ioctl(chip, GPIO_V2_GET_LINE_IOCTL, &request) != 0) {
        std::fprintf(stderr, "meridan-switch-latency: the lines: %s\n", std::strerror(errno));
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;) {
        gpio_v2_line_event event {};
        if (::read(request.fd, &event, sizeof event) != static_cast<ssize_t>(sizeof event))
            return 1;
        if (event.id != GPIO_V2_LINE_EVENT_FALLING_EDGE)
            continue;
        for (const std::uint64_t line : { 0b010u, 0b100u }) { // output 1, then output 0
            gpio_v2_line_values dark { 0, line };
            if (::ioctl(request.fd, GPIO_V2_LINE_SET_VALUES_IOCTL, &dark) != 0)
                return 1;
        }
    }
}

bool writeText(const char *path, const char *text)
{
    const int file = ::open(path, O_WRONLY | O_CLOEXEC);
    if (file < 0)
        return false;
    const auto length = static_cast<ssize_t>(std::strlen(text));
    const bool written = ::write(file, text, static_cast<std::size_t>(length)) == length;
    ::close(file);
    return written;
}

int drive(const char *pull, int count, int gapMs)
{
    const auto gap = std::chrono::milliseconds(gapMs);
    for (int i = 0; i < count; ++i) {
        if (!writeText(pull, "pull-up"))
            return 1;
        std::this_thread::sleep_for(gap);
        const long long off = monotonicNanoseconds();
        if (!writeText(pull, "pull-down"))
            return 1;
        std::printf("%lld\n", off);
        std::this_thread::sleep_for(gap);
    }
    return 0;
}

int report(const char *offsPath, const char *recordPath)
{
    std::vector<long long> offs, writes;
    std::ifstream offsFile(offsPath);
    for (long long off; offsFile >> off;)
        offs.push_back(off);
    std::ifstream recordFile(recordPath);
    for (std::string bits, mask; recordFile >> bits >> mask;) {
        long long at = 0;
        if (!(recordFile >> at))
            break;
        writes.push_back(at);
    }
    std::sort(writes.begin(), writes.end());
    std::vector<double> latencies;
    for (const long long off : offs) {
        const auto answer = std::upper_bound(writes.begin(), writes.end(), off);
        if (answer != writes.end())
            latencies.push_back(static_cast<double>(*answer - off) / 1e6);
    }
    return meridan::bench::printLatencies(std::move(latencies), offs.size());
}

} // namespace

int main(int argc, char **argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "bare" && argc == 6)
        return bare(argv[2], static_cast<unsigned>(std::atoi(argv[3])),
                static_cast<unsigned>(std::atoi(argv[4])),
                static_cast<unsigned>(std::atoi(argv[5])));
    if (command == "drive" && argc == 5)
        return drive(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
    if (command == "report" && argc == 4)
        return report(argv[2], argv[3]);
    return usage();
}
