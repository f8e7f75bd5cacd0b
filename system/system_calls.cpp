#include "system/system_calls.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace meridan {

namespace {

    // Makes the call again while a signal interrupts it; the result, or -errno.
    template <class Call> auto retryingInterrupted(Call call)
    {
        decltype(call()) result;
        do
            result = call();
        while (result < 0 && errno == EINTR);
        return result >= 0 ? result : -errno;
    }

} // namespace

std::string fileKind(mode_t mode)
{
    if (S_ISREG(mode))
        return "a regular file";
    if (S_ISDIR(mode))
        return "a directory";
    if (S_ISBLK(mode))
        return "a block device";
    if (S_ISFIFO(mode))
        return "a pipe";
    if (S_ISSOCK(mode))
        return "a socket";
    if (S_ISCHR(mode))
        return "a character device";
    return "not a device";
}

std::string notTheDevice(SystemCalls &calls, const std::string &path, const struct stat &status,
        const std::string &subsystem, const std::string &noun, bool (*knownWithoutSysfs)(dev_t))
{
    if (!S_ISCHR(status.st_mode))
        return path + " is not " + noun + " but " + fileKind(status.st_mode);
    const std::string found = calls.subsystemOf(status.st_rdev);
    if (found.empty() && knownWithoutSysfs != nullptr && knownWithoutSysfs(status.st_rdev))
        return {};
    if (found.empty())
        return "cannot confirm that " + path + " is " + noun + ": sysfs has no entry for its "
                + "device " + std::to_string(major(status.st_rdev)) + ":"
                + std::to_string(minor(status.st_rdev))
                + " (is /sys mounted?), and a device that is not one may act when opened";
    if (found != subsystem)
        return path + " is not " + noun + " but a device of the kernel's \"" + found
                + "\" subsystem";
    return {};
}

LinuxSystemCalls &LinuxSystemCalls::instance()
{
    // Never destroyed: descriptors may still be closed while the program exits.
    static auto *calls = new LinuxSystemCalls;
    return *calls;
}

int LinuxSystemCalls::statusOf(const std::string &path, struct stat &status)
{
    return retryingInterrupted([&] { return ::stat(path.c_str(), &status); });
}

int LinuxSystemCalls::statusOf(int descriptor, struct stat &status)
{
    return retryingInterrupted([&] { return ::fstat(descriptor, &status); });
}

std::string LinuxSystemCalls::subsystemOf(dev_t device)
{
    const std::filesystem::path link = "/sys/dev/char/" + std::to_string(major(device)) + ":"
            + std::to_string(minor(device)) + "/subsystem";
    std::error_code error; // no sysfs, no such device: sysfs cannot tell
    const std::filesystem::path target = std::filesystem::read_symlink(link, error);
    return error ? std::string() : target.filename().string();
}

int LinuxSystemCalls::openPath(const std::string &path)
{
    return retryingInterrupted(
            [&] { return ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); });
}

std::vector<std::string> LinuxSystemCalls::entriesOf(const std::string &directory)
{
    std::vector<std::string> names;
    std::error_code error; // entries may go while they are listed
    for (std::filesystem::directory_iterator entry(directory, error), end; !error && entry != end;
            entry.increment(error))
        names.push_back(entry->path().filename().string());
    return names;
}

int LinuxSystemCalls::watchDeletions(const std::string &directory)
{
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch < 0)
        return -errno;
    if (::inotify_add_watch(watch, directory.c_str(), IN_DELETE | IN_MOVED_FROM | IN_DELETE_SELF)
            < 0) {
        const int error = errno;
        ::close(watch);
        return -error;
    }
    return watch;
}

int LinuxSystemCalls::control(int descriptor, unsigned long request, void *argument)
{
    return retryingInterrupted([=] { return ::ioctl(descriptor, request, argument); });
}

ssize_t LinuxSystemCalls::readFrom(int descriptor, void *buffer, std::size_t size)
{
    return retryingInterrupted([=] { return ::read(descriptor, buffer, size); });
}

void LinuxSystemCalls::closeDescriptor(int descriptor)
{
    // Never retried: after EINTR the descriptor is already closed on Linux.
    ::close(descriptor);
}

int LinuxSystemCalls::makeTimer()
{
    return retryingInterrupted(
            [] { return ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC); });
}

int LinuxSystemCalls::armTimer(int timer, const itimerspec &alarm)
{
    return retryingInterrupted(
            [=, &alarm] { return ::timerfd_settime(timer, TFD_TIMER_ABSTIME, &alarm, nullptr); });
}

int LinuxSystemCalls::waitReadable(int descriptor)
{
    pollfd ready { descriptor, POLLIN, 0 };
    return retryingInterrupted([&ready] { return ::poll(&ready, 1, -1); });
}

} // namespace meridan
