// Starts the real meridan binary on an X display (Xvfb in the test run), clicks it with xdotool
// and watches its lamp boxes on screen.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <csignal>
#include <fcntl.h>
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

// A program the test starts, with `settings` over the test's own environment, and ends (SIGKILL)
// if it is still running when the test is done with it.
class Process
{
public:
    Process(std::vector<std::string> argv, const std::vector<std::string> &settings,
            const std::string &stderrPath = {})
    {
        std::vector<std::string> environment(settings);
        const auto overridden = [&settings](std::string_view entry) {
            const std::string_view name = entry.substr(0, entry.find('='));
            return std::any_of(settings.begin(), settings.end(), [name](const std::string &set) {
                return std::string_view(set).substr(0, set.find('=')) == name;
            });
        };
        for (char **entry = environ; *entry != nullptr; ++entry)
            if (!overridden(*entry))
                environment.emplace_back(*entry);
        std::vector<char *> envp;
        for (std::string &entry : environment)
            envp.push_back(entry.data());
        envp.push_back(nullptr);
        std::vector<char *> args;
        for (std::string &arg : argv)
            args.push_back(arg.data());
        args.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (!stderrPath.empty())
            posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, stderrPath.c_str(),
                    O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data()) != 0)
            pid = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Process()
    {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
    Process(const Process &) = delete;
    Process &operator=(const Process &) = delete;

    // The exit status, or nullopt if it has not ended within the timeout.
    std::optional<int> exitStatus(std::chrono::milliseconds timeout = 5s)
    {
        const auto deadline = Clock::now() + timeout;
        while (pid > 0 && Clock::now() < deadline) {
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

// The program under test. It goes to the X display under test unless the settings choose
// another platform, whatever the caller's desktop would choose: a Wayland or offscreen setting
// from the caller would put it where no test can see it.
class Meridan : public Process
{
public:
    explicit Meridan(std::vector<std::string> settings = {}, const std::string &stderrPath = {})
        : Process({ std::getenv("MERIDAN_BINARY") }, withPlatform(std::move(settings)), stderrPath)
    {
    }

private:
    static std::vector<std::string> withPlatform(std::vector<std::string> settings)
    {
        const bool chosen = std::any_of(settings.begin(), settings.end(),
                [](const std::string &set) { return set.starts_with("QT_QPA_PLATFORM="); });
        if (!chosen) {
            settings.emplace_back("QT_QPA_PLATFORM=xcb");
            settings.emplace_back("WAYLAND_DISPLAY=");
        }
        return settings;
    }
};

// A temporary directory, removed with what is in it.
struct TemporaryDirectory
{
    TemporaryDirectory()
    {
        char name[] = "/tmp/meridan-e2e-XXXXXX";
        if (::mkdtemp(name) != nullptr)
            path = name;
    }
    ~TemporaryDirectory()
    {
        if (!path.empty())
            std::filesystem::remove_all(path);
    }
    std::string path;
};

std::string contents(const std::string &path)
{
    std::ifstream file(path);
    return { std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>() };
}

// Waits until `path` exists.
bool appears(const std::string &path, std::chrono::milliseconds timeout = 10s)
{
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        if (std::filesystem::exists(path))
            return true;
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

// Waits until `path` holds `text`.
bool holds(const std::string &path, const std::string &text, std::chrono::milliseconds timeout = 5s)
{
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        if (contents(path).find(text) != std::string::npos)
            return true;
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

// The last `count` lines of a file.
std::vector<std::string> lastLines(const std::string &path, std::size_t count)
{
    std::vector<std::string> lines;
    std::ifstream file(path);
    for (std::string line; std::getline(file, line);)
        lines.push_back(line);
    if (lines.size() > count)
        lines.erase(lines.begin(), lines.end() - static_cast<std::ptrdiff_t>(count));
    return lines;
}

// A headless sway of the test's own, in a folder of its own: as root it runs in a user namespace
// of its own, and it floats every window, so the panel keeps its fixed size. Keys reach the focused
// window through a virtual keyboard that wtype holds open on the seat.
class Sway
{
public:
    explicit Sway(const std::string &folder)
        : runtime(folder + "/runtime"),
          config(folder + "/sway.config")
    {
        std::filesystem::create_directory(runtime);
        std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
        std::ofstream(config) << "output HEADLESS-1 resolution 1024x768 position 0,0 scale 1\n"
                                 "xwayland disable\n"
                                 "default_border none\n"
                                 "default_floating_border none\n"
                                 "for_window [app_id=\".*\"] floating enable\n";
        compositor.emplace(std::vector<std::string> { "unshare", "--user", "sway", "-c", config },
                std::vector<std::string> { "XDG_RUNTIME_DIR=" + runtime, "WLR_BACKENDS=headless",
                        "WLR_LIBINPUT_NO_DEVICES=1", "WLR_RENDERER=pixman", "WAYLAND_DISPLAY=" },
                folder + "/sway.log");
        const auto deadline = Clock::now() + 10s;
        while (Clock::now() < deadline && (socket.empty() || ipc.empty())) {
            for (const auto &entry : std::filesystem::directory_iterator(runtime)) {
                const std::string name = entry.path().filename().string();
                if (name.starts_with("wayland-") && !name.ends_with(".lock"))
                    socket = entry.path().string();
                if (name.starts_with("sway-ipc."))
                    ipc = entry.path().string();
            }
            std::this_thread::sleep_for(20ms);
        }
    }

    bool running() const { return !socket.empty() && !ipc.empty(); }
    // What a client of this compositor needs in its environment.
    std::vector<std::string> client() const
    {
        return { "QT_QPA_PLATFORM=wayland", "WAYLAND_DISPLAY=" + socket,
            "XDG_RUNTIME_DIR=" + runtime, "DISPLAY=" };
    }
    std::string message(const std::string &command) const
    {
        return run("SWAYSOCK=" + ipc + " swaymsg " + command + " 2>&1");
    }
    // The id of the window titled `title`, once it is there; 0 if it never comes.
    long windowId(const std::string &title) const
    {
        const auto deadline = Clock::now() + 10s;
        while (Clock::now() < deadline) {
            const std::string id = run("SWAYSOCK=" + ipc
                    + " swaymsg -t get_tree | jq -r '.. | objects | select(.name? == \"" + title
                    + "\") | .id' 2>/dev/null | head -n 1");
            if (!id.empty() && id != "null\n")
                return std::stol(id);
            std::this_thread::sleep_for(20ms);
        }
        return 0;
    }
    // Keeps a virtual keyboard on the seat, then types the keys to the focused window.
    void type(const std::vector<std::string> &keys)
    {
        if (!keyboard) {
            std::vector<std::string> settings = client();
            keyboard.emplace(std::vector<std::string> { "wtype", "-s", "60000" }, settings);
            std::this_thread::sleep_for(200ms); // the seat offers a keyboard from now on
        }
        std::string command =
                "env XDG_RUNTIME_DIR=" + runtime + " WAYLAND_DISPLAY=" + socket + " wtype";
        for (const std::string &key : keys)
            command += " -k " + key;
        run(command);
    }
    void kill() { ::kill(compositor->pid, SIGKILL); }

private:
    std::string runtime, config, socket, ipc;
    std::optional<Process> compositor;
    std::optional<Process> keyboard;
};

// An X server of the test's own, on a display number no server holds, for a test that ends it
// under a running panel. A server killed outright leaves its lock and socket: they are removed
// once it has gone.
class OwnXServer
{
public:
    explicit OwnXServer(const std::string &log)
        : number(freeNumber()),
          display(":" + std::to_string(number)),
          server({ "Xvfb", display, "-screen", "0", "800x600x24", "-nolisten", "tcp", "-noreset" },
                  {}, log)
    {
    }
    ~OwnXServer()
    {
        end(SIGKILL);
        std::filesystem::remove("/tmp/.X" + std::to_string(number) + "-lock");
        std::filesystem::remove("/tmp/.X11-unix/X" + std::to_string(number));
    }
    bool running() const { return appears("/tmp/.X11-unix/X" + std::to_string(number)); }
    void end(int signal)
    {
        if (server.pid > 0)
            ::kill(server.pid, signal);
        server.exitStatus();
    }
    // Waits for the panel's window on this display and clicks it at `place`; false if the window
    // never came.
    bool click(std::pair<int, int> place) const
    {
        const std::string window = run("DISPLAY=" + display
                + " timeout 10 xdotool search --sync --onlyvisible --name '^Meridan$' 2>/dev/null"
                  " | head -n 1");
        if (window.empty())
            return false;
        run("DISPLAY=" + display + " xdotool mousemove --window "
                + window.substr(0, window.find('\n')) + " " + std::to_string(place.first) + " "
                + std::to_string(place.second) + " click 1");
        return true;
    }

private:
    static int freeNumber()
    {
        int candidate = 200 + static_cast<int>(::getpid() % 500);
        while (std::filesystem::exists("/tmp/.X" + std::to_string(candidate) + "-lock"))
            ++candidate;
        return candidate;
    }

    int number;

public:
    const std::string display;

private:
    Process server;
};

struct Window
{
    unsigned long id = 0;
    int x = 0, y = 0, width = 0, height = 0;
};

// A rectangle in the window, in logical pixels.
struct Place
{
    int x, y, width, height;
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

    // Waits until no visible window has the title `title`.
    bool waitGone(const std::string &title)
    {
        const auto deadline = Clock::now() + 10s;
        while (Clock::now() < deadline) {
            if (windows(title).empty())
                return true;
            std::this_thread::sleep_for(50ms);
        }
        return false;
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

    // What a button's face shows between its border and its text.
    struct Face
    {
        bool ringIsDesignColour = false; // every pixel around the text is RGB(192,255,255)
        int textRows = 0; // height of the box holding every other pixel
        int darkest = 255; // the text's darkest channel value
        unsigned long border = 0; // the pixel at the middle of the left border
    };
    Face face(const Window &window, Place place)
    {
        constexpr int kBorder = 2; // the widest border the buttons draw (focus, pressed)
        XImage *image = XGetImage(display, DefaultRootWindow(display), window.x + place.x,
                window.y + place.y, static_cast<unsigned>(place.width),
                static_cast<unsigned>(place.height), AllPlanes, ZPixmap);
        Face result;
        if (image == nullptr)
            return result;
        result.border = XGetPixel(image, 0, place.height / 2) & 0xFFFFFF;
        int left = place.width, top = place.height, right = -1, bottom = -1;
        for (int y = kBorder; y < place.height - kBorder; ++y)
            for (int x = kBorder; x < place.width - kBorder; ++x) {
                const unsigned long pixel = XGetPixel(image, x, y) & 0xFFFFFF;
                if (pixel == kButtonFace)
                    continue;
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, y), bottom = std::max(bottom, y);
                const int red = static_cast<int>(pixel >> 16) & 0xFF;
                result.darkest = std::min(result.darkest, red);
            }
        XDestroyImage(image);
        // The text sits inside the face with face colour all round it; a shaded face (a style's
        // gradient) reaches the border.
        result.ringIsDesignColour = right < 0
                || (left > kBorder && top > kBorder && right < place.width - kBorder - 1
                        && bottom < place.height - kBorder - 1);
        result.textRows = right < 0 ? 0 : bottom - top + 1;
        return result;
    }

    // Checks that each button's face is its design colour all round its text, with black text
    // when it is enabled and grey text when it is disabled.
    void expectFaces(const Window &panel, const std::vector<std::pair<const char *, bool>> &buttons)
    {
        for (const auto &[name, enabled] : buttons) {
            SCOPED_TRACE(std::string(name) + (enabled ? " enabled" : " disabled"));
            const Face seen = face(panel, kButtons.at(name));
            EXPECT_TRUE(seen.ringIsDesignColour)
                    << "the face is not RGB(192,255,255) everywhere between border and text";
            EXPECT_GT(seen.textRows, 5) << "no text on the face";
            EXPECT_LT(seen.textRows, kButtons.at(name).height / 2) << "more than text on the face";
            if (enabled)
                EXPECT_LT(seen.darkest, 40) << "the text is not black";
            else
                EXPECT_TRUE(seen.darkest > 100 && seen.darkest < 160) << "the text is not grey";
        }
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

    // The buttons' places in the window, in logical pixels, and their design colour.
    inline static const std::map<std::string, Place> kButtons {
        { "LEFT", { 42, 119, 78, 43 } },
        { "OFF", { 147, 119, 78, 43 } },
        { "RIGHT", { 252, 119, 78, 43 } },
        { "HAZARD", { 126, 182, 120, 36 } },
        { "END", { 168, 231, 50, 29 } },
    };
    static constexpr unsigned long kButtonFace = 0xC0FFFF;
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

TEST_F(RealWindow, ButtonFacesShowTheirDesignColourEnabledAndDisabledWithTheFocusVisible)
{
    Meridan meridan;
    const auto panel = waitFor("Meridan", 374, 354);
    ASSERT_TRUE(panel.has_value()) << "the panel never appeared";
    std::this_thread::sleep_for(200ms); // the first paint
    expectFaces(*panel,
            { { "LEFT", true }, { "OFF", true }, { "RIGHT", true }, { "HAZARD", true },
                    { "END", true } });
    const unsigned long unfocusedBorder = face(*panel, kButtons.at("OFF")).border;

    click(*panel, kLeft.first, kLeft.second); // LEFT takes the focus; RIGHT and HAZARD go grey
    std::this_thread::sleep_for(200ms);
    expectFaces(*panel,
            { { "LEFT", true }, { "OFF", true }, { "RIGHT", false }, { "HAZARD", false },
                    { "END", true } });
    EXPECT_NE(face(*panel, kButtons.at("LEFT")).border, unfocusedBorder)
            << "the button with the keyboard focus looks like the others";
    EXPECT_EQ(face(*panel, kButtons.at("OFF")).border, unfocusedBorder);

    click(*panel, kOff.first, kOff.second);
    click(*panel, kHazard.first, kHazard.second); // LEFT and RIGHT go grey
    std::this_thread::sleep_for(200ms);
    expectFaces(*panel,
            { { "LEFT", false }, { "OFF", true }, { "RIGHT", false }, { "HAZARD", true },
                    { "END", true } });

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

TEST_F(RealWindow, SigintSigtermAndSighupEndThePanelWithStatusZero)
{
    for (const int signal : { SIGINT, SIGTERM, SIGHUP }) {
        SCOPED_TRACE(strsignal(signal));
        Meridan meridan;
        ASSERT_TRUE(waitFor("Meridan", 374, 354).has_value());
        ::kill(meridan.pid, signal);
        EXPECT_EQ(meridan.exitStatus(), 0);
        ASSERT_TRUE(waitGone("Meridan"));
    }
}

// Qt's own options would change the window the design fixes (-reverse mirrors it, -style and
// -stylesheet restyle it): every argument is refused before Qt reads it, and no window opens.
TEST_F(RealWindow, EveryArgumentQtsOwnIncludedIsRefusedWithStatusTwo)
{
    TemporaryDirectory scratch;
    const std::string errors = scratch.path + "/stderr";
    const std::vector<std::vector<std::string>> table = { { "--foo" }, { "-reverse" },
        { "-style", "Windows" }, { "-stylesheet", "/dev/null" }, { "-platform", "offscreen" },
        { "-geometry", "100x100+0+0" }, { "-qwindowtitle", "x" } };
    for (const auto &arguments : table) {
        SCOPED_TRACE(arguments.front());
        std::vector<std::string> argv { std::getenv("MERIDAN_BINARY") };
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        Process meridan(argv, { "QT_QPA_PLATFORM=xcb" }, errors);
        EXPECT_EQ(meridan.exitStatus(), 2);
        EXPECT_THAT(contents(errors),
                ::testing::HasSubstr("meridan: takes no arguments, but was given \""
                        + arguments.front() + "\""));
        EXPECT_TRUE(windows("Meridan").empty());
    }
}

// The display goes away under a blinking panel: the X server the test started for it ends, or
// the Wayland compositor does. Both lamps are darkened (on the simulated board, Form_Unload ran to
// its end, as the line says), and the panel ends with status 2.
TEST_F(RealWindow, LosingTheDisplayDarkensBothLampsAndEndsWithStatusTwo)
{
    TemporaryDirectory scratch;
    const std::string errors = scratch.path + "/stderr";
    {
        SCOPED_TRACE("X11");
        OwnXServer x(scratch.path + "/xvfb.log");
        ASSERT_TRUE(x.running()) << "no Xvfb";
        Meridan meridan({ "DISPLAY=" + x.display }, errors);
        ASSERT_TRUE(x.click(kLeft)) << "the panel never appeared";
        std::this_thread::sleep_for(300ms); // the left lamp lights at 200 ms
        x.end(SIGTERM);
        EXPECT_EQ(meridan.exitStatus(), 2);
        EXPECT_THAT(contents(errors),
                ::testing::HasSubstr(
                        "meridan: the display was lost; both lamps darkened as END does\n"));
    }
    {
        SCOPED_TRACE("Wayland");
        const std::string runtime = scratch.path + "/runtime";
        std::filesystem::create_directory(runtime);
        std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
        Process compositor({ "weston", "--backend=headless-backend.so", "--socket=meridan-e2e",
                                   "--idle-time=0" },
                { "XDG_RUNTIME_DIR=" + runtime }, scratch.path + "/weston.log");
        ASSERT_TRUE(appears(runtime + "/meridan-e2e")) << "no weston";
        // libwayland's protocol log tells when the panel has given its window a title: it runs.
        Meridan meridan({ "QT_QPA_PLATFORM=wayland", "WAYLAND_DISPLAY=meridan-e2e",
                                "XDG_RUNTIME_DIR=" + runtime, "WAYLAND_DEBUG=client" },
                errors);
        const auto deadline = Clock::now() + 10s;
        while (Clock::now() < deadline
                && contents(errors).find("set_title(\"Meridan\")") == std::string::npos)
            std::this_thread::sleep_for(50ms);
        ASSERT_NE(contents(errors).find("set_title(\"Meridan\")"), std::string::npos)
                << "the panel never showed its window";
        std::this_thread::sleep_for(200ms); // the left lamp's box is drawn; nothing is lit
        ::kill(compositor.pid, SIGTERM);
        EXPECT_EQ(meridan.exitStatus(), 2);
        EXPECT_THAT(contents(errors),
                ::testing::HasSubstr(
                        "meridan: the display was lost; both lamps darkened as END does\n"));
    }
}

// The display goes away while hazard blinks, again and again: the X server is killed, or the
// Wayland compositor is. Every time, the board's last two writes darken output 1 then output 0,
// the one line says so, the status is 2, and nothing else is said (a sanitizer build reports any
// fault on standard error). MERIDAN_LOSS_ROUNDS sets how many times of each (1 unless set).
TEST_F(RealWindow, LosingTheDisplayWhileHazardBlinksLeavesBothLampsDarkEveryTime)
{
    const char *rounds = std::getenv("MERIDAN_LOSS_ROUNDS");
    const int count = rounds != nullptr ? std::atoi(rounds) : 1;
    const auto checkEnd = [](Meridan &meridan, const std::string &record,
                                  const std::string &errors) {
        EXPECT_EQ(meridan.exitStatus(), 2);
        EXPECT_THAT(lastLines(record, 2),
                ::testing::ElementsAre("SetOutputLevel(1, 0)", "SetOutputLevel(0, 0)"));
        const std::string said = contents(errors);
        EXPECT_THAT(said,
                ::testing::HasSubstr(
                        "meridan: the display was lost; both lamps darkened as END does\n"));
        EXPECT_THAT(said, ::testing::Not(::testing::HasSubstr("Sanitizer")));
        EXPECT_THAT(said, ::testing::Not(::testing::HasSubstr("runtime error")));
    };
    for (int round = 1; round <= count && !HasFailure(); ++round) {
        SCOPED_TRACE("X11, round " + std::to_string(round));
        TemporaryDirectory scratch;
        const std::string record = scratch.path + "/writes", errors = scratch.path + "/stderr";
        OwnXServer x(scratch.path + "/xvfb.log");
        ASSERT_TRUE(x.running()) << "no Xvfb";
        Meridan meridan({ "DISPLAY=" + x.display, "MERIDAN_BOARD=sim,record=" + record }, errors);
        ASSERT_TRUE(x.click(kHazard)) << "the panel never appeared";
        ASSERT_TRUE(holds(record, "SetOutputLevel(0, 100)")) << "hazard never lit";
        x.end(SIGKILL);
        checkEnd(meridan, record, errors);
    }
    for (int round = 1; round <= count && !HasFailure(); ++round) {
        SCOPED_TRACE("Wayland, round " + std::to_string(round));
        TemporaryDirectory scratch;
        const std::string record = scratch.path + "/writes", errors = scratch.path + "/stderr";
        Sway sway(scratch.path);
        ASSERT_TRUE(sway.running()) << contents(scratch.path + "/sway.log");
        std::vector<std::string> settings = sway.client();
        settings.push_back("MERIDAN_BOARD=sim,record=" + record);
        Meridan meridan(settings, errors);
        const long panel = sway.windowId("Meridan");
        const long board = sway.windowId("Meridan simulated board");
        ASSERT_NE(panel, 0) << "the panel never appeared: " << contents(errors);
        ASSERT_NE(board, 0) << "the simulated board never appeared";
        sway.message("'[con_id=" + std::to_string(board) + "] move position 500 0'");
        sway.message("'[con_id=" + std::to_string(panel) + "] move position 0 0'");
        sway.message("'[con_id=" + std::to_string(panel) + "] focus'");
        // The focus starts on LEFT; two tabs bring it to HAZARD.
        sway.type({ "Tab", "Tab", "space" });
        ASSERT_TRUE(holds(record, "SetOutputLevel(0, 100)")) << "hazard never lit";
        sway.kill();
        checkEnd(meridan, record, errors);
    }
}

} // namespace
