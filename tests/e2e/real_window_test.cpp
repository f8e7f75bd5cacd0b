// Starts the real meridan binary on an X display (Xvfb in the test run), clicks it with xdotool
// and watches its lamp boxes on screen.

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

std::string run(const std::string &command)
{
    std::string output;
    if (FILE *pipe = ::popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
            output += buffer;
        ::pclose(pipe);
    }
    return output;
}

// The program under test, started with extra environment settings.
class Meridan
{
public:
    explicit Meridan(const std::vector<std::string> &settings = {})
    {
        std::vector<std::string> environment(settings);
        for (char **entry = environ; *entry != nullptr; ++entry)
            environment.emplace_back(*entry);
        std::vector<char *> envp;
        for (std::string &entry : environment)
            envp.push_back(entry.data());
        envp.push_back(nullptr);
        std::string binary = std::getenv("MERIDAN_BINARY");
        char *argv[] = { binary.data(), nullptr };
        if (::posix_spawn(&pid, binary.c_str(), nullptr, nullptr, argv, envp.data()) != 0)
            pid = -1;
    }
    ~Meridan()
    {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }

    // The exit status, or nullopt if it has not ended within the timeout.
    std::optional<int> exitStatus(std::chrono::milliseconds timeout = 5s)
    {
        const auto deadline = Clock::now() + timeout;
        while (Clock::now() < deadline) {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(10ms);
        }
        return std::nullopt;
    }

    pid_t pid = -1;
};

struct Window
{
    unsigned long id = 0;
    int x = 0, y = 0, width = 0, height = 0;
};

class RealWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        display = XOpenDisplay(nullptr);
        ASSERT_NE(display, nullptr) << "no X display; run this test under xvfb-run";
        ASSERT_NE(std::getenv("MERIDAN_BINARY"), nullptr);
    }
    void TearDown() override
    {
        if (display != nullptr)
            XCloseDisplay(display);
    }

    // The visible windows whose title is exactly `title`.
    std::vector<Window> windows(const std::string &title)
    {
        std::vector<Window> found;
        const std::string ids =
                run("xdotool search --onlyvisible --name '^" + title + "$' 2>/dev/null");
        std::size_t start = 0;
        while (start < ids.size()) {
            const std::size_t end = ids.find('\n', start);
            const std::string line = ids.substr(start, end - start);
            start = end == std::string::npos ? ids.size() : end + 1;
            if (line.empty())
                continue;
            Window window;
            window.id = std::stoul(line);
            XWindowAttributes attributes;
            if (!XGetWindowAttributes(display, window.id, &attributes))
                continue;
            ::Window child;
            XTranslateCoordinates(display, window.id, DefaultRootWindow(display), 0, 0, &window.x,
                    &window.y, &child);
            window.width = attributes.width;
            window.height = attributes.height;
            found.push_back(window);
        }
        return found;
    }

    std::optional<Window> waitFor(const std::string &title, int width, int height)
    {
        const auto deadline = Clock::now() + 10s;
        while (Clock::now() < deadline) {
            for (const Window &window : windows(title))
                if (width == 0 || (window.width == width && window.height == height))
                    return window;
            std::this_thread::sleep_for(50ms);
        }
        return std::nullopt;
    }

    void click(const Window &window, int x, int y)
    {
        run("xdotool mousemove --window " + std::to_string(window.id) + " " + std::to_string(x)
                + " " + std::to_string(y) + " click 1");
    }

    // Whether the screen is green at each point, read in one request so that all are seen at
    // the same moment.
    std::vector<bool> green(const Window &window, const std::vector<std::pair<int, int>> &points)
    {
        int left = 1 << 30, top = 1 << 30, right = 0, bottom = 0;
        for (auto [x, y] : points) {
            left = std::min(left, x), top = std::min(top, y);
            right = std::max(right, x), bottom = std::max(bottom, y);
        }
        XImage *image = XGetImage(display, DefaultRootWindow(display), window.x + left,
                window.y + top, static_cast<unsigned>(right - left + 1),
                static_cast<unsigned>(bottom - top + 1), AllPlanes, ZPixmap);
        std::vector<bool> result;
        for (auto [x, y] : points) {
            const unsigned long pixel = XGetPixel(image, x - left, y - top);
            const unsigned long red = (pixel >> 16) & 0xFF, greenPart = (pixel >> 8) & 0xFF,
                                blue = pixel & 0xFF;
            result.push_back(greenPart > 200 && red < 60 && blue < 60);
        }
        XDestroyImage(image);
        return result;
    }

    // Samples the points for `duration`; returns, for each, the moments it turned green and
    // back, in milliseconds from the start, and counts the samples where the points disagreed.
    struct Trace
    {
        std::vector<std::vector<double>> rises, falls;
        int samples = 0, disagreements = 0;
    };
    Trace watch(const Window &window, const std::vector<std::pair<int, int>> &points,
            std::chrono::milliseconds duration)
    {
        Trace trace;
        trace.rises.resize(points.size());
        trace.falls.resize(points.size());
        std::vector<bool> last(points.size(), false);
        const auto start = Clock::now();
        while (Clock::now() - start < duration) {
            const std::vector<bool> now = green(window, points);
            const double ms =
                    std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            for (std::size_t i = 0; i < points.size(); ++i) {
                if (now[i] && !last[i])
                    trace.rises[i].push_back(ms);
                if (!now[i] && last[i])
                    trace.falls[i].push_back(ms);
            }
            ++trace.samples;
            if (std::adjacent_find(now.begin(), now.end(), std::not_equal_to<>()) != now.end())
                ++trace.disagreements;
            last = now;
            std::this_thread::sleep_for(1ms);
        }
        return trace;
    }

    static double median(std::vector<double> values)
    {
        std::sort(values.begin(), values.end());
        return values.empty() ? 0 : values[values.size() / 2];
    }

    Display *display = nullptr;

    // Design places in the window, in logical pixels: the centres of the controls.
    static constexpr std::pair<int, int> kPicture1 { 35 + 46, 42 + 25 };
    static constexpr std::pair<int, int> kPicture2 { 245 + 46, 42 + 25 };
    static constexpr std::pair<int, int> kLeft { 42 + 39, 119 + 21 };
    static constexpr std::pair<int, int> kOff { 147 + 39, 119 + 21 };
    static constexpr std::pair<int, int> kHazard { 126 + 60, 182 + 18 };
    static constexpr std::pair<int, int> kEnd { 168 + 25, 231 + 14 };
};

