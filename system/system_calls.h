#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/timerfd.h>
#include <sys/types.h>

namespace meridan {

// The system calls that the panel's descriptors go through (the GPIO chip and its line request,
// the kernel timer that wakes the lamps, the signal descriptor), behind one seam so that tests can
// stand in for the kernel. Each returns what the call returns, or -errno on failure.
class SystemCalls
{
public:
    virtual ~SystemCalls() = default;
    // stat(2) and fstat(2).
    virtual int statusOf(const std::string &path, struct stat &status) = 0;
    virtual int statusOf(int descriptor, struct stat &status) = 0;
    // The kernel subsystem of a character device ("gpio", "tty", "misc", ...), as sysfs names it;
    // empty where sysfs cannot tell.
    virtual std::string subsystemOf(dev_t device) = 0;
    virtual int openPath(const std::string &path) = 0;
    // The names of a directory's entries, in no order; empty where it cannot be read.
    virtual std::vector<std::string> entriesOf(const std::string &directory) = 0;
    // A descriptor that becomes readable when an entry of `directory` is deleted (inotify), for
    // a device node that goes with its device; or -errno.
    virtual int watchDeletions(const std::string &directory) = 0;
    virtual int control(int descriptor, unsigned long request, void *argument) = 0;
    virtual ssize_t readFrom(int descriptor, void *buffer, std::size_t size) = 0;
    virtual void closeDescriptor(int descriptor) = 0;
    // timerfd_create(2) on the monotonic clock, never blocking a read, closed on exec.
    virtual int makeTimer() = 0;
    // timerfd_settime(2) at an absolute moment on the monotonic clock; all zero disarms it.
    virtual int armTimer(int timer, const itimerspec &alarm) = 0;
    // poll(2) for one descriptor, until it can be read.
    virtual int waitReadable(int descriptor) = 0;
};

// What a path that is not a character device is ("a regular file", "a directory", ...), for the
// error that says so.
std::string fileKind(mode_t mode);

// Why `path`, whose status is `status`, is not the character device a board wants, or empty if it
// is: sysfs must name `subsystem` as its kernel subsystem, or `knownWithoutSysfs` must accept it
// (a pseudo-terminal, which sysfs does not list). A device that nothing can identify is refused:
// opening the wrong one may start it (a watchdog). `noun` names what is wanted ("a GPIO chip").
std::string notTheDevice(SystemCalls &calls, const std::string &path, const struct stat &status,
        const std::string &subsystem, const std::string &noun,
        bool (*knownWithoutSysfs)(dev_t device) = nullptr);

// The kernel's own calls. A call interrupted by a signal is made again.
class LinuxSystemCalls final : public SystemCalls
{
public:
    // The one instance the program needs; it holds no state.
    static LinuxSystemCalls &instance();

    int statusOf(const std::string &path, struct stat &status) override;
    int statusOf(int descriptor, struct stat &status) override;
    // Reads /sys/dev/char/MAJOR:MINOR/subsystem.
    std::string subsystemOf(dev_t device) override;

    // open(2) for reading and writing, never becoming the controlling terminal and never waiting
    // (a terminal without CLOCAL would otherwise wait for its carrier), closed on exec.
    int openPath(const std::string &path) override;
    std::vector<std::string> entriesOf(const std::string &directory) override;
    int watchDeletions(const std::string &directory) override;
    int control(int descriptor, unsigned long request, void *argument) override;
    ssize_t readFrom(int descriptor, void *buffer, std::size_t size) override;
    void closeDescriptor(int descriptor) override;
    int makeTimer() override;
    int armTimer(int timer, const itimerspec &alarm) override;
    int waitReadable(int descriptor) override;
};

} // namespace meridan
