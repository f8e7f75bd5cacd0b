#pragma once

#include "system/file_descriptor.h"

#include <QObject>

#include <functional>
#include <memory>

class QSocketNotifier;

namespace meridan {

// A descriptor that the Qt event loop watches: it owns the descriptor (closed through the
// system-call seam), and calls one handler each time the descriptor becomes readable. The
// notifier goes before the descriptor is closed, so the event loop never polls a closed one.
class WatchedDescriptor
{
public:
    WatchedDescriptor();
    ~WatchedDescriptor();
    WatchedDescriptor(const WatchedDescriptor &) = delete;
    WatchedDescriptor &operator=(const WatchedDescriptor &) = delete;

    // Takes `descriptor` and calls `onReadable` from the event loop while it is readable. Needs
    // the application object.
    void watch(FileDescriptor descriptor, std::function<void()> onReadable);
    // Stops calling the handler for good, e.g. after a hang-up that would otherwise keep the
    // descriptor readable and the event loop spinning. The descriptor stays open.
    void stopWatching();
    // Stops watching and closes the descriptor.
    void reset();

    bool valid() const { return descriptor.valid(); }
    int get() const { return descriptor.get(); }
    // Reads through the seam the descriptor came from: the bytes read, or -errno.
    ssize_t read(void *buffer, std::size_t size) const;

private:
    FileDescriptor descriptor;
    std::function<void()> handler;
    std::unique_ptr<QSocketNotifier> notifier;
};

} // namespace meridan
