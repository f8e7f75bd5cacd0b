// Starts the real meridan binary on an X display (Xvfb in the test run), clicks it with xdotool
// and watches its lamp boxes on screen.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "tests/window_pixels.h"

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
        Screen &screen, const Window &window, const std::vector<std::pair<int, int>> &points)
{
    int left = 1 << 30, top = 1 << 30, right = 0, bottom = 0;
    for (auto [x, y] : points) {
        left = std::min(left, x), top = std::min(top, y);
        right = std::max(right, x), bottom = std::max(bottom, y);
    }
    const Pixels pixels = screen.grab(window, { left, top, right - left + 1, bottom - top + 1 });
    std::vector<bool> result;
    for (auto [x, y] : points) {
        if (pixels.rgb.empty()) {
            result.push_back(false);
            continue;
        }
        const std::uint32_t pixel = pixels.at(x - left, y - top);
        const std::uint32_t red = pixel >> 16 & 0xFF, greenPart = pixel >> 8 & 0xFF,
                            blue = pixel & 0xFF;
        result.push_back(greenPart > 200 && red < 60 && blue < 60);
    }
    return result;
}

// The moments each point turned green and back, in milliseconds from the start of the watch,
// and the number of samples where the points disagreed.
struct Trace
{
    std::vector<std::vector<double>> rises, falls;
    int samples = 0, disagreements = 0;
};

Trace watch(Screen &screen, const Window &window, const std::vector<std::pair<int, int>> &points,
        std::chrono::milliseconds duration)
{
    Trace trace;
    trace.rises.resize(points.size());
    trace.falls.resize(points.size());
    std::vector<bool> last(points.size(), false);
    const auto start = Clock::now();
    while (Clock::now() - start < duration) {
        const std::vector<bool> now = green(screen, window, points);
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
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

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// The time from each rise to the next, and from each rise to the fall after it.
std::pair<std::vector<double>, std::vector<double>> periodsAndLitTimes(
        const std::vector<double> &rises, const std::vector<double> &falls)
{
    std::vector<double> periods, litTimes;
    for (std::size_t i = 1; i < rises.size(); ++i)
        periods.push_back(rises[i] - rises[i - 1]);
    for (double rise : rises)
        for (double fall : falls)
            if (fall > rise) {
                litTimes.push_back(fall - rise);
                break;
            }
    return { periods, litTimes };
}

// Design places in the window, in logical pixels: the centres of the controls.
constexpr std::pair<int, int> kPicture1 { 35 + 46, 42 + 25 };
constexpr std::pair<int, int> kPicture2 { 245 + 46, 42 + 25 };
constexpr std::pair<int, int> kLeft { 42 + 39, 119 + 21 };
constexpr std::pair<int, int> kOff { 147 + 39, 119 + 21 };
constexpr std::pair<int, int> kRight { 252 + 39, 119 + 21 };
constexpr std::pair<int, int> kHazard { 126 + 60, 182 + 18 };
constexpr std::pair<int, int> kEnd { 168 + 25, 231 + 14 };

class RealWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(screen.problem(), "");
        ASSERT_NE(std::getenv("MERIDAN_BINARY"), nullptr);
    }

    // What a button's face shows between its border and its text.
    struct Face
    {
        bool ringIsDesignColour = false; // every pixel around the text is RGB(192,255,255)
        int textRows = 0; // height of the box holding every other pixel
        int darkest = 255; // the text's darkest channel value
        std::uint32_t border = 0; // the pixel at the middle of the left border
    };
    Face face(const Window &window, Place place)
    {
        constexpr int kBorder = 2; // the widest border the buttons draw (focus, pressed)
        const Pixels pixels = screen.grab(window, place);
        Face result;
        if (pixels.rgb.empty())
            return result;
        result.border = pixels.at(0, place.height / 2);
        int left = place.width, top = place.height, right = -1, bottom = -1;
        for (int y = kBorder; y < place.height - kBorder; ++y)
            for (int x = kBorder; x < place.width - kBorder; ++x) {
                const std::uint32_t pixel = pixels.at(x, y);
                if (pixel == kButtonFace)
                    continue;
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, y), bottom = std::max(bottom, y);
                const int red = static_cast<int>(pixel >> 16) & 0xFF;
                result.darkest = std::min(result.darkest, red);
            }
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

    X11Screen screen;

    // The buttons' places in the window, in logical pixels, and their design colour.
    inline static const std::map<std::string, Place> kButtons {
        { "LEFT", { 42, 119, 78, 43 } },
        { "OFF", { 147, 119, 78, 43 } },
        { "RIGHT", { 252, 119, 78, 43 } },
        { "HAZARD", { 126, 182, 120, 36 } },
        { "END", { 168, 231, 50, 29 } },
    };
    static constexpr std::uint32_t kButtonFace = 0xC0FFFF;
};

