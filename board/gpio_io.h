#pragma once

#include <string>
#include <sys/types.h>

namespace meridan {

// The system calls the GPIO board makes, behind one seam so that tests can stand in for the
// kernel. Each returns what the call returns, or -errno on failure.
class GpioIo
{
public:
    virtual ~GpioIo() = default;
    virtual int openChip(const std::string &path) = 0;
    virtual int control(int descriptor, unsigned long request, void *argument) = 0;
    virtual ssize_t readFrom(int descriptor, void *buffer, std::size_t size) = 0;
    virtual void closeDescriptor(int descriptor) = 0;
};

// The real calls: open(2), ioctl(2), read(2), close(2).
class LinuxGpioIo final : public GpioIo
{
public:
    int openChip(const std::string &path) override;
    int control(int descriptor, unsigned long request, void *argument) override;
    ssize_t readFrom(int descriptor, void *buffer, std::size_t size) override;
    void closeDescriptor(int descriptor) override;
};

// Owns one descriptor and closes it through the seam.
class GpioDescriptor
{
public:
    GpioDescriptor() = default;
    GpioDescriptor(GpioIo &calls, int descriptor) : io(&calls), fd(descriptor) { }
    ~GpioDescriptor() { reset(); }
    GpioDescriptor(GpioDescriptor &&other) noexcept : io(other.io), fd(other.release()) { }
    GpioDescriptor &operator=(GpioDescriptor &&other) noexcept
    {
        if (this != &other) {
            reset();
            io = other.io;
            fd = other.release();
        }
        return *this;
    }
    GpioDescriptor(const GpioDescriptor &) = delete;
    GpioDescriptor &operator=(const GpioDescriptor &) = delete;

    int get() const { return fd; }
    bool valid() const { return fd >= 0; }
    void reset()
    {
        if (fd >= 0 && io != nullptr)
            io->closeDescriptor(fd);
        fd = -1;
    }

private:
    int release()
    {
        const int held = fd;
        fd = -1;
        return held;
    }

    GpioIo *io = nullptr;
    int fd = -1;
};

} // namespace meridan
