#include "system/watched_descriptor.h"

#include <QSocketNotifier>

#include <cerrno>
#include <utility>

namespace meridan {

WatchedDescriptor::WatchedDescriptor() = default;

WatchedDescriptor::~WatchedDescriptor()
{
    reset();
}

void WatchedDescriptor::watch(FileDescriptor taken, std::function<void()> onReadable)
{
    reset();
    descriptor = std::move(taken);
    handler = std::move(onReadable);
    notifier = std::make_unique<QSocketNotifier>(descriptor.get(), QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(), [this] {
        if (handler)
            handler();
    });
}

void WatchedDescriptor::stopWatching()
{
    if (notifier)
        notifier->setEnabled(false);
}

void WatchedDescriptor::reset()
{
    notifier.reset();
    descriptor.reset();
}

ssize_t WatchedDescriptor::read(void *buffer, std::size_t size) const
{
    if (!descriptor.valid())
        return -EBADF;
    return descriptor.calls().readFrom(descriptor.get(), buffer, size);
}

} // namespace meridan