// The same checks on X11 and on Wayland: the panel as it starts, its blinking, its ends.
class OnScreen : public ::testing::TestWithParam<std::string>
{
protected:
    void SetUp() override
    {
        ASSERT_NE(std::getenv("MERIDAN_BINARY"), nullptr);
        if (GetParam() == "Wayland") {
            if (std::getenv("MERIDAN_WAYLAND_POINTER") == nullptr)
                GTEST_SKIP() << "no Wayland pointer helper in this build";
            screen = std::make_unique<WaylandScreen>(scratch.path);
        } else {
            screen = std::make_unique<X11Screen>();
        }
        ASSERT_EQ(screen->problem(), "") << contents(scratch.path + "/sway.log");
    }

    // The panel, started on this screen with `settings` besides.
    std::unique_ptr<Meridan> start(const std::vector<std::string> &settings = {})
    {
        std::vector<std::string> all = screen->client();
        all.insert(all.end(), settings.begin(), settings.end());
        return std::make_unique<Meridan>(all, scratch.path + "/stderr");
    }
    // The panel's window at its design size, once the simulated board's (`board`) is there too.
    std::optional<Window> panel()
    {
        const auto found = screen->waitFor("Meridan", 374, 354);
        board = screen->waitFor("Meridan simulated board", 0, 0);
        if (!found || !board)
            return std::nullopt;
        // Its first paint: the left lamp's box shows white. A compositor may show the window's
        // place before the panel has drawn into it.
        const auto deadline = Clock::now() + 10s;
        while (Clock::now() < deadline) {
            const Pixels box = screen->grab(*found, { kPicture1.first, kPicture1.second, 1, 1 });
            if (!box.rgb.empty() && box.rgb[0] == 0xFFFFFF)
                break;
            std::this_thread::sleep_for(20ms);
        }
        std::this_thread::sleep_for(100ms); // the rest of the paint
        return found;
    }

    TemporaryDirectory scratch;
    std::unique_ptr<Screen> screen;
    std::optional<Window> board;
};

INSTANTIATE_TEST_SUITE_P(Desktops, OnScreen, ::testing::Values("X11", "Wayland"),
        [](const auto &desktop) { return desktop.param; });

