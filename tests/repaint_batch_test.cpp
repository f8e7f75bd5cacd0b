#include "board/simulated/simulated_board.h"
#include "signal/form1.h"
#include "tests/fake_controls.h"
#include "tests/virtual_clock.h"
#include "window/operator_window.h"
#include "window/qt_desktop.h"
#include "window/repaint/repaint_batch.h"

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

    // Every handler of the bound window's panel (a click, a lamps' timer tick, a board's input
    // change: the dispatcher runs them all) repaints what it changed only once it has returned.
    TEST(RepaintBatchTest, TheBoundWindowRepaintsAfterEachHandlerReturns)
    {
        const auto counter = shownCounter();
        VirtualClock clock;
        FakeDesktop desktop;
        OperatorWindow window;
        Form1 form { window.controls(), desktop, clock, clock,
            [&clock] { return std::make_unique<SimulatedBoard>(clock, nullptr); } };
        std::optional<int> paintsInHandler;
        const auto handler = [&](Form1 &) {
            RepaintBatch::update(*counter);
            QCoreApplication::sendPostedEvents();
            paintsInHandler = counter->paints;
        };
        form.dispatch(handler);
        EXPECT_TRUE(paintedTimes(*counter, 1)) << "unbound: asked for at once, painted by the loop";

        window.bind(form);
        paintsInHandler.reset();
        form.dispatch(handler);
        EXPECT_EQ(paintsInHandler.value_or(-1), 1);
        EXPECT_EQ(counter->paints, 2) << "painted as the handler returned";
        EXPECT_TRUE(paintedTimes(*counter, 2));
    }

} // namespace
} // namespace meridan::testing
