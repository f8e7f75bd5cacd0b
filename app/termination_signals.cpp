#include "app/termination_signals.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <iostream>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace meridan {

namespace {

    // SIGHUP is the terminal that started the panel closing: as much a request to end as Ctrl+C
    // (SIGINT) or kill (SIGTERM), and a lamp must not outlive it.
    constexpr int kSignals[] = { SIGINT, SIGTERM, SIGHUP };

    std::atomic<int> writeEnd = -1; // the pipe's write end, for the handler

    // Runs on whichever thread the kernel chose: writes one byte, nothing else.
    void onSignal(int)
    {
        const int saved = errno;
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = ::write(writeEnd.load(), &byte, 1);
        errno = saved;
    }

    void actOnSignals(void (*handler)(int))
    {
        struct sigaction action = {};
        action.sa_handler = handler;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART; // system calls under way go on
        for (const int signal : kSignals)
            ::sigaction(signal, &action, nullptr);
    }

} // namespace

TerminationSignals::TerminationSignals()
{
    int ends[2];
    if (::pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0) {
        // Without the pipe the signals keep their default action rather than go unheard.
        std::cerr << "meridan: pipe: " << std::strerror(errno)
                  << "; SIGINT, SIGTERM and SIGHUP will end the panel without darkening the "
                     "lamps\n";
        return;
    }
    pending = FileDescriptor(LinuxSystemCalls::instance(), ends[0]);
    writeEnd = ends[1];
    actOnSignals(onSignal);
}

TerminationSignals::~TerminationSignals()
{
    if (writeEnd < 0)
        return;
    actOnSignals(SIG_DFL);
    ::close(writeEnd.exchange(-1));
}

void TerminationSignals::watch(std::function<void()> onSignal)
{
    if (!pending.valid())
        return;
    watched.watch(std::move(pending), [this, handler = std::move(onSignal)] {
        char bytes[16];
        while (watched.read(bytes, sizeof bytes) > 0) {}
        if (handler)
            handler();
    });
}

} // namespace meridan
