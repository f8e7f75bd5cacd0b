#include "termination_signals.h"

#include <csignal>
#include <cstring>
#include <iostream>
#include <utility>

#include <pthread.h>
#include <sys/signalfd.h>

namespace meridan {

namespace {

    sigset_t terminationSet()
    {
        sigset_t set;
        sigemptyset(&set);
        // SIGHUP is the terminal that started the panel closing: as much a request to end as
        // Ctrl+C (SIGINT) or kill (SIGTERM), and a lamp must not outlive it.
        for (const int signal : { SIGINT, SIGTERM, SIGHUP })
            sigaddset(&set, signal);
        return set;
    }

} // namespace

TerminationSignals::TerminationSignals()
{
    const sigset_t set = terminationSet();
    if (pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0)
        return;
    const int descriptor = ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (descriptor < 0) {
        // Without the descriptor the signals keep their default action rather than go unheard.
        std::cerr << "meridan: signalfd: " << std::strerror(errno)
                  << "; SIGINT, SIGTERM and SIGHUP will end the panel without darkening the "
                     "lamps\n";
        pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
        return;
    }
    blocked = FileDescriptor(LinuxSystemCalls::instance(), descriptor);
}

void TerminationSignals::watch(std::function<void()> onSignal)
{
    if (!blocked.valid())
        return;
    watched.watch(std::move(blocked), [this, handler = std::move(onSignal)] {
        signalfd_siginfo info {};
        while (watched.read(&info, sizeof info) == static_cast<ssize_t>(sizeof info)) { }
        if (handler)
            handler();
    });
}

} // namespace meridan
