#include "display_loss.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <QtGlobal>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>
#include <utility>

namespace meridan {

namespace {

    std::function<void()> handler;
    std::atomic<bool> armed = false;
    QtMessageHandler qtHandler = nullptr;
    bool registered = false;

    // Runs the handler once, on the thread of the event loop, between two event handlers.
    void lost()
    {
        if (armed.exchange(false))
            handler();
    }

    void lostOnAnyThread()
    {
        if (!armed)
            return;
        QCoreApplication *application = QCoreApplication::instance();
        if (application == nullptr || QThread::currentThread() == application->thread()) {
            lost();
            return;
        }
        // Another thread of Qt's (the Wayland event reader) is about to end the process. Hold it
        // while the event loop runs the handler after the handler now running, as every event
        // of the panel runs; if the loop does not come to it, run it here rather than leave a
        // lamp lit.
        QMetaObject::invokeMethod(application, lost, Qt::QueuedConnection);
        for (int waited = 0; waited < 200 && armed; ++waited)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        lost();
    }

    void onMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        if (qtHandler != nullptr)
            qtHandler(type, context, message); // Qt's own line first
        // Qt's Wayland client says this, and nothing else, before it calls _exit(1).
        const bool waylandGone = type == QtWarningMsg
                && message.startsWith(QLatin1String("The Wayland connection "));
        if (waylandGone || type == QtFatalMsg)
            lostOnAnyThread();
    }

} // namespace

DisplayLoss::DisplayLoss(std::function<void()> onLoss)
{
    handler = std::move(onLoss);
    armed = true;
    std::signal(SIGPIPE, SIG_IGN);
    qtHandler = qInstallMessageHandler(onMessage);
    if (!registered)
        registered = std::atexit(lostOnAnyThread) == 0;
}

DisplayLoss::~DisplayLoss()
{
    armed = false;
    qInstallMessageHandler(qtHandler);
}

} // namespace meridan