// Under the desktop's own theme and under a dark one (a GNOME user's dark style, through Qt's
// GTK platform theme): the window's design size, every fixed colour and black text, on screen.
TEST_P(OnScreen, TheWindowStartsWithEveryDesignColourUnderTheDefaultAndADarkTheme)
{
    struct Theme
    {
        std::string name;
        std::vector<std::string> settings;
        bool dark; // the simulated board's window, which follows the desktop, shows it
    };
    const Theme themes[] = {
        { "default", { "QT_QPA_PLATFORMTHEME=", "GTK_THEME=" }, false },
        { "dark", { "QT_QPA_PLATFORMTHEME=gtk3", "GTK_THEME=Adwaita:dark" }, true },
    };
    for (const auto &[theme, settings, dark] : themes) {
        SCOPED_TRACE(theme);
        if (dark && std::getenv("MERIDAN_GTK_THEME") == nullptr) {
            std::cout << "[ NOT RUN  ] the dark theme: this build's Qt has no GTK platform theme\n";
            continue;
        }
        auto meridan = start(settings);
        const auto window = panel();
        ASSERT_TRUE(window.has_value()) << "the panel never appeared";
        const Pixels corner = screen->grab(*board, { 2, 2, 1, 1 });
        ASSERT_EQ(corner.rgb.size(), 1u);
        EXPECT_EQ(meridan::testing::darkestChannel(corner.rgb[0]) < 100, dark)
                << "the desktop's theme did not reach the panel's process";
        const Pixels pixels = screen->grab(*window, { 0, 0, 374, 354 });
        ASSERT_EQ(pixels.rgb.size(), 374u * 354u) << "no picture of the window";
        EXPECT_THAT(meridan::testing::designColourFaults(
                            [&pixels](int x, int y) { return pixels.at(x, y); }),
                ::testing::IsEmpty());
        ::kill(meridan->pid, SIGTERM);
        EXPECT_EQ(meridan->exitStatus(), 0);
        ASSERT_TRUE(screen->waitGone("Meridan"));
    }
}

TEST_P(OnScreen, LeftRightAndHazardBlinkWithTheirPeriodsOffDarkensAndEndExitsWithZero)
{
    auto meridan = start();
    const auto window = panel();
    ASSERT_TRUE(window.has_value()) << "the panel never appeared";
    // V = 200 at start: each lamp lit for 100 ms of every 300.
    for (const auto &[button, side] : { std::pair { kLeft, 0 }, { kRight, 1 } }) {
        SCOPED_TRACE(side == 0 ? "LEFT" : "RIGHT");
        screen->click(*window, button);
        const Trace trace = watch(*screen, *window, { kPicture1, kPicture2 }, 1600ms);
        ASSERT_GE(trace.rises[side].size(), 4u) << "the lamp's box did not blink";
        EXPECT_TRUE(trace.rises[1 - side].empty()) << "the other lamp's box lit";
        const auto [periods, litTimes] = periodsAndLitTimes(trace.rises[side], trace.falls[side]);
        EXPECT_NEAR(median(periods), 300, 30);
        EXPECT_NEAR(median(litTimes), 100, 30);
        screen->click(*window, kOff);
        std::this_thread::sleep_for(100ms);
        const Trace after = watch(*screen, *window, { kPicture1, kPicture2 }, 400ms);
        EXPECT_TRUE(after.rises[0].empty() && after.rises[1].empty()) << "a box lit after OFF";
    }

    screen->click(*window, kHazard);
    const Trace hazard = watch(*screen, *window, { kPicture1, kPicture2 }, 1600ms);
    EXPECT_GE(hazard.rises[0].size(), 4u);
    EXPECT_EQ(hazard.rises[0].size(), hazard.rises[1].size());
    for (std::size_t i = 0; i < std::min(hazard.rises[0].size(), hazard.rises[1].size()); ++i)
        EXPECT_NEAR(hazard.rises[0][i], hazard.rises[1][i], 20) << "rise " << i;
    EXPECT_LE(hazard.disagreements * 50, hazard.samples) << "the boxes were out of phase";

    screen->click(*window, kEnd);
    EXPECT_EQ(meridan->exitStatus(), 0);
    EXPECT_TRUE(screen->waitGone("Meridan"));
}

// The close control and SIGTERM each end a blinking panel as END does, with status 0, and the
// board's last writes darken output 1 then output 0.
TEST_P(OnScreen, TheCloseControlAndSigtermEachDarkenBothLampsAndEndWithStatusZero)
{
    for (const std::string ending : { "close", "SIGTERM" }) {
        SCOPED_TRACE(ending);
        const std::string record = scratch.path + "/writes-" + ending;
        auto meridan = start({ "MERIDAN_BOARD=sim,record=" + record });
        const auto window = panel();
        ASSERT_TRUE(window.has_value()) << "the panel never appeared";
        screen->click(*window, kHazard);
        ASSERT_TRUE(holds(record, "SetOutputLevel(0, 100)")) << "hazard never lit";
        if (ending == "close")
            screen->close(*window);
        else
            ::kill(meridan->pid, SIGTERM);
        EXPECT_EQ(meridan->exitStatus(), 0);
        EXPECT_THAT(lastLines(record, 2),
                ::testing::ElementsAre("SetOutputLevel(1, 0)", "SetOutputLevel(0, 0)"));
        EXPECT_TRUE(screen->waitGone("Meridan"));
    }
}

