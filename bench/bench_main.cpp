// meridan-bench: runs the panel's production pieces (Form1, the phase scheduler on the kernel
// wake-up timer, the operator window and the simulated board, in a Qt event loop on the offscreen
// platform) and measures how close each lamp edge comes to its ideal moment, beside a bare kernel
// timer on the same schedule as the machine's own limit.

#include "app/simulated_board_view.h"
#include "bench/edge_statistics.h"
#include "board/board_library.h"
#include "board/simulated/simulated_board.h"
#include "signal/form1.h"
#include "system/monotonic_clock.h"
#include "system/precise_wake_up.h"
#include "window/operator_window.h"
#include "window/qt_desktop.h"

#include <QApplication>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <dlfcn.h>
#include <poll.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/timerfd.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

using namespace meridan;
using namespace meridan::bench;

// The moment the event loop's thread last returned from poll(), glib's wait: the benchmark's own
// poll() stands before the C library's, so that an edge's wake splits into the kernel's part
// (deadline to the return from the wait) and the event loop's (the return to the handler).
namespace {
std::atomic<std::int64_t> lastPollReturn { 0 };
std::atomic<std::int64_t> lastLoopPollReturn { 0 };
std::atomic<pthread_t> loopThread {};
} // namespace

extern "C" int poll(pollfd *descriptors, nfds_t count, int timeout)
{
    using Poll = int (*)(pollfd *, nfds_t, int);
    static const auto next = reinterpret_cast<Poll>(::dlsym(RTLD_NEXT, "poll"));
    const int result = next(descriptors, count, timeout);
    if (::pthread_equal(::pthread_self(), loopThread.load())) {
        const std::int64_t now = std::chrono::steady_clock::now().time_since_epoch().count();
        lastPollReturn = now;
        // The event loop waits on several descriptors; the wake-up's own wait on its timer alone.
        if (count > 1)
            lastLoopPollReturn = now;
    }
    return result;
}

