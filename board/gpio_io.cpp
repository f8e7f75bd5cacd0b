#include "gpio_io.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace meridan {

int LinuxGpioIo::openChip(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    return fd >= 0 ? fd : -errno;
}

int LinuxGpioIo::control(int descriptor, unsigned long request, void *argument)
{
    int result = 0;
    do
        result = ::ioctl(descriptor, request, argument);
    while (result < 0 && errno == EINTR);
    return result >= 0 ? result : -errno;
}

ssize_t LinuxGpioIo::readFrom(int descriptor, void *buffer, std::size_t size)
{
    ssize_t result = 0;
    do
        result = ::read(descriptor, buffer, size);
    while (result < 0 && errno == EINTR);
    return result >= 0 ? result : -errno;
}

void LinuxGpioIo::closeDescriptor(int descriptor)
{
    ::close(descriptor);
}

} // namespace meridan
