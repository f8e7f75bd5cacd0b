#include "display_loss.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <QtGlobal>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <thread>
#include <utility>

#include <unistd.h>

namespace meridan {

namespace {

    std::function<void()> handler;
    QtMessageHandler qtHandler = nullptr;
    bool registered = false;

    // Armed: a loss runs the handler. Handling: it is running, on one thread, and will end the
    // process. Off: the program's own end has come.
    enum class State { Armed, Handling, Off };
    std::atomic<State> state = State::Off;

    // Runs the handler once. A second thread that meets the loss (Qt's Wayland reader and the
    // event loop both do) waits for the first to end the process instead of letting Qt end it
    // with status 1 while the lamps are being darkened.
    void lost()
    {
        State armed = State::Armed;
        if (state.compare_exchange_strong(armed, State::Handling)) {
            handler();
            return;
        }
        for (int waited = 0; waited < 500 && state == State::Handling; ++waited)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }

    void lostOnAnyThread()
    {
        QCoreApplication *application = QCoreApplication::instance();
        if (state == State::Armed && application != nullptr
                && QThread::currentThread() != application->thread()) {
            // Another thread of Qt's (the Wayland event reader) is about to end the process: have
            // the event loop run the handler after the handler now running, as every event of
            // the panel runs, and hold this thread meanwhile. If the loop does not come to it,
            // run it here rather than leave a lamp lit.
            QMetaObject::invokeMethod(application, lost, Qt::QueuedConnection);
            for (int waited = 0; waited < 200 && state == State::Armed; ++waited)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
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

DisplayLoss::DisplayLoss()
{
    handler = [] {
        std::cerr << "meridan: the display was lost" << std::endl;
        ::_exit(2);
    };
    state = State::Armed;
    std::signal(SIGPIPE, SIG_IGN);
    qtHandler = qInstallMessageHandler(onMessage);
    if (!registered)
        registered = std::atexit(lostOnAnyThread) == 0;
}

void DisplayLoss::setHandler(std::function<void()> onLoss)
{
    // Set on the event loop's thread, where the handler also runs: no loss is being handled now.
    handler = std::move(onLoss);
}

DisplayLoss::~DisplayLoss()
{
    state = State::Off;
    qInstallMessageHandler(qtHandler);
}

} // namespace meridan
