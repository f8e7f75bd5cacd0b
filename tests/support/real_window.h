#pragma once

// The real-window tests' harness: the real meridan binary started as a child process, the screens
// it shows on (an X server, a headless Wayland compositor), and what is read off them: windows,
// pixels, lamp boxes watched over time.

#include "tests/window_pixels.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
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

namespace meridan::e2e {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

std::string run(const std::string &command);

// A program the test starts, with `settings` over the test's own environment, and ends (SIGKILL)
// if it is still running when the test is done with it.
class Process
{
public:
    // With `input` and `output` (descriptors of the test's), the program reads and writes them.
    Process(std::vector<std::string> argv, const std::vector<std::string> &settings,
            const std::string &stderrPath = {}, int input = -1, int output = -1)
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
        if (input >= 0)
            posix_spawn_file_actions_adddup2(&actions, input, STDIN_FILENO);
        if (output >= 0)
            posix_spawn_file_actions_adddup2(&actions, output, STDOUT_FILENO);
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

std::string contents(const std::string &path);

// Waits until `path` exists.
bool appears(const std::string &path, std::chrono::milliseconds timeout = 10s);

// Waits until `path` holds `text`.
bool holds(
        const std::string &path, const std::string &text, std::chrono::milliseconds timeout = 5s);

// The last `count` lines of a file.
std::vector<std::string> lastLines(const std::string &path, std::size_t count);

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
    // jq's answer to `filter` over every node of the window tree, one line a node it selects.
    std::string query(const std::string &filter) const
    {
        return run("SWAYSOCK=" + ipc + " swaymsg -t get_tree | jq -r '.. | objects | " + filter
                + "' 2>/dev/null");
    }
    const std::string &runtimeFolder() const { return runtime; }
    const std::string &socketPath() const { return socket; }
    // The id of the window titled `title`, once it is there; 0 if it never comes.
    long windowId(const std::string &title) const
    {
        const auto deadline = Clock::now() + 10s;
        while (Clock::now() < deadline) {
            std::string id = query("select(.name? == \"" + title + "\") | .id");
            id = id.substr(0, id.find('\n') + 1);
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
        if (keys.empty())
            return;
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

// The pixels of a rectangle of the screen, row by row, as 0xRRGGBB.
struct Pixels
{
    int width = 0, height = 0;
    std::vector<std::uint32_t> rgb;
    std::uint32_t at(int x, int y) const
    {
        return rgb[static_cast<std::size_t>(y) * static_cast<std::size_t>(width)
                + static_cast<std::size_t>(x)];
    }
};

// Where a test sees the panel and works it as its operator would: an X server, or a Wayland
// compositor with a real pointer and keyboard on its seat.
class Screen
{
public:
    virtual ~Screen() = default;
    // Why the screen is not there; empty once it is.
    virtual std::string problem() const = 0;
    // What the panel needs in its environment to show its windows here.
    virtual std::vector<std::string> client() const = 0;
    // A visible window titled exactly `title`, once there is one (of this size unless 0).
    virtual std::optional<Window> waitFor(const std::string &title, int width, int height) = 0;
    virtual std::size_t count(const std::string &title) = 0;
    // A left click at `at` in the window, then the pointer moved off it.
    virtual void click(const Window &window, std::pair<int, int> at) = 0;
    virtual Pixels grab(const Window &window, Place place) = 0;
    // What the window's close control does.
    virtual void close(const Window &window) = 0;

    // Waits until no visible window has the title `title`.
    bool waitGone(const std::string &title)
    {
        const auto deadline = Clock::now() + 10s;
        while (Clock::now() < deadline) {
            if (count(title) == 0)
                return true;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }
};

// The X display the test runs under (Xvfb in the test run), worked with xdotool.
class X11Screen : public Screen
{
public:
    X11Screen() : display(XOpenDisplay(nullptr)) {}
    ~X11Screen() override
    {
        if (display != nullptr)
            XCloseDisplay(display);
    }
    X11Screen(const X11Screen &) = delete;
    X11Screen &operator=(const X11Screen &) = delete;

    std::string problem() const override
    {
        return display != nullptr ? "" : "no X display; run this test under xvfb-run";
    }
    std::vector<std::string> client() const override
    {
        return { "QT_QPA_PLATFORM=xcb", "WAYLAND_DISPLAY=" };
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
    std::optional<Window> waitFor(const std::string &title, int width, int height) override
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
    std::size_t count(const std::string &title) override { return windows(title).size(); }
    void click(const Window &window, std::pair<int, int> at) override
    {
        run("xdotool mousemove --window " + std::to_string(window.id) + " "
                + std::to_string(at.first) + " " + std::to_string(at.second) + " click 1");
    }
    Pixels grab(const Window &window, Place place) override
    {
        Pixels pixels;
        XImage *image = XGetImage(display, DefaultRootWindow(display), window.x + place.x,
                window.y + place.y, static_cast<unsigned>(place.width),
                static_cast<unsigned>(place.height), AllPlanes, ZPixmap);
        if (image == nullptr)
            return pixels;
        pixels.width = place.width;
        pixels.height = place.height;
        for (int y = 0; y < place.height; ++y)
            for (int x = 0; x < place.width; ++x)
                pixels.rgb.push_back(static_cast<std::uint32_t>(XGetPixel(image, x, y) & 0xFFFFFF));
        XDestroyImage(image);
        return pixels;
    }
    void close(const Window &window) override
    {
        XEvent event {};
        event.xclient.type = ClientMessage;
        event.xclient.window = window.id;
        event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] =
                static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(display, window.id, False, NoEventMask, &event);
        XFlush(display);
    }

private:
    Display *display;
};

// A headless sway of the test's own, with a virtual pointer (meridan-wayland-pointer) and a
// virtual keyboard held on its seat. The panel goes to the output's top-left corner and the
// simulated board's window beside it, clear of the buttons; pixels come from grim.
class WaylandScreen : public Screen
{
public:
    explicit WaylandScreen(const std::string &folder) : sway(folder)
    {
        const char *helper = std::getenv("MERIDAN_WAYLAND_POINTER");
        if (!sway.running() || helper == nullptr)
            return;
        int toHelper[2], fromHelper[2];
        if (::pipe2(toHelper, O_CLOEXEC) != 0 || ::pipe2(fromHelper, O_CLOEXEC) != 0)
            return;
        pointer.emplace(std::vector<std::string> { helper, "1024", "768" }, sway.client(),
                folder + "/pointer.log", toHelper[0], fromHelper[1]);
        ::close(toHelper[0]);
        ::close(fromHelper[1]);
        commands = ::fdopen(toHelper[1], "w");
        answers = ::fdopen(fromHelper[0], "r");
        pointerReady = answer() == "ready";
        tell(kAside); // grim's pictures show the pointer: it waits in a corner
        sway.type({}); // the keyboard, held from now on
    }
    ~WaylandScreen() override
    {
        if (commands != nullptr)
            std::fclose(commands); // the helper ends at the end of its input
        if (answers != nullptr)
            std::fclose(answers);
    }
    WaylandScreen(const WaylandScreen &) = delete;
    WaylandScreen &operator=(const WaylandScreen &) = delete;

    std::string problem() const override
    {
        if (std::getenv("MERIDAN_WAYLAND_POINTER") == nullptr)
            return "MERIDAN_WAYLAND_POINTER names no pointer helper";
        if (!sway.running())
            return "sway did not start";
        return pointerReady ? "" : "the virtual pointer did not start";
    }
    std::vector<std::string> client() const override { return sway.client(); }

    std::optional<Window> waitFor(const std::string &title, int width, int height) override
    {
        const long id = sway.windowId(title);
        if (id == 0)
            return std::nullopt;
        const bool panel = title == "Meridan";
        sway.message("'[con_id=" + std::to_string(id) + "] move position "
                + (panel ? "0 0'" : "500 0'"));
        const auto deadline = Clock::now() + 10s;
        while (Clock::now() < deadline) {
            std::istringstream place(sway.query("select(.id? == " + std::to_string(id)
                    + ") | \"\\(.rect.x) \\(.rect.y) \\(.window_rect.width) "
                      "\\(.window_rect.height)\""));
            Window window { static_cast<unsigned long>(id) };
            if (place >> window.x >> window.y >> window.width >> window.height
                    && (width == 0 || (window.width == width && window.height == height))
                    && (!panel || (window.x == 0 && window.y == 0))) {
                if (panel)
                    sway.message("'[con_id=" + std::to_string(id) + "] focus'");
                return window;
            }
            std::this_thread::sleep_for(20ms);
        }
        return std::nullopt;
    }
    std::size_t count(const std::string &title) override
    {
        const std::string names = sway.query("select(.name? == \"" + title + "\") | .id");
        return static_cast<std::size_t>(std::count(names.begin(), names.end(), '\n'));
    }
    void click(const Window &window, std::pair<int, int> at) override
    {
        tell("move " + std::to_string(window.x + at.first) + " "
                + std::to_string(window.y + at.second));
        // sway gives the surface under a pointer that has just moved the pointer's focus a moment
        // later: a press sent at once could go to no surface at all. A hand rests there as well.
        std::this_thread::sleep_for(100ms);
        tell("press");
        tell("release");
        tell(kAside);
    }
    Pixels grab(const Window &window, Place place) override
    {
        Pixels pixels;
        const std::string command = "env XDG_RUNTIME_DIR=" + sway.runtimeFolder()
                + " WAYLAND_DISPLAY=" + sway.socketPath() + " grim -g '"
                + std::to_string(window.x + place.x) + "," + std::to_string(window.y + place.y)
                + " " + std::to_string(place.width) + "x" + std::to_string(place.height)
                + "' -t ppm - 2>/dev/null";
        FILE *picture = ::popen(command.c_str(), "r");
        if (picture == nullptr)
            return pixels;
        int width = 0, height = 0, maximum = 0;
        if (std::fscanf(picture, "P6 %d %d %d", &width, &height, &maximum) == 3
                && std::fgetc(picture) != EOF && width == place.width && height == place.height) {
            std::vector<unsigned char> bytes(static_cast<std::size_t>(width * height * 3));
            if (std::fread(bytes.data(), 1, bytes.size(), picture) == bytes.size()) {
                pixels.width = width;
                pixels.height = height;
                for (std::size_t i = 0; i < bytes.size(); i += 3)
                    pixels.rgb.push_back(static_cast<std::uint32_t>(
                            bytes[i] << 16 | bytes[i + 1] << 8 | bytes[i + 2]));
            }
        }
        ::pclose(picture);
        return pixels;
    }
    void close(const Window &window) override
    {
        sway.message("'[con_id=" + std::to_string(window.id) + "] kill'");
    }

private:
    std::string answer()
    {
        char line[64] = {};
        if (answers == nullptr || std::fgets(line, sizeof line, answers) == nullptr)
            return {};
        return std::string(line, std::strcspn(line, "\n"));
    }
    void tell(const std::string &command)
    {
        if (commands == nullptr)
            return;
        std::fprintf(commands, "%s\n", command.c_str());
        std::fflush(commands);
        answer();
    }

    static constexpr const char *kAside = "move 1023 767";
    Sway sway;
    std::optional<Process> pointer;
    FILE *commands = nullptr;
    FILE *answers = nullptr;
    bool pointerReady = false;
};

// Whether the screen is green at each point, read in one picture so that all are seen at the same
// moment.
std::vector<bool> green(
        Screen &screen, const Window &window, const std::vector<std::pair<int, int>> &points);

// The moments each point turned green and back, in milliseconds from the start of the watch,
// and the number of samples where the points disagreed.
struct Trace
{
    std::vector<std::vector<double>> rises, falls;
    int samples = 0, disagreements = 0;
};

Trace watch(Screen &screen, const Window &window, const std::vector<std::pair<int, int>> &points,
        std::chrono::milliseconds duration);

double median(std::vector<double> values);

// The time from each rise to the next, and from each rise to the fall after it.
std::pair<std::vector<double>, std::vector<double>> periodsAndLitTimes(
        const std::vector<double> &rises, const std::vector<double> &falls);

// Design places in the window, in logical pixels: the centres of the controls.
inline constexpr std::pair<int, int> kPicture1 { 35 + 46, 42 + 25 };
inline constexpr std::pair<int, int> kPicture2 { 245 + 46, 42 + 25 };
inline constexpr std::pair<int, int> kLeft { 42 + 39, 119 + 21 };
inline constexpr std::pair<int, int> kOff { 147 + 39, 119 + 21 };
inline constexpr std::pair<int, int> kRight { 252 + 39, 119 + 21 };
inline constexpr std::pair<int, int> kHazard { 126 + 60, 182 + 18 };
inline constexpr std::pair<int, int> kEnd { 168 + 25, 231 + 14 };

} // namespace meridan::e2e
