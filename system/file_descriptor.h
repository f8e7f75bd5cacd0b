#pragma once

#include "system/system_calls.h"

#include <utility>

namespace meridan {

// Owns one open descriptor and closes it through the system-call seam it came from.
class FileDescriptor
{
public:
    FileDescriptor() = default;
    FileDescriptor(SystemCalls &calls, int descriptor) : system(&calls), fd(descriptor) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(FileDescriptor &&other) noexcept
        : system(other.system),
          fd(std::exchange(other.fd, -1))
    {
    }
    FileDescriptor &operator=(FileDescriptor &&other) noexcept
    {
        if (this != &other) {
            reset();
            system = other.system;
            fd = std::exchange(other.fd, -1);
        }
        return *this;
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;

    int get() const { return fd; }
    bool valid() const { return fd >= 0; }
    SystemCalls &calls() const { return *system; }
    void reset()
    {
        if (fd >= 0 && system != nullptr)
            system->closeDescriptor(fd);
        fd = -1;
    }

private:
    SystemCalls *system = nullptr;
    int fd = -1;
};

} // namespace meridan
