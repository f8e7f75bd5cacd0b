#include "display_loss.h"

#include <QtGlobal>

#include <csignal>
#include <cstdlib>
#include <utility>

namespace meridan {

namespace {

    std::function<void()> *armed = nullptr;
    QtMessageHandler qtHandler = nullptr;

    void lost()
    {
        if (armed == nullptr)
            return;
        // Once only, and never again from the handlers it runs.
        std::function<void()> onLoss = std::move(*armed);
        armed = nullptr;
        onLoss();
    }

    void onFatalMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        if (qtHandler != nullptr)
            qtHandler(type, context, message); // Qt's own line first
        if (type == QtFatalMsg)
            lost();
    }

    bool registered = false;

} // namespace

DisplayLoss::DisplayLoss(std::function<void()> onLoss)
{
    static std::function<void()> handler;
    handler = std::move(onLoss);
    armed = &handler;
    std::signal(SIGPIPE, SIG_IGN);
    qtHandler = qInstallMessageHandler(onFatalMessage);
    if (!registered)
        registered = std::atexit(lost) == 0;
}

DisplayLoss::~DisplayLoss()
{
    armed = nullptr;
    qInstallMessageHandler(qtHandler);
}

} // namespace meridan
