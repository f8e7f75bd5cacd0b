#include "app/display_loss.h"

#include "signal/desktop.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QString>
#include <QtGlobal>

#include <atomic>
#include <chrono>
#include <csignal>
#include <string_view>
#include <thread>
#include <utility>

#include <unistd.h>

namespace meridan {

namespace {

    constexpr int kDisplayLost = static_cast<int>(ExitStatus::DisplayLost);

    // Read and written on the event loop's thread only.
    std::function<void()> handler;
    std::thread::id loopThread;

    std::atomic<QtMessageHandler> previous = nullptr;
    std::atomic<bool> armed = false;
    std::atomic<bool> handling = false;

    bool saysTheDisplayIsLost(QtMsgType type, const QString &message)
    {
        if (type != QtWarningMsg && type != QtCriticalMsg)
            return false;
        for (const char *opening : { "The X11 connection broke", "The Wayland connection broke",
                     "The Wayland connection experienced a fatal error" })
            if (message.startsWith(QLatin1String(opening)))
                return true;
        return false;
    }

    // On the event loop's thread: runs the handler once, and ends the process.
    void handleOnLoopThread()
    {
        if (!armed)
            return;
        if (handling.exchange(true)) {
            // Met again while the handler runs (it touched the display): end here, before Qt
            // ends the process with a status of its own.
            sayDisplayLost(false);
            ::_exit(kDisplayLost);
        }
        if (handler)
            handler();
        else
            sayDisplayLost(false);
        ::_exit(kDisplayLost);
    }

    void onMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        if (const QtMessageHandler qt = previous.load())
            qt(type, context, message); // Qt's own line first
        if (!armed || !saysTheDisplayIsLost(type, message))
            return;
        if (std::this_thread::get_id() == loopThread) {
            handleOnLoopThread();
            return;
        }
        // Another thread of Qt's is about to end the process: have the event loop handle the loss
        // as it handles every event, and hold this thread meanwhile. Should the loop have ended
        // (the program is ending on its own), let Qt go on after a while.
        QMetaObject::invokeMethod(
                QCoreApplication::instance(), handleOnLoopThread, Qt::QueuedConnection);
        using namespace std::chrono_literals;
        for (auto waited = 0ms; armed && waited < 10s; waited += 10ms)
            std::this_thread::sleep_for(10ms);
    }

} // namespace

void sayDisplayLost(bool darkened)
{
    // One write: Qt's other threads may be saying their own line at the same moment.
    constexpr std::string_view lost = "meridan: the display was lost\n";
    constexpr std::string_view lostDark =
            "meridan: the display was lost; both lamps darkened as END does\n";
    const std::string_view line = darkened ? lostDark : lost;
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
}

DisplayLoss::DisplayLoss()
{
    loopThread = std::this_thread::get_id();
    handler = nullptr;
    handling = false;
    std::signal(SIGPIPE, SIG_IGN);
    armed = true;
    previous = qInstallMessageHandler(onMessage);
}

void DisplayLoss::setHandler(std::function<void()> onLoss)
{
    handler = std::move(onLoss);
}

void DisplayLoss::disarm()
{
    armed = false;
}

DisplayLoss::~DisplayLoss()
{
    disarm();
    qInstallMessageHandler(previous.load());
}

} // namespace meridan
