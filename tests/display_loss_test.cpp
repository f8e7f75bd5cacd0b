#include "app/display_loss.h"

#include <QCoreApplication>
#include <QtGlobal>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <iostream>
#include <thread>

#include <unistd.h>

namespace meridan::testing {
namespace {

    using namespace std::chrono_literals;

    // Each case runs in a child process of its own, as Qt's own ending would end this one.
    class DisplayLossTest : public ::testing::Test
    {
    protected:
        void SetUp() override { GTEST_FLAG_SET(death_test_style, "fast"); }

        // Gives a handler that says on which thread it ran and ends the process, as the panel's
        // does.
        static void arm(DisplayLoss &loss)
        {
            const std::thread::id loop = std::this_thread::get_id();
            loss.setHandler([loop] {
                std::cerr << (std::this_thread::get_id() == loop ? "handled on the loop's thread"
                                                                 : "handled on another thread")
                          << std::endl;
                ::_exit(2);
            });
        }

        // Runs the event loop for a while, as the panel's would between its handlers.
        static void runLoop(std::chrono::milliseconds span)
        {
            const auto end = std::chrono::steady_clock::now() + span;
            while (std::chrono::steady_clock::now() < end) {
                QCoreApplication::processEvents();
                std::this_thread::sleep_for(1ms);
            }
        }
    };

    // Qt's X11 connection, broken, says so on the event loop's thread and then calls exit(1).
    TEST_F(DisplayLossTest, TheX11ConnectionBrokenOnTheLoopsThreadRunsTheHandlerThereAndEndsWithTwo)
    {
        EXPECT_EXIT(
                {
                    DisplayLoss loss;
                    arm(loss);
                    qWarning("The X11 connection broke (error 1). Did the X11 server die?");
                    std::exit(1);
                },
                ::testing::ExitedWithCode(2), "handled on the loop's thread");
    }

    // Qt's Wayland reader thread says it and then calls _exit(1): the handler still runs on the
    // event loop's thread, and the reader waits for it.
    TEST_F(DisplayLossTest, TheWaylandConnectionBrokenOnAnotherThreadIsHandledOnTheLoopsThread)
    {
        EXPECT_EXIT(
                {
                    DisplayLoss loss;
                    arm(loss);
                    std::thread reader([] {
                        qWarning("The Wayland connection broke. Did the Wayland compositor die?");
                        ::_exit(1);
                    });
                    reader.detach();
                    runLoop(5s);
                    ::_exit(3);
                },
                ::testing::ExitedWithCode(2), "handled on the loop's thread");
    }

    // Any other fatal message keeps Qt's own end: an abort, with its core dump.
    TEST_F(DisplayLossTest, AnotherFatalMessageAbortsAsQtWouldHaveIt)
    {
        EXPECT_EXIT(
                {
                    DisplayLoss loss;
                    arm(loss);
                    qFatal("QPainter::begin: a real fault");
                },
                ::testing::KilledBySignal(SIGABRT), "a real fault");
    }

    // Any other warning is only said; and once disarmed, the words are only said too.
    TEST_F(DisplayLossTest, OtherWarningsAndAnyMessageAfterDisarmingGoOnAsQtWouldHaveIt)
    {
        EXPECT_EXIT(
                {
                    DisplayLoss loss;
                    arm(loss);
                    qWarning("QWidget::repaint: Recursive repaint detected");
                    loss.disarm();
                    qWarning("The X11 connection broke (error 1). Did the X11 server die?");
                    std::exit(7);
                },
                ::testing::ExitedWithCode(7), "Recursive repaint detected");
    }

} // namespace
} // namespace meridan::testing
