#include "app/display_loss.h"
#include "app/simulated_board_view.h"
#include "app/termination_signals.h"
#include "app/x11_send_buffer.h"
#include "board/board_library.h"
#include "signal/form1.h"
#include "system/monotonic_clock.h"
#include "system/precise_wake_up.h"
#include "window/operator_window.h"
#include "window/qt_desktop.h"

#include <QApplication>
#include <QMetaObject>
#include <QScreen>
#include <QStyleFactory>

#include <cstdlib>
#include <iostream>
#include <memory>

#include <unistd.h>

using namespace meridan;

namespace {

bool hasDisplay()
{
    for (const char *name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" }) {
        const char *value = std::getenv(name);
        if (value != nullptr && *value != '\0')
            return true;
    }
    return false;
}

// Places the simulated board's window beside the panel, never over it: without a window manager
// both would otherwise open at the same corner. It is shown once the panel is.
void showBeside(QWidget &boardWindow, QWidget &panel)
{
    QMetaObject::invokeMethod(
            &boardWindow,
            [&boardWindow, &panel] {
                if (!panel.isVisible())
                    return;
                constexpr int kGap = 16;
                boardWindow.adjustSize();
                boardWindow.move(panel.frameGeometry().right() + kGap, panel.frameGeometry().top());
                boardWindow.show();
            },
            Qt::QueuedConnection);
}

} // namespace

int main(int argc, char *argv[])
{
    // Before Qt sees them: Qt's own options (-reverse, -style, -stylesheet, -platform, ...) would
    // change the window the design fixes. The environment chooses the display and the scale.
    if (argc > 1) {
        std::cerr << "meridan: takes no arguments, but was given \"" << argv[1] << "\"\n";
        return static_cast<int>(ExitStatus::RunTimeError);
    }
    if (!hasDisplay()) {
        std::cerr << "meridan: no display to open (DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM "
                     "are unset); run it in a desktop session, or without one as: xvfb-run "
                  << argv[0] << '\n';
        return static_cast<int>(ExitStatus::RunTimeError);
    }
    TerminationSignals terminationSignals; // from here on, a signal waits for the event loop

    // On X11, the windows' pictures go to the server over the connection itself rather than
    // through shared memory, whose completion event for each window's update wakes the panel once
    // more at every lamp edge (docs/performance.md). Whoever sets the variable keeps the choice.
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM"))
        qputenv("QT_XCB_NO_MITSHM", "1");

    QApplication application(argc, argv);
    DisplayLoss displayLoss; // from here on, losing the display ends the panel with status 2
    widenX11SendBuffer();
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    QApplication::setQuitOnLastWindowClosed(false);

    MonotonicClock clock;
    QtDesktop desktop;
    OperatorWindow window;
    PreciseWakeUp wakeUp;
    SimulatedBoardView boardView(
            [&window](QWidget &boardWindow) { showBeside(boardWindow, window); });
    auto form = std::make_unique<Form1>(
            window.controls(), desktop, clock, wakeUp, [&clock, &boardView] {
                return std::make_unique<BoardLibrary>(clock, boardView.opener());
            });
    window.bind(*form);
    // Form_Load runs until the board is open; a board that answers slowly (an Arduino resets when
    // its port opens) keeps it there for seconds, with nothing written to the board yet.
    bool opening = true;
    terminationSignals.watch([&form, &opening] {
        // With a modal message up (the start-up message, or a run-time error's report) the
        // message goes as OK would make it go, and the program ends as it would then have ended.
        if (QWidget *message = QApplication::activeModalWidget()) {
            message->close();
            return;
        }
        if (opening) {
            std::cerr << "meridan: ended while the board was opening; nothing was written to it"
                      << std::endl;
            ::_exit(static_cast<int>(ExitStatus::Ended));
        }
        form->endUnattended();
    });

    displayLoss.setHandler([&form, &desktop, &opening] {
        // Qt is about to end the process. Reports go to standard error only from now on. With the
        // start-up message up no lamp can be lit; otherwise both go dark as END makes them, or,
        // with a run-time error's report up, as its OK would have made them.
        desktop.loseDisplay();
        const bool startingUp =
                opening || (!form->ended() && QApplication::activeModalWidget() != nullptr);
        if (!startingUp)
            form->endUnattended();
        const bool darkened = desktop.exitStatus() == ExitStatus::Ended;
        if (!opening)
            form.reset(); // the board's last bytes leave before the process ends
        sayDisplayLost(darkened);
        ::_exit(static_cast<int>(ExitStatus::DisplayLost));
    });

    form->dispatch(&Form1::Form_Load);
    opening = false;
    if (!desktop.exitStatus()) {
        window.show();
        QApplication::exec();
    }
    displayLoss.disarm(); // the panel's objects go from here on
    const ExitStatus status = desktop.exitStatus().value_or(ExitStatus::Ended);
    form.reset(); // releases the board object before the window and the application go
    return static_cast<int>(status);
}