namespace {

enum class Mode { Left, Right, Hazard };

struct Options
{
    Mode mode = Mode::Left;
    int value = 200;
    double seconds = 60;
    bool load = false;
    bool soak = false;
    Duration lead = PreciseWakeUp::defaultLead;
    Duration spin = PreciseWakeUp::defaultSpin;
};

[[noreturn]] void usage(const std::string &problem)
{
    std::cerr << "meridan-bench: " << problem << "\n"
              << "usage: meridan-bench [--mode left|right|hazard] [--value V (100 to 1000)]"
                 " [--seconds S] [--load] [--soak]"
                 " [--lead-us MICROSECONDS] [--spin-us MICROSECONDS]\n";
    std::exit(2);
}

// An option's whole number of microseconds, 0 to `most`.
Duration microseconds(const std::string &text, int most, const std::string &what)
{
    const int value = std::atoi(text.c_str());
    if (value < 0 || value > most)
        usage(what + " is 0 to " + std::to_string(most) + " microseconds");
    return std::chrono::microseconds(value);
}

Options parse(int argc, char **argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const auto next = [&]() -> std::string {
            if (i + 1 >= argc)
                usage(std::string(arg) + " needs a value");
            return argv[++i];
        };
        if (arg == "--mode") {
            const std::string mode = next();
            if (mode == "left")
                options.mode = Mode::Left;
            else if (mode == "right")
                options.mode = Mode::Right;
            else if (mode == "hazard")
                options.mode = Mode::Hazard;
            else
                usage("unknown mode \"" + mode + "\"");
        } else if (arg == "--value") {
            options.value = std::atoi(next().c_str());
            if (options.value < 100 || options.value > 1000)
                usage("the value is the scroll bar's, 100 to 1000");
        } else if (arg == "--seconds") {
            options.seconds = std::atof(next().c_str());
            if (!(options.seconds > 0))
                usage("the duration must be above 0 seconds");
        } else if (arg == "--load") {
            options.load = true;
        } else if (arg == "--soak") {
            options.soak = true;
        } else if (arg == "--spin-us") {
            options.spin = microseconds(next(), 1'000, "the spin");
        } else if (arg == "--lead-us") {
            options.lead = microseconds(next(), 10'000, "the lead");
        } else {
            usage("unknown option \"" + std::string(arg) + "\"");
        }
    }
    return options;
}

double milliseconds(Duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

// The ideal moment of edge k (0-based) counted from t0: dark for V, lit for H, and so on.
Duration idealOffset(std::size_t k, int value, int half)
{
    const auto pairs = static_cast<std::int64_t>(k / 2);
    std::int64_t ms = (pairs + 1) * value + pairs * half;
    if (k % 2 == 1)
        ms += half;
    return Milliseconds { ms };
}

// A child that keeps one core busy until the benchmark ends it.
class Load
{
public:
    Load()
    {
        child = ::fork();
        if (child == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            volatile std::uint64_t spin = 0;
            for (;;)
                spin = spin + 1;
        }
    }
    ~Load()
    {
        if (child > 0) {
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
        }
    }

private:
    pid_t child = -1;
};

struct ThreadUsage
{
    double cpuMs = 0;
    long voluntarySwitches = 0;
};

// CPU time from the scheduler's own accounting (exact, unlike the tick-sampled rusage times) and
// voluntary context switches, each one a sleep that something woke, for the calling thread.
ThreadUsage threadUsage()
{
    timespec cpu {};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
    rusage usage {};
    ::getrusage(RUSAGE_THREAD, &usage);
    return { static_cast<double>(cpu.tv_sec) * 1000.0 + static_cast<double>(cpu.tv_nsec) / 1e6,
        usage.ru_nvcsw };
}

// Edges on one lamp in `seconds` of blinking, with room to spare.
std::size_t expectedEdges(double seconds, int value, int half)
{
    return static_cast<std::size_t>(seconds * 1000 / (value + half) * 2 + 1000);
}

// The machine's own limit: a bare timerfd armed at absolute deadlines on the same schedule,
// on its own thread, measured in the same run, on the timerfd `fd`.
EdgeErrors bareKernelTimer(
        int fd, int value, int half, double seconds, std::atomic<bool> &stop, double &cpuMs)
{
    EdgeErrors errors;
    errors.reserve(expectedEdges(seconds, value, half));
    const double cpuStart = threadUsage().cpuMs;
    if (fd < 0)
        return errors;
    const TimePoint start = std::chrono::steady_clock::now();
    for (std::size_t k = 0; !stop; ++k) {
        const TimePoint deadline = start + idealOffset(k, value, half);
        if (milliseconds(deadline - start) > seconds * 1000)
            break;
        itimerspec alarm {};
        const auto ns = deadline.time_since_epoch().count();
        alarm.it_value.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
        alarm.it_value.tv_nsec = static_cast<long>(ns % 1'000'000'000);
        ::timerfd_settime(fd, TFD_TIMER_ABSTIME, &alarm, nullptr);
        std::uint64_t expirations = 0;
        if (::read(fd, &expirations, sizeof expirations)
                != static_cast<ssize_t>(sizeof expirations))
            break;
        const TimePoint now = std::chrono::steady_clock::now();
        errors.add(milliseconds(deadline - start), milliseconds(now - deadline));
    }
    cpuMs = threadUsage().cpuMs - cpuStart;
    return errors;
}

// The process's resident memory in kB and its open file descriptors, for the soak.
struct Footprint
{
    double minute = 0;
    long residentKb = 0;
    long descriptors = 0;
};

Footprint footprint(double minute)
{
    Footprint sample { minute };
    if (FILE *status = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, status) != nullptr)
            if (std::strncmp(line, "VmRSS:", 6) == 0)
                sample.residentKb = std::atol(line + 6);
        std::fclose(status);
    }
    for (const auto &entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        (void)entry;
        ++sample.descriptors;
    }
    return sample;
}

// Runs the event loop for `seconds`. exit(), not quit(): quit() would close the windows, and
// closing the panel ends it as END does.
void runFor(double seconds)
{
    QTimer::singleShot(
            static_cast<int>(seconds * 1000), Qt::PreciseTimer, [] { QCoreApplication::exit(0); });
    QApplication::exec();
}

// The panel's own wake-up, with the moment of each wake recorded beside the deadline it was armed
// for: an edge's error splits into the kernel's and the event loop's part (deadline to wake) and
// the panel's (wake to the board write).
class TimedWakeUp final : public WakeUp
{
public:
    struct Wake
    {
        TimePoint due;
        TimePoint loop; // the event loop's return from its wait (before the deadline, with a lead)
        TimePoint polled; // the last return from a wait: the loop's, or the wake-up's own
        TimePoint woke;
    };

    // The record is allocated and touched up front, as the record of the writes is: in a soak
    // only the panel's memory may move.
    TimedWakeUp(std::size_t expected, Duration lead, Duration spin) : inner(lead, spin)
    {
        wakes.resize(expected);
        wakes.clear();
    }
    void setHandler(std::function<void()> handler) override
    {
        inner.setHandler([this, run = std::move(handler)] {
            if (due && wakes.size() < wakes.capacity()) {
                wakes.push_back({ *due, TimePoint(Duration(lastLoopPollReturn.load())),
                        TimePoint(Duration(lastPollReturn.load())),
                        std::chrono::steady_clock::now() });
            }
            run();
        });
    }
    void wakeAt(std::optional<TimePoint> when) override
    {
        due = when;
        inner.wakeAt(when);
    }

    std::vector<Wake> wakes;

private:
    PreciseWakeUp inner;
    std::optional<TimePoint> due;
};

void printRow(const char *name, const Summary &s)
{
    std::printf("%-22s edges %6zu  min %8.3f  median %8.3f  p99 %8.3f  max %8.3f  last %8.3f  "
                "slope %8.4f ms/min\n",
            name, s.edges, s.min, s.median, s.p99, s.max, s.last, s.slopePerMinute);
}

} // namespace

int main(int argc, char **argv)
{
    const Options options = parse(argc, argv);
    loopThread = ::pthread_self();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("MERIDAN_BOARD", "sim");
    QApplication application(argc, argv);
    std::optional<Load> load;
    if (options.load)
        load.emplace();

    MonotonicClock clock;
    QtDesktop desktop;
    OperatorWindow window;
    TimedWakeUp wakeUp(4 * expectedEdges(options.seconds, options.value, options.value / 2),
            options.lead, options.spin);
    SimulatedBoardView boardView([](QWidget &boardWindow) { boardWindow.show(); });
    auto form = std::make_unique<Form1>(
            window.controls(), desktop, clock, wakeUp, [&clock, &boardView] {
                return std::make_unique<BoardLibrary>(clock, boardView.opener());
            });
    window.bind(*form);
    form->dispatch(&Form1::Form_Load);
    if (desktop.exitStatus()) {
        std::cerr << "meridan-bench: the panel did not start\n";
        return 1;
    }
    window.show();
    SimulatedBoard &board = *dynamic_cast<BoardLibrary &>(*form->board()).boardAs<SimulatedBoard>();
    board.setRecord(SimulatedBoard::Record::Writes);

    runFor(1); // let the windows settle: show, expose and first paint
    // Idle: no timer enabled, nothing should wake the panel.
    const double idleSeconds = std::min(options.seconds, 5.0);
    const ThreadUsage idleStart = threadUsage();
    runFor(idleSeconds);
    const ThreadUsage idleEnd = threadUsage();
    // One wake-up ends the idle period itself.
    const double idleWakeups =
            static_cast<double>(idleEnd.voluntarySwitches - idleStart.voluntarySwitches - 1)
            / idleSeconds;

    window.HScroll1->setPeriod(options.value);
    const int value = options.value;
    const int half = halfPeriod(static_cast<std::int16_t>(value));

    std::atomic<bool> stop = false;
    EdgeErrors limit;
    double bareCpuMs = 0;
    const int bareTimer = ::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC);
    std::thread bare([&] {
        limit = bareKernelTimer(bareTimer, value, half, options.seconds, stop, bareCpuMs);
    });

