// meridan-startup-probe: starts meridan on an X display again and again and measures the time
// from process start to the panel window being mapped, the time from END's click to the process's
// exit, and the process's peak resident memory.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

bool isPanel(Display *display, Window window)
{
    char *name = nullptr;
    if (!XFetchName(display, window, &name) || name == nullptr)
        return false;
    const bool titled = std::strcmp(name, "Meridan") == 0;
    XFree(name);
    XWindowAttributes attributes;
    return titled && XGetWindowAttributes(display, window, &attributes) && attributes.width == 374
            && attributes.height == 354;
}

// Waits for the panel to be mapped; returns it, or 0 after the timeout.
Window waitForPanel(Display *display, double timeoutMs, Clock::time_point start)
{
    while (msSince(start) < timeoutMs) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify && isPanel(display, event.xmap.window))
                return event.xmap.window;
        }
        pollfd watch { ConnectionNumber(display), POLLIN, 0 };
        ::poll(&watch, 1, 5);
    }
    return 0;
}

void click(Display *display, Window window, int x, int y)
{
    int rootX = 0, rootY = 0;
    Window child;
    XTranslateCoordinates(
            display, window, DefaultRootWindow(display), x, y, &rootX, &rootY, &child);
    XTestFakeMotionEvent(display, -1, rootX, rootY, CurrentTime);
    XTestFakeButtonEvent(display, 1, True, CurrentTime);
    XTestFakeButtonEvent(display, 1, False, CurrentTime);
    XFlush(display);
}

} // namespace

int main(int argc, char **argv)
{
    int runs = 10;
    std::string binary = "build/release/app/meridan";
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--runs") == 0)
            runs = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--binary") == 0)
            binary = argv[i + 1];
    }
    Display *display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "meridan-startup-probe: no X display; run it under xvfb-run\n");
        return 2;
    }
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);

    std::vector<double> startUp, endToExit, peakMb;
    for (int run = 0; run < runs; ++run) {
        XSync(display, True); // forget earlier runs' events
        char *args[] = { binary.data(), nullptr };
        pid_t pid = -1;
        const Clock::time_point start = Clock::now();
        if (::posix_spawn(&pid, binary.c_str(), nullptr, nullptr, args, environ) != 0) {
            std::fprintf(stderr, "meridan-startup-probe: cannot start %s\n", binary.c_str());
            return 2;
        }
        const Window panel = waitForPanel(display, 10'000, start);
        const double shown = msSince(start);
        if (panel == 0) {
            std::fprintf(stderr, "meridan-startup-probe: the panel never appeared\n");
            ::kill(pid, SIGKILL);
            return 1;
        }
        ::usleep(300'000); // let it settle, as a person would before clicking
        const Clock::time_point clicked = Clock::now();
        click(display, panel, 168 + 25, 231 + 14); // END
        int status = 0;
        rusage usage {};
        ::wait4(pid, &status, 0, &usage);
        const double exited = msSince(clicked);
        startUp.push_back(shown);
        endToExit.push_back(exited);
        peakMb.push_back(static_cast<double>(usage.ru_maxrss) / 1024.0);
        std::printf("run %2d: shown after %7.1f ms, exit %5.1f ms after END (status %d), peak "
                    "%5.1f MB\n",
                run + 1, shown, exited, WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                peakMb.back());
    }
    std::printf("startup_median_ms=%.1f end_to_exit_median_ms=%.1f peak_rss_max_mb=%.1f runs=%d\n",
            median(startUp), median(endToExit), *std::max_element(peakMb.begin(), peakMb.end()),
            runs);
    XCloseDisplay(display);
    return 0;
}
