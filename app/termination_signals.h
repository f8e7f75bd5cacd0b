#pragma once

#include "system/watched_descriptor.h"

#include <functional>

namespace meridan {

// Turns SIGINT, SIGTERM and SIGHUP into an event of the Qt event loop, so that they end the
// program through the same procedure as the window's close control. Their handler only writes a
// byte to a pipe that the event loop watches; the signals stay unblocked, so a child the process
// starts (Qt's and libdbus's helpers) begins with the default mask and actions, and stops on a
// plain kill. A signal that comes before the loop runs waits in the pipe. One at a time.
class TerminationSignals
{
public:
    TerminationSignals();
    // Gives the three signals their default actions back.
    ~TerminationSignals();
    TerminationSignals(const TerminationSignals &) = delete;
    TerminationSignals &operator=(const TerminationSignals &) = delete;

    // Starts watching; needs the application object. `onSignal` runs in the event loop, once for
    // the signals that came since it last ran.
    void watch(std::function<void()> onSignal);

private:
    FileDescriptor pending; // the pipe's read end, until watch() hands it to the event loop
    WatchedDescriptor watched;
};

} // namespace meridan
