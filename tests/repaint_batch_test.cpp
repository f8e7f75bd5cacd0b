#include "board_library.h"
#include "precise_wake_up.h"
#include "qt_desktop.h"
#include "repaint_batch.h"
#include "simulated_board.h"
#include "virtual_clock.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

namespace meridan::testing {
namespace {

    using namespace std::chrono_literals;

    class PaintCounter : public QWidget
    {
    public:
        int paints = 0;

    protected:
        void paintEvent(QPaintEvent * /*event*/) override { ++paints; }
    };

    // Whether `counter` has been painted `paints` times, within two seconds of event processing.
    bool paintedTimes(const PaintCounter &counter, int paints)
    {
        return QTest::qWaitFor([&] { return counter.paints >= paints; }, 2000)
                && counter.paints == paints;
    }

    // A shown counter with its first paints behind it.
    std::unique_ptr<PaintCounter> shownCounter()
    {
        auto counter = std::make_unique<PaintCounter>();
        counter->resize(40, 30);
        counter->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(counter.get()));
        QCoreApplication::processEvents();
        counter->paints = 0;
        return counter;
    }

    TEST(RepaintBatchTest, RepaintsWhenTheOutermostBatchEndsAndSkipsDeletedWidgets)
    {
        const auto counter = shownCounter();
        auto deleted = std::make_unique<PaintCounter>();
        {
            const RepaintBatch outer;
            {
                const RepaintBatch inner;
                RepaintBatch::update(*counter);
                RepaintBatch::update(*deleted);
                RepaintBatch::update(*counter); // asked twice, painted once
            }
            QCoreApplication::processEvents();
            EXPECT_EQ(counter->paints, 0) << "painted before the outermost batch ended";
            deleted.reset();
        }
        EXPECT_EQ(counter->paints, 1) << "not painted as the outermost batch ended";

        RepaintBatch::update(*counter); // outside any batch: at once
        EXPECT_TRUE(paintedTimes(*counter, 2));

        // A modal box opened inside a batch, as a run-time error's report is, waits with the
        // window showing what was asked for before it.
        std::optional<int> paintsWhileBoxWaits;
        QTimer::singleShot(0, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            paintedTimes(*counter, 3);
            paintsWhileBoxWaits = counter->paints;
            box->button(QMessageBox::Ok)->click();
        });
        {
            const RepaintBatch batch;
            RepaintBatch::update(*counter);
            QtDesktop().showMessage("a box");
        }
        EXPECT_EQ(paintsWhileBoxWaits, 3);
    }

    // The two handlers that write the board at once, the lamps' timer tick and a board's input
    // change, repaint only once they have returned.
    TEST(RepaintBatchTest, TheLampsTimerAndTheBoardsInputChangesRepaintAfterTheirHandlerReturns)
    {
        const auto counter = shownCounter();
        std::optional<int> paintsInHandler;
        const auto handler = [&] {
            RepaintBatch::update(*counter);
            QCoreApplication::sendPostedEvents();
            paintsInHandler = counter->paints;
        };
        {
            SCOPED_TRACE("the lamps' timer");
            PreciseWakeUp wakeUp;
            wakeUp.setHandler(handler);
            wakeUp.wakeAt(std::chrono::steady_clock::now() + 1ms);
            EXPECT_TRUE(QTest::qWaitFor([&] { return paintsInHandler.has_value(); }, 2000));
            EXPECT_EQ(paintsInHandler.value_or(-1), 0);
            EXPECT_TRUE(paintedTimes(*counter, 1));
        }
        {
            SCOPED_TRACE("a board's input change");
            const char *old = std::getenv("MERIDAN_BOARD");
            const std::string saved = old != nullptr ? old : "";
            ::setenv("MERIDAN_BOARD", "sim", 1);
            VirtualClock clock;
            BoardLibrary library(clock, [](QWidget &) {});
            library.setInputChangeHandler([&](std::int16_t, Boolean) { handler(); });
            library.OpenBoard(0, 0);
            if (old != nullptr)
                ::setenv("MERIDAN_BOARD", saved.c_str(), 1);
            else
                ::unsetenv("MERIDAN_BOARD");
            paintsInHandler.reset();
            library.boardAs<SimulatedBoard>()->setInput(0, true);
            EXPECT_TRUE(QTest::qWaitFor([&] { return paintsInHandler.has_value(); }, 2000));
            EXPECT_EQ(paintsInHandler.value_or(-1), 1);
            EXPECT_TRUE(paintedTimes(*counter, 2));
        }
    }

} // namespace
} // namespace meridan::testing