    // The benchmark's own record of the writes, allocated and touched up front so that in a soak
    // only the panel's memory can move; the board's record is drained into it once a minute.
    std::vector<OutputWrite> recorded;
    const std::size_t expectedWrites = 2 * expectedEdges(options.seconds, value, half);
    recorded.resize(expectedWrites);
    recorded.clear();
    const auto drain = [&board, &recorded] { board.drainWritesInto(recorded); };

    // The soak samples memory and descriptors once a minute while the lamps blink.
    std::vector<Footprint> samples;
    samples.reserve(static_cast<std::size_t>(options.seconds / 60) + 2);
    QTimer sampler;
    if (options.soak) {
        samples.push_back(footprint(0));
        QObject::connect(&sampler, &QTimer::timeout, [&samples, &drain] {
            drain();
            samples.push_back(footprint(static_cast<double>(samples.size())));
        });
        sampler.start(60'000);
    }
    const ThreadUsage blinkStart = threadUsage();
    const TimePoint t0 = clock.now();
    switch (options.mode) {
    case Mode::Left:
        form->dispatch(&Form1::Command1_Click);
        break;
    case Mode::Right:
        form->dispatch(&Form1::Command2_Click);
        break;
    case Mode::Hazard:
        form->dispatch(&Form1::Command3_Click);
        break;
    }
    runFor(options.seconds);
    const ThreadUsage blinkEnd = threadUsage();
    if (options.soak) {
        sampler.stop();
        drain();
        samples.push_back(footprint(options.seconds / 60.0));
    }
    drain();
    form->dispatch(&Form1::Command4_Click);
    stop = true;
    bare.join();
    ::close(bareTimer);

    // The lamp measured: left (output 1) for left and hazard, right (output 0) for right.
    const std::int16_t measured = options.mode == Mode::Right ? 0 : 1;
    std::vector<OutputWrite> edges;
    std::vector<OutputWrite> other;
    for (const OutputWrite &write : recorded) {
        if (write.time > t0 + Milliseconds { static_cast<std::int64_t>(options.seconds * 1000) })
            continue; // OFF's writes
        (write.output == measured ? edges : other).push_back(write);
    }
    EdgeErrors panel;
    for (std::size_t k = 0; k < edges.size(); ++k) {
        const TimePoint ideal = t0 + idealOffset(k, value, half);
        panel.add(milliseconds(ideal - t0), milliseconds(edges[k].time - ideal));
    }
    double hazardGap = 0;
    if (options.mode == Mode::Hazard)
        for (std::size_t k = 0; k < std::min(edges.size(), other.size()); ++k)
            hazardGap = std::max(hazardGap, std::abs(milliseconds(edges[k].time - other[k].time)));

    // Each edge's wake: the last one at or before its write.
    EdgeErrors loopWoken, woken, polled, dispatched, handled;
    for (const OutputWrite &edge : edges) {
        const auto wake = std::upper_bound(wakeUp.wakes.begin(), wakeUp.wakes.end(), edge.time,
                [](TimePoint time, const TimedWakeUp::Wake &w) { return time < w.woke; });
        if (wake == wakeUp.wakes.begin())
            continue;
        const TimedWakeUp::Wake &w = *std::prev(wake);
        woken.add(milliseconds(w.due - t0), milliseconds(w.woke - w.due));
        loopWoken.add(milliseconds(w.due - t0), milliseconds(w.loop - w.due));
        if (w.polled >= w.loop && w.polled <= w.woke) {
            polled.add(milliseconds(w.due - t0), milliseconds(w.polled - w.due));
            dispatched.add(milliseconds(w.due - t0), milliseconds(w.woke - w.polled));
        }
        handled.add(milliseconds(w.due - t0), milliseconds(edge.time - w.woke));
    }

    const Summary p = summarise(panel);
    const Summary l = summarise(limit);
    const double minutes = options.seconds / 60.0;
    const double cpuPerMinute = (blinkEnd.cpuMs - blinkStart.cpuMs) / minutes;
    const double blinkWakeups =
            static_cast<double>(blinkEnd.voluntarySwitches - blinkStart.voluntarySwitches)
            / options.seconds;

    const char *modeName = options.mode == Mode::Left ? "left"
            : options.mode == Mode::Right             ? "right"
                                                      : "hazard";
    std::printf("mode %s, V = %d ms (lit %d ms), %.0f s%s, the loop woken %.3f ms early, "
                "the last %.3f ms spun\n",
            modeName, value, half, options.seconds, options.load ? ", other core loaded" : "",
            milliseconds(options.lead), milliseconds(options.spin));
    std::printf("edge error against the ideal moment, ms:\n");
    printRow("panel", p);
    printRow("bare kernel timer", l);
    if (options.lead > Duration::zero())
        printRow("  loop's wake", summarise(loopWoken));
    printRow("  deadline to wake", summarise(woken));
    if (!polled.at.empty()) {
        printRow("    to poll's return", summarise(polled));
        printRow("    poll to handler", summarise(dispatched));
    }
    printRow("  wake to write", summarise(handled));
    std::printf("p99 ratio panel / bare timer: %.2f\n", l.p99 > 0 ? p.p99 / l.p99 : 0.0);
    std::printf("bare kernel timer thread: %.1f ms CPU per minute on the same schedule\n",
            bareCpuMs / minutes);
    if (options.mode == Mode::Hazard)
        std::printf("hazard: largest gap between the lamps' matching edges %.4f ms\n", hazardGap);
    std::printf("panel thread: %.1f ms CPU per minute blinking, %.2f wake-ups/s blinking "
                "(%.2f edges/s), %.2f wake-ups/s idle\n",
            cpuPerMinute, blinkWakeups, static_cast<double>(edges.size()) / options.seconds,
            idleWakeups);
    if (options.soak) {
        std::printf("soak: minute  resident kB  descriptors\n");
        for (const Footprint &sample : samples)
            std::printf("      %6.1f  %11ld  %11ld\n", sample.minute, sample.residentKb,
                    sample.descriptors);
        // Flat: after the warm-up (the first five minutes of a run of ten or more, else the first)
        // resident memory grows by less than 1 kB a minute, judged by the least-squares slope
        // so that a slow creep cannot hide under a fixed allowance, and by less than 64 kB in
        // all; and the process never holds more descriptors than it started with.
        const double warmUp = options.seconds >= 600 ? 5 : 1;
        EdgeErrors resident; // minute (as ms) against kB, for the slope
        long atWarmUp = -1;
        long mostDescriptors = samples.front().descriptors;
        for (const Footprint &sample : samples) {
            mostDescriptors = std::max(mostDescriptors, sample.descriptors);
            if (sample.minute < warmUp)
                continue;
            if (atWarmUp < 0)
                atWarmUp = sample.residentKb;
            resident.add(sample.minute * 60'000.0, static_cast<double>(sample.residentKb));
        }
        const double perMinute = summarise(resident).slopePerMinute;
        const long growth = samples.back().residentKb - std::max(atWarmUp, 0L);
        const bool flat = resident.at.size() >= 2 && perMinute < 1.0 && growth < 64;
        std::printf("soak: resident memory %s (%.2f kB a minute after minute %.0f, %ld kB in all), "
                    "descriptors %s (%ld at most, %ld at the start)\n",
                flat ? "flat" : "GROWING", perMinute, warmUp, growth,
                mostDescriptors <= samples.front().descriptors ? "flat" : "GROWING",
                mostDescriptors, samples.front().descriptors);
    }
    std::printf("median_ms=%.4f p99_ms=%.4f limit_p99_ms=%.4f drift_ms=%.4f slope_ms_per_min=%.5f "
                "hazard_gap_ms=%.4f cpu_ms_per_min=%.1f idle_wakeups_per_s=%.2f\n",
            p.median, p.p99, l.p99, p.last, p.slopePerMinute, hazardGap, cpuPerMinute, idleWakeups);
    return p.edges == 0 ? 1 : 0;
}
