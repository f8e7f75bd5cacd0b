// meridan-gpio-probe: what the real-kernel tests ask of the GPIO chip and the display, from
// outside the panel.
//
//   info CHIP OFFSET...     each line as the kernel reports it (GPIO_V2_GET_LINEINFO_IOCTL):
//                           "OFFSET name=.. consumer=.. direction=.. polarity=.. bias=.. edges=..
//                           debounce-us=.."
//   watch FILE MS           reads FILE (a gpio-sim sim_gpioN/value) every quarter millisecond
//                           for MS milliseconds; prints "MS VALUE" at the start and at each change
//   close-window ID         asks X window ID to close, as a window manager's close button does
//                           (WM_DELETE_WINDOW)

#include <X11/Xlib.h>

#include <linux/gpio.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

int usage()
{
    std::fprintf(stderr,
            "usage: meridan-gpio-probe info CHIP OFFSET... | watch FILE MS | close-window ID\n");
    return 2;
}

const char *bias(std::uint64_t flags)
{
    if (flags & GPIO_V2_LINE_FLAG_BIAS_PULL_UP)
        return "pull-up";
    if (flags & GPIO_V2_LINE_FLAG_BIAS_PULL_DOWN)
        return "pull-down";
    if (flags & GPIO_V2_LINE_FLAG_BIAS_DISABLED)
        return "disabled";
    return "as-is";
}

const char *edges(std::uint64_t flags)
{
    const bool rising = flags & GPIO_V2_LINE_FLAG_EDGE_RISING;
    const bool falling = flags & GPIO_V2_LINE_FLAG_EDGE_FALLING;
    return rising && falling ? "both" : rising ? "rising" : falling ? "falling" : "none";
}

int info(int argc, char **argv)
{
    if (argc < 4)
        return usage();
    const int chip = ::open(argv[2], O_RDONLY | O_CLOEXEC);
    if (chip < 0) {
        std::perror(argv[2]);
        return 1;
    }
    for (int i = 3; i < argc; ++i) {
        gpio_v2_line_info line {};
        line.offset = static_cast<std::uint32_t>(std::atoi(argv[i]));
        if (::ioctl(chip, GPIO_V2_GET_LINEINFO_IOCTL, &line) != 0) {
            std::perror("GPIO_V2_GET_LINEINFO_IOCTL");
            return 1;
        }
        std::uint32_t debounce = 0;
        for (std::uint32_t a = 0; a < line.num_attrs; ++a)
            if (line.attrs[a].id == GPIO_V2_LINE_ATTR_ID_DEBOUNCE)
                debounce = line.attrs[a].debounce_period_us;
        std::printf("%u name=%s consumer=%s direction=%s polarity=%s bias=%s edges=%s "
                    "debounce-us=%u\n",
                line.offset, line.name[0] ? line.name : "-", line.consumer[0] ? line.consumer : "-",
                line.flags & GPIO_V2_LINE_FLAG_OUTPUT ? "output" : "input",
                line.flags & GPIO_V2_LINE_FLAG_ACTIVE_LOW ? "active-low" : "active-high",
                bias(line.flags), edges(line.flags), debounce);
    }
    ::close(chip);
    return 0;
}

int watch(int argc, char **argv)
{
    if (argc != 4)
        return usage();
    const int file = ::open(argv[2], O_RDONLY | O_CLOEXEC);
    if (file < 0) {
        std::perror(argv[2]);
        return 1;
    }
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const auto end = start + std::chrono::milliseconds(std::atoi(argv[3]));
    char last = 0;
    while (Clock::now() < end) {
        char value[8] = {};
        if (::pread(file, value, sizeof value - 1, 0) <= 0) {
            std::perror("pread");
            return 1;
        }
        if (value[0] != last) {
            const double ms =
                    std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            std::printf("%.1f %c\n", ms, value[0]);
            last = value[0];
        }
        std::this_thread::sleep_for(std::chrono::microseconds(250));
    }
    ::close(file);
    return 0;
}

int closeWindow(int argc, char **argv)
{
    if (argc != 3)
        return usage();
    Display *display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "meridan-gpio-probe: no X display\n");
        return 1;
    }
    const Window window = std::strtoul(argv[2], nullptr, 0);
    XEvent event {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XCloseDisplay(display);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2)
        return usage();
    const std::string command = argv[1];
    if (command == "info")
        return info(argc, argv);
    if (command == "watch")
        return watch(argc, argv);
    if (command == "close-window")
        return closeWindow(argc, argv);
    return usage();
}
