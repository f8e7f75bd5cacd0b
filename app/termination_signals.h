#pragma once

#include "watched_descriptor.h"

#include <functional>

namespace meridan {

// Turns SIGINT, SIGTERM and SIGHUP into an event of the Qt event loop, so that they end the
// program through the same procedure as the window's close control. Construct it before any
// thread starts: it blocks the three signals for the whole process and reads them from a
// signalfd.
class TerminationSignals
{
public:
    TerminationSignals();
    TerminationSignals(const TerminationSignals &) = delete;
    TerminationSignals &operator=(const TerminationSignals &) = delete;

    // Starts watching; needs the application object. `onSignal` runs in the event loop.
    void watch(std::function<void()> onSignal);

private:
    FileDescriptor blocked; // until watch() hands it to the event loop
    WatchedDescriptor watched;
};

} // namespace meridan