TEST_F(RealWindow, ButtonFacesShowTheirDesignColourEnabledAndDisabledWithTheFocusVisible)
{
    Meridan meridan;
    const auto panel = screen.waitFor("Meridan", 374, 354);
    ASSERT_TRUE(panel.has_value()) << "the panel never appeared";
    std::this_thread::sleep_for(200ms); // the first paint
    expectFaces(*panel,
            { { "LEFT", true }, { "OFF", true }, { "RIGHT", true }, { "HAZARD", true },
                    { "END", true } });
    const unsigned long unfocusedBorder = face(*panel, kButtons.at("OFF")).border;

    screen.click(*panel, kLeft); // LEFT takes the focus; RIGHT and HAZARD go grey
    std::this_thread::sleep_for(200ms);
    expectFaces(*panel,
            { { "LEFT", true }, { "OFF", true }, { "RIGHT", false }, { "HAZARD", false },
                    { "END", true } });
    EXPECT_NE(face(*panel, kButtons.at("LEFT")).border, unfocusedBorder)
            << "the button with the keyboard focus looks like the others";
    EXPECT_EQ(face(*panel, kButtons.at("OFF")).border, unfocusedBorder);

    screen.click(*panel, kOff);
    screen.click(*panel, kHazard); // LEFT and RIGHT go grey
    std::this_thread::sleep_for(200ms);
    expectFaces(*panel,
            { { "LEFT", false }, { "OFF", true }, { "RIGHT", false }, { "HAZARD", true },
                    { "END", true } });

    screen.click(*panel, kEnd);
    EXPECT_EQ(meridan.exitStatus(), 0);
}

TEST_F(RealWindow, WithoutABoardOnlyTheMessageShowsAndReturnEndsWithStatusOne)
{
    Meridan meridan({ "MERIDAN_BOARD=sim-unplugged" });
    const auto message = screen.waitFor("Meridan", 0, 0);
    ASSERT_TRUE(message.has_value()) << "no message box";
    // The box's text is checked in the widget tests; here, that it is the only window.
    EXPECT_LT(message->height, 200);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(screen.windows("Meridan").size(), 1u) << "more than the message box is showing";
    EXPECT_TRUE(screen.windows("Meridan simulated board").empty());

    run("xdotool windowfocus --sync " + std::to_string(message->id) + " key Return");
    EXPECT_EQ(meridan.exitStatus(), 1);
}

TEST_F(RealWindow, SigtermDuringTheNoBoardMessageEndsWithStatusOne)
{
    Meridan meridan({ "MERIDAN_BOARD=sim-unplugged" });
    ASSERT_TRUE(screen.waitFor("Meridan", 0, 0).has_value()) << "no message box";
    ::kill(meridan.pid, SIGTERM);
    EXPECT_EQ(meridan.exitStatus(), 1);
}

TEST_F(RealWindow, AnUnknownBoardIsReportedInABoxThenEndsWithStatusTwo)
{
    Meridan meridan({ "MERIDAN_BOARD=phidget" });
    const auto report = screen.waitFor("Meridan", 0, 0);
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
        ASSERT_TRUE(screen.waitFor("Meridan", 374, 354).has_value());
        ::kill(meridan.pid, signal);
        EXPECT_EQ(meridan.exitStatus(), 0);
        ASSERT_TRUE(screen.waitGone("Meridan"));
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
        EXPECT_TRUE(screen.windows("Meridan").empty());
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
