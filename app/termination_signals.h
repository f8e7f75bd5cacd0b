#pragma once

#include <functional>
#include <memory>

class QSocketNotifier;

namespace meridan {

// Turns SIGINT and SIGTERM into an event of the Qt event loop, so that they end the program
// through the same procedure as the window's close control. Construct it before any thread
// starts: it blocks both signals for the whole process and reads them from a signalfd.
class TerminationSignals
{
public:
    TerminationSignals();
    ~TerminationSignals();
    TerminationSignals(const TerminationSignals &) = delete;
    TerminationSignals &operator=(const TerminationSignals &) = delete;

    // Starts watching; needs the application object. `onSignal` runs in the event loop.
    void watch(std::function<void()> onSignal);

private:
    int descriptor = -1;
    std::function<void()> onSignal;
    std::unique_ptr<QSocketNotifier> notifier;
};

} // namespace meridan
