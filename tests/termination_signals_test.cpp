#include "app/termination_signals.h"
#include "system/system_calls.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace meridan::testing {
namespace {

    using namespace std::chrono_literals;

    // The exit of `child` within a second: its wait status, or -1 if it is still running (then it
    // is killed, so that the test ends either way).
    int endOf(pid_t child)
    {
        int status = 0;
        for (int waited = 0; waited < 100; ++waited) {
            if (::waitpid(child, &status, WNOHANG) == child)
                return status;
            std::this_thread::sleep_for(10ms);
        }
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        return -1;
    }

    // Whether `child` runs the program it was started with yet, rather than a copy of this one.
    bool runs(pid_t child, const std::string &program)
    {
        for (int waited = 0; waited < 300; ++waited) {
            std::ifstream comm("/proc/" + std::to_string(child) + "/comm");
            std::string name;
            if (std::getline(comm, name) && name == program)
                return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }

    // While the panel listens for SIGINT, SIGTERM and SIGHUP, each reaches it through the event
    // loop, and a program it starts can still be stopped with each of them.
    TEST(TerminationSignals, ReachThePanelThroughTheEventLoopAndLeaveChildrenTheirDefaults)
    {
        TerminationSignals termination;
        int heard = 0;
        termination.watch([&] { ++heard; });
        for (const int signal : { SIGINT, SIGTERM, SIGHUP }) {
            SCOPED_TRACE(strsignal(signal));
            const int before = heard;
            ASSERT_EQ(::kill(::getpid(), signal), 0);
            for (int round = 0; round < 100 && heard == before; ++round) {
                QCoreApplication::processEvents();
                std::this_thread::sleep_for(1ms);
            }
            EXPECT_EQ(heard, before + 1);

            pid_t child = -1;
            char sleep[] = "sleep", seconds[] = "30";
            char *arguments[] = { sleep, seconds, nullptr };
            ASSERT_EQ(::posix_spawnp(&child, "sleep", nullptr, nullptr, arguments, environ), 0);
            ASSERT_TRUE(runs(child, "sleep"));
            ::kill(child, signal);
            const int status = endOf(child);
            EXPECT_TRUE(status != -1 && WIFSIGNALED(status) && WTERMSIG(status) == signal)
                    << "the child did not stop on the signal";
        }
    }

    // A path is opened without waiting and without becoming the controlling terminal, so that a
    // serial port without carrier cannot hold the panel in open().
    TEST(SystemCalls, APathIsOpenedWithoutWaitingAndClosedOnExec)
    {
        char name[] = "/tmp/meridan-open-XXXXXX";
        const int made = ::mkstemp(name);
        ASSERT_GE(made, 0);
        ::close(made);
        const int opened = LinuxSystemCalls::instance().openPath(name);
        ASSERT_GE(opened, 0);
        EXPECT_NE(::fcntl(opened, F_GETFL) & O_NONBLOCK, 0);
        EXPECT_NE(::fcntl(opened, F_GETFD) & FD_CLOEXEC, 0);
        ::close(opened);
        std::filesystem::remove(name);
    }

} // namespace
} // namespace meridan::testing
