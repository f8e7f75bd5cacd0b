// Loaded into meridan with LD_PRELOAD by the real-kernel tests: appends every successful
// GPIO_V2_LINE_SET_VALUES_IOCTL the panel makes, as "bits mask" in hex, to the file named by
// MERIDAN_LINE_RECORD. The bits are the levels the lines are driven to: where the request made a
// line an active-low output, the kernel drives the inverse of the value written, and so does the
// record. A released gpio-sim line reverts to its pull, so after the panel has gone
// only this record shows the last level it wrote. With MERIDAN_LINE_FAIL=N, the Nth
// GPIO_V2_LINE_SET_VALUES_IOCTL fails with EIO instead of reaching the kernel: a write that fails
// while the board stays. With MERIDAN_LINE_TIMES set, each line ends with the monotonic time of
// the write in nanoseconds, taken as it returns (for the switch-to-lamp benchmark).

#include <linux/gpio.h>

#include <array>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

// For each line request's descriptor, its active-low output lines, as bits of its values.
std::array<unsigned long long, 1024> activeLowOutputs {};

unsigned long long activeLowOutputsOf(const gpio_v2_line_request &request)
{
    unsigned long long inverted = 0;
    for (unsigned line = 0; line < request.num_lines; ++line) {
        unsigned long long flags = request.config.flags;
        for (unsigned a = 0; a < request.config.num_attrs; ++a) {
            const gpio_v2_line_config_attribute &attribute = request.config.attrs[a];
            if (attribute.attr.id == GPIO_V2_LINE_ATTR_ID_FLAGS
                    && (attribute.mask >> line & 1) != 0)
                flags = attribute.attr.flags;
        }
        if ((flags & GPIO_V2_LINE_FLAG_OUTPUT) != 0 && (flags & GPIO_V2_LINE_FLAG_ACTIVE_LOW) != 0)
            inverted |= 1ull << line;
    }
    return inverted;
}

} // namespace

extern "C" int ioctl(int descriptor, unsigned long request, ...)
{
    using Ioctl = int (*)(int, unsigned long, ...);
    static const auto next = reinterpret_cast<Ioctl>(dlsym(RTLD_NEXT, "ioctl"));
    va_list arguments;
    va_start(arguments, request);
    void *argument = va_arg(arguments, void *);
    va_end(arguments);
    if (request == GPIO_V2_LINE_SET_VALUES_IOCTL) {
        static int writes = 0;
        static const char *failing = std::getenv("MERIDAN_LINE_FAIL");
        if (failing != nullptr && ++writes == std::atoi(failing)) {
            errno = EIO;
            return -1;
        }
    }
    const int result = next(descriptor, request, argument);
    if (result == 0 && request == GPIO_V2_GET_LINE_IOCTL) {
        const auto *lines = static_cast<const gpio_v2_line_request *>(argument);
        if (lines->fd >= 0 && static_cast<std::size_t>(lines->fd) < activeLowOutputs.size())
            activeLowOutputs[static_cast<std::size_t>(lines->fd)] = activeLowOutputsOf(*lines);
    }
    if (result == 0 && request == GPIO_V2_LINE_SET_VALUES_IOCTL) {
        if (const char *path = std::getenv("MERIDAN_LINE_RECORD")) {
            const auto *values = static_cast<const gpio_v2_line_values *>(argument);
            const unsigned long long inverted = descriptor >= 0
                            && static_cast<std::size_t>(descriptor) < activeLowOutputs.size()
                    ? activeLowOutputs[static_cast<std::size_t>(descriptor)]
                    : 0;
            char line[96];
            int length = std::snprintf(line, sizeof line, "%llx %llx",
                    static_cast<unsigned long long>((values->bits ^ inverted) & values->mask),
                    static_cast<unsigned long long>(values->mask));
            if (std::getenv("MERIDAN_LINE_TIMES") != nullptr) {
                timespec now {};
                ::clock_gettime(CLOCK_MONOTONIC, &now);
                length += std::snprintf(line + length,
                        sizeof line - static_cast<std::size_t>(length), " %lld",
                        static_cast<long long>(now.tv_sec) * 1'000'000'000 + now.tv_nsec);
            }
            line[length++] = '\n';
            const int file = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
            if (file >= 0) {
                [[maybe_unused]] const ssize_t written =
                        ::write(file, line, static_cast<std::size_t>(length));
                ::close(file);
            }
        }
    }
    return result;
}