TEST_F(RealWindow, LeftBlinksWithItsPeriodThenHazardBlinksBothInPhaseAndEndExitsWithZero)
{
    Meridan meridan;
    const auto panel = waitFor("Meridan", 374, 354);
    ASSERT_TRUE(panel.has_value()) << "the panel never appeared";
    ASSERT_TRUE(waitFor("Meridan simulated board", 0, 0).has_value());

    click(*panel, kLeft.first, kLeft.second);
    const Trace left = watch(*panel, { kPicture1, kPicture2 }, 1600ms);
    ASSERT_GE(left.rises[0].size(), 4u) << "Picture1 did not blink";
    EXPECT_TRUE(left.rises[1].empty()) << "Picture2 lit in left mode";
    std::vector<double> periods, litTimes;
    for (std::size_t i = 1; i < left.rises[0].size(); ++i)
        periods.push_back(left.rises[0][i] - left.rises[0][i - 1]);
    for (double rise : left.rises[0])
        for (double fall : left.falls[0])
            if (fall > rise) {
                litTimes.push_back(fall - rise);
                break;
            }
    EXPECT_NEAR(median(periods), 300, 30);
    EXPECT_NEAR(median(litTimes), 100, 30);

    click(*panel, kOff.first, kOff.second);
    click(*panel, kHazard.first, kHazard.second);
    const Trace hazard = watch(*panel, { kPicture1, kPicture2 }, 1600ms);
    EXPECT_GE(hazard.rises[0].size(), 4u);
    EXPECT_EQ(hazard.rises[0].size(), hazard.rises[1].size());
    for (std::size_t i = 0; i < std::min(hazard.rises[0].size(), hazard.rises[1].size()); ++i)
        EXPECT_NEAR(hazard.rises[0][i], hazard.rises[1][i], 20) << "rise " << i;
    EXPECT_LE(hazard.disagreements * 50, hazard.samples) << "the boxes were out of phase";

    click(*panel, kEnd.first, kEnd.second);
    EXPECT_EQ(meridan.exitStatus(), 0);
}

TEST_F(RealWindow, WithoutABoardOnlyTheMessageShowsAndReturnEndsWithStatusOne)
{
    Meridan meridan({ "MERIDAN_BOARD=sim-unplugged" });
    const auto message = waitFor("Meridan", 0, 0);
    ASSERT_TRUE(message.has_value()) << "no message box";
    // The box's text is checked in the widget tests; here, that it is the only window.
    EXPECT_LT(message->height, 200);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(windows("Meridan").size(), 1u) << "more than the message box is showing";
    EXPECT_TRUE(windows("Meridan simulated board").empty());

    run("xdotool windowfocus --sync " + std::to_string(message->id) + " key Return");
    EXPECT_EQ(meridan.exitStatus(), 1);
}

TEST_F(RealWindow, SigtermDuringTheNoBoardMessageEndsWithStatusOne)
{
    Meridan meridan({ "MERIDAN_BOARD=sim-unplugged" });
    ASSERT_TRUE(waitFor("Meridan", 0, 0).has_value()) << "no message box";
    ::kill(meridan.pid, SIGTERM);
    EXPECT_EQ(meridan.exitStatus(), 1);
}

TEST_F(RealWindow, AnUnknownBoardIsReportedInABoxThenEndsWithStatusTwo)
{
    Meridan meridan({ "MERIDAN_BOARD=phidget" });
    const auto report = waitFor("Meridan", 0, 0);
    ASSERT_TRUE(report.has_value()) << "no report";
    EXPECT_LT(report->height, 300);
    run("xdotool windowfocus --sync " + std::to_string(report->id) + " key Return");
    EXPECT_EQ(meridan.exitStatus(), 2);
}

TEST_F(RealWindow, SigtermEndsThePanelWithStatusZero)
{
    Meridan meridan;
    ASSERT_TRUE(waitFor("Meridan", 374, 354).has_value());
    ::kill(meridan.pid, SIGTERM);
    EXPECT_EQ(meridan.exitStatus(), 0);
}

} // namespace
