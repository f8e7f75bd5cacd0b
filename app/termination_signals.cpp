#include "termination_signals.h"

#include <QSocketNotifier>

#include <csignal>
#include <cstring>
#include <iostream>
#include <utility>

#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace meridan {

namespace {

    sigset_t terminationSet()
    {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGINT);
        sigaddset(&set, SIGTERM);
        return set;
    }

} // namespace

TerminationSignals::TerminationSignals()
{
    const sigset_t set = terminationSet();
    if (pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0)
        return;
    descriptor = ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (descriptor < 0) {
        // Without the descriptor the signals keep their default action rather than go unheard.
        std::cerr << "meridan: signalfd: " << std::strerror(errno)
                  << "; SIGINT and SIGTERM will end the panel without darkening the lamps\n";
        pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    }
}

TerminationSignals::~TerminationSignals()
{
    notifier.reset();
    if (descriptor >= 0)
        ::close(descriptor);
}

void TerminationSignals::watch(std::function<void()> handler)
{
    if (descriptor < 0)
        return;
    onSignal = std::move(handler);
    notifier = std::make_unique<QSocketNotifier>(descriptor, QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(), [this] {
        signalfd_siginfo info {};
        while (::read(descriptor, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) { }
        if (onSignal)
            onSignal();
    });
}

} // namespace meridan
