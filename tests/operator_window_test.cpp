#include "board/simulated/simulated_board.h"
#include "signal/form1.h"
#include "tests/fake_controls.h"
#include "tests/virtual_clock.h"
#include "tests/window_pixels.h"
#include "window/operator_window.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QApplication>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>

#include <functional>
#include <limits>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace meridan::testing {
namespace {

    using ::testing::ElementsAre;
    using namespace std::chrono_literals;

    // The real operator window bound to Form1, on virtual time and the simulated board.
    struct BoundWindow
    {
        BoundWindow()
        {
            window.bind(form);
            form.dispatch(&Form1::Form_Load);
        }

        VirtualClock clock;
        FakeDesktop desktop;
        SimulatedBoard *board = nullptr;
        OperatorWindow window;
        Form1 form { window.controls(), desktop, clock, clock, [this] {
                        auto made = std::make_unique<SimulatedBoard>(clock, nullptr);
                        board = made.get();
                        return made;
                    } };
    };

    class OperatorWindowTest : public ::testing::Test, protected BoundWindow
    {
    };

    // The window alone, as its design builds it, with no panel behind it.
    class OperatorWindowDesign : public ::testing::Test
    {
    protected:
        static QColor background(QWidget *widget, QPalette::ColorRole role = QPalette::Window)
        {
            return widget->palette().color(role);
        }

        OperatorWindow window;
    };

    TEST_F(OperatorWindowDesign, HasItsCaptionAndAFixedClientArea)
    {
        EXPECT_EQ(window.windowTitle(), "Meridan");
        EXPECT_EQ(window.size(), QSize(374, 354));
        EXPECT_EQ(window.minimumSize(), window.maximumSize());
        EXPECT_FALSE(window.windowFlags() & Qt::WindowMaximizeButtonHint);
    }

    struct Design
    {
        const char *name;
        QWidget *widget;
        QRect twips;
        QString text;
        double points; // Arial bold at this size; 0 where the control shows no text
        QPalette::ColorRole role;
        QColor colour;
    };

    TEST_F(OperatorWindowDesign, EveryControlFollowsTheDesignTable)
    {
        const QColor frame(192, 192, 255);
        const QColor button(192, 255, 255);
        const QColor white(255, 255, 255);
        const Design table[] = {
            { "Frame1", window.Frame1, { 0, 0, 5895, 5265 }, "Turn Signal Control", 14.25,
                    QPalette::Window, frame },
            { "Picture1", window.Picture1, { 525, 630, 1380, 750 }, {}, 0, QPalette::NoRole, {} },
            { "Picture2", window.Picture2, { 3675, 630, 1380, 750 }, {}, 0, QPalette::NoRole, {} },
            { "Command1", window.Command1, { 630, 1785, 1170, 645 }, "LEFT", 12, QPalette::Button,
                    button },
            { "Command4", window.Command4, { 2205, 1785, 1170, 645 }, "OFF", 12, QPalette::Button,
                    button },
            { "Command2", window.Command2, { 3780, 1785, 1170, 645 }, "RIGHT", 12, QPalette::Button,
                    button },
            { "Command3", window.Command3, { 1890, 2730, 1800, 540 }, "HAZARD", 12,
                    QPalette::Button, button },
            { "Command5", window.Command5, { 2520, 3465, 750, 435 }, "END", 12, QPalette::Button,
                    button },
            { "Label2", window.Label2, { 525, 4410, 645, 330 }, "Min", 9.75, QPalette::Window,
                    frame },
            { "HScroll1", window.HScroll1, { 1155, 4410, 3480, 330 }, {}, 0, QPalette::NoRole, {} },
            { "Label3", window.Label3, { 4620, 4410, 645, 330 }, "Max", 9.75, QPalette::Window,
                    frame },
            { "Label1", window.Label1, { 1155, 4830, 3480, 225 }, "Set Blink Rate", 9.75,
                    QPalette::Window, frame },
        };
        EXPECT_EQ(window.Picture1->colour(), white);
        EXPECT_EQ(window.Picture2->colour(), white);
        for (const Design &row : table) {
            SCOPED_TRACE(row.name);
            const QRect &t = row.twips;
            EXPECT_EQ(row.widget->geometry(),
                    QRect(t.x() / 15, t.y() / 15, t.width() / 15, t.height() / 15));
            EXPECT_EQ(row.widget->objectName(), row.name);
            EXPECT_TRUE(row.widget->isEnabled());
            if (row.widget != window.Frame1) {
                EXPECT_EQ(row.widget->parentWidget(), window.Frame1);
            }
            if (auto *command = qobject_cast<QPushButton *>(row.widget)) {
                EXPECT_EQ(command->text(), row.text);
            } else if (auto *label = qobject_cast<QLabel *>(row.widget)) {
                EXPECT_EQ(label->text(), row.text);
                EXPECT_EQ(label->alignment(), Qt::AlignCenter);
            } else if (auto *box = qobject_cast<QGroupBox *>(row.widget)) {
                EXPECT_EQ(box->title(), row.text);
            }
            if (row.points > 0) {
                EXPECT_EQ(row.widget->font().family(), "Arial");
                EXPECT_TRUE(row.widget->font().bold());
                EXPECT_DOUBLE_EQ(row.widget->font().pointSizeF(), row.points);
                // As drawn: Arial is Liberation Sans on a Debian desktop, bold.
                const QFontInfo drawn(row.widget->font());
                EXPECT_EQ(drawn.family(), "Liberation Sans");
                EXPECT_TRUE(drawn.bold());
            }
            if (row.role != QPalette::NoRole) {
                EXPECT_EQ(background(row.widget, row.role), row.colour);
            }
        }
    }

    // The fixed colours as painted, under the desktop's palette and under a dark one (what a
    // desktop's dark theme hands every application): nothing of the design may follow it.
    TEST(OperatorWindowColours, StayAsDesignedAsPaintedUnderADefaultAndADarkPalette)
    {
        QPalette dark(QColor(50, 50, 50));
        for (const QPalette::ColorRole role : { QPalette::WindowText, QPalette::Text,
                     QPalette::ButtonText, QPalette::BrightText })
            dark.setColor(role, QColor(240, 240, 240));
        dark.setColor(QPalette::Base, QColor(36, 36, 36));
        dark.setColor(QPalette::Window, QColor(50, 50, 50));
        const QPalette desktop = QApplication::palette();
        for (const auto &[name, palette] : { std::pair { "default", desktop }, { "dark", dark } }) {
            SCOPED_TRACE(name);
            QApplication::setPalette(palette);
            OperatorWindow window;
            window.show();
            const QImage image = window.grab().toImage();
            ASSERT_EQ(image.size(), QSize(374, 354));
            const auto faults = designColourFaults(
                    [&image](int x, int y) { return image.pixel(x, y) & 0xFFFFFFu; });
            EXPECT_THAT(faults, ::testing::IsEmpty());
        }
        QApplication::setPalette(desktop);
    }

    TEST_F(OperatorWindowDesign, TheKeyboardFocusFollowsTheTabOrder)
    {
        std::vector<std::string> order;
        QWidget *widget = window.Command1;
        for (int i = 0; i < 6; ++i) {
            order.push_back(widget->objectName().toStdString());
            do
                widget = widget->nextInFocusChain();
            while (widget->focusPolicy() == Qt::NoFocus);
        }
        EXPECT_THAT(order,
                ElementsAre(
                        "Command1", "Command2", "Command3", "Command4", "Command5", "HScroll1"));
    }

    TEST_F(OperatorWindowTest, ButtonsRunTheirCommandsAndDisabledOnesIgnoreClicks)
    {
        window.Command1->click();
        EXPECT_TRUE(form.timer(1).enabled());
        EXPECT_FALSE(window.Command2->isEnabled());
        EXPECT_FALSE(window.Command3->isEnabled());
        window.Command2->click(); // disabled: rightlight must not run
        EXPECT_FALSE(form.timer(3).enabled());

        clock.advance(200ms);
        EXPECT_EQ(window.Picture1->colour(), QColor(0, 255, 0));

        window.Command4->click();
        EXPECT_FALSE(form.timer(1).enabled() || form.timer(2).enabled());
        EXPECT_TRUE(window.Command2->isEnabled() && window.Command3->isEnabled());
        EXPECT_EQ(window.Picture1->colour(), QColor(Qt::white));

        window.Command3->click();
        EXPECT_EQ(form.hazardMode(), kTrue);
        EXPECT_FALSE(window.Command1->isEnabled());
    }

    TEST_F(OperatorWindowTest, EndAndTheCloseControlEachDarkenBothLampsAndEndTheProgram)
    {
        const std::pair<const char *, std::function<void(OperatorWindow &)>> waysOut[] = {
            { "END", [](OperatorWindow &w) { w.Command5->click(); } },
            { "close", [](OperatorWindow &w) { w.close(); } },
        };
        for (const auto &[name, leave] : waysOut) {
            SCOPED_TRACE(name);
            BoundWindow panel;
            panel.window.Command3->click();
            panel.clock.advance(250ms); // both lamps lit
            panel.window.show();
            leave(panel.window);
            const auto &writes = panel.board->writes();
            ASSERT_GE(writes.size(), 2u);
            EXPECT_EQ(writes[writes.size() - 2], (OutputWrite { at(250), 1, 0 }));
            EXPECT_EQ(writes.back(), (OutputWrite { at(250), 0, 0 }));
            EXPECT_EQ(panel.desktop.status, ExitStatus::Ended);
        }
    }

    TEST_F(OperatorWindowTest, TheScrollBarRunsFromSlowestAtMinToFastestAtMax)
    {
        window.show();
        QScrollBar *bar = window.HScroll1;
        const int middle = bar->height() / 2;
        const QPoint leftArrow(3, middle);
        const QPoint rightArrow(bar->width() - 3, middle);
        ASSERT_EQ(window.controls().HScroll1.value(), 200);

        // The arrow by "Min" moves the thumb left and blinks slower; the one by "Max" the other
        // way.
        const int thumbBefore = bar->sliderPosition();
        QTest::mouseClick(bar, Qt::LeftButton, {}, leftArrow);
        EXPECT_EQ(window.controls().HScroll1.value(), 210);
        EXPECT_LT(bar->sliderPosition(), thumbBefore);
        EXPECT_THAT(std::vector<std::int32_t>({ form.timer(1).interval(), form.timer(2).interval(),
                            form.timer(3).interval(), form.timer(4).interval() }),
                ElementsAre(210, 105, 210, 105));
        QTest::mouseClick(bar, Qt::LeftButton, {}, rightArrow);
        QTest::mouseClick(bar, Qt::LeftButton, {}, rightArrow);
        EXPECT_EQ(window.controls().HScroll1.value(), 190);
        EXPECT_EQ(form.timer(1).interval(), 190);

        // A click in the track left of the thumb pages towards "Min".
        QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->height() + 2, middle));
        EXPECT_EQ(window.controls().HScroll1.value(), 290);

        // The ends: 1000 at the left, 100 at the right.
        bar->triggerAction(QAbstractSlider::SliderToMinimum);
        EXPECT_EQ(window.controls().HScroll1.value(), 1000);
        EXPECT_EQ(form.timer(2).interval(), 500);
        bar->triggerAction(QAbstractSlider::SliderToMaximum);
        EXPECT_EQ(window.controls().HScroll1.value(), 100);
        EXPECT_EQ(form.timer(4).interval(), 50);
    }

    TEST_F(OperatorWindowTest, DraggingTheThumbSetsTheIntervalsAsItGoes)
    {
        window.Command1->click();
        QScrollBar *bar = window.HScroll1;
        bar->setSliderDown(true);
        bar->setSliderPosition(-500);
        EXPECT_EQ(form.timer(1).interval(), 500);
        bar->setSliderPosition(-300);
        EXPECT_EQ(form.timer(1).interval(), 300);
        EXPECT_EQ(form.timer(4).interval(), 150);
        bar->setSliderDown(false);
        EXPECT_EQ(form.timer(1).interval(), 300);
        EXPECT_TRUE(form.timer(1).enabled());
    }

    TEST(BlinkRateBarTest, ADragFiresChangeOnlyWhenItEndsAwayFromWhereItBegan)
    {
        BlinkRateBar bar(nullptr);
        QSignalSpy scrolled(&bar, &BlinkRateBar::scrolled);
        QSignalSpy changed(&bar, &BlinkRateBar::changed);

        bar.setSliderDown(true); // the thumb pressed and let go where it was
        bar.setSliderDown(false);
        EXPECT_EQ(scrolled.count(), 0);
        EXPECT_EQ(changed.count(), 0) << "a release that moved nothing fired Change";

        bar.setSliderDown(true);
        bar.setSliderPosition(-500);
        bar.setSliderPosition(-200); // back where it began
        bar.setSliderDown(false);
        EXPECT_EQ(scrolled.count(), 2);
        EXPECT_EQ(changed.count(), 0);

        bar.setSliderDown(true);
        bar.setSliderPosition(-700);
        bar.setSliderDown(false);
        EXPECT_EQ(scrolled.count(), 3);
        EXPECT_EQ(changed.count(), 1);
        EXPECT_EQ(bar.period(), 700);

        bar.triggerAction(QAbstractSlider::SliderSingleStepAdd); // an arrow: one Change
        EXPECT_EQ(changed.count(), 2);
        bar.setPeriod(690); // where the arrow left it: no change, no Change
        EXPECT_EQ(changed.count(), 2);
    }

    TEST(BlinkRateBarTest, AnyNumberAnAssistiveClientSendsLandsWithinTheRange)
    {
        BlinkRateBar bar(nullptr);
        QAccessibleValueInterface *value =
                QAccessible::queryAccessibleInterface(&bar)->valueInterface();
        ASSERT_NE(value, nullptr);
        const std::pair<QVariant, int> rows[] = {
            { 500, 500 },
            { QString("300"), 300 },
            { 99, 100 },
            { 1001, 1000 },
            { 0, 100 },
            { -1, 100 },
            { std::numeric_limits<int>::min(), 100 },
            { std::numeric_limits<int>::max(), 1000 },
            { std::numeric_limits<qlonglong>::min(), 100 },
            { 1e300, 1000 },
            { -1e300, 100 },
            { 432.6, 433 },
        };
        for (const auto &[sent, period] : rows) {
            SCOPED_TRACE(sent.toString().toStdString());
            value->setCurrentValue(sent);
            EXPECT_EQ(bar.period(), period);
            EXPECT_EQ(value->currentValue().toInt(), period);
        }
        value->setCurrentValue(QString("fast")); // not a number: nothing moves
        value->setCurrentValue(std::numeric_limits<double>::quiet_NaN());
        EXPECT_EQ(bar.period(), 433);
    }

    TEST_F(OperatorWindowTest, AssistiveTechnologyHearsNamesLampStatesAndTheBlinkRate)
    {
        const auto text = [](QWidget *widget, QAccessible::Text kind) {
            return QAccessible::queryAccessibleInterface(widget)->text(kind);
        };
        EXPECT_EQ(text(window.Picture1, QAccessible::Name), "Left lamp");
        EXPECT_EQ(text(window.Picture2, QAccessible::Name), "Right lamp");
        EXPECT_EQ(text(window.Picture1, QAccessible::Description), "dark");
        EXPECT_EQ(text(window.Command3, QAccessible::Name), "HAZARD");
        window.Command1->click();
        clock.advance(200ms);
        EXPECT_EQ(text(window.Picture1, QAccessible::Description), "lit");
        EXPECT_EQ(text(window.Picture2, QAccessible::Description), "dark");
        clock.advance(100ms);
        EXPECT_EQ(text(window.Picture1, QAccessible::Description), "dark");

        QAccessibleInterface *rate = QAccessible::queryAccessibleInterface(window.HScroll1);
        EXPECT_EQ(rate->text(QAccessible::Name), "Blink rate");
        EXPECT_EQ(rate->role(), QAccessible::ScrollBar);
        QAccessibleValueInterface *value = rate->valueInterface();
        ASSERT_NE(value, nullptr);
        EXPECT_EQ(value->currentValue().toInt(), 200);
        EXPECT_EQ(value->minimumValue().toInt(), 100);
        EXPECT_EQ(value->maximumValue().toInt(), 1000);
        EXPECT_EQ(rate->text(QAccessible::Value), "200 ms");
        value->setCurrentValue(500); // as a screen reader's user would set it
        EXPECT_EQ(form.timer(1).interval(), 500);
        EXPECT_EQ(form.timer(2).interval(), 250);
        EXPECT_EQ(rate->text(QAccessible::Value), "500 ms");
    }

    TEST_F(OperatorWindowTest, EveryButtonWorksFromTheKeyboard)
    {
        window.show();
        QTest::keyClick(window.Command1, Qt::Key_Space);
        EXPECT_TRUE(form.timer(1).enabled());
        QTest::keyClick(window.Command4, Qt::Key_Space);
        EXPECT_FALSE(form.timer(1).enabled());
        QTest::keyClick(window.Command2, Qt::Key_Space);
        EXPECT_TRUE(form.timer(3).enabled());
        QTest::keyClick(window.Command4, Qt::Key_Space);
        QTest::keyClick(window.Command3, Qt::Key_Space);
        EXPECT_EQ(form.hazardMode(), kTrue);
        QTest::keyClick(window.HScroll1, Qt::Key_Left); // towards "Min": slower
        EXPECT_EQ(form.timer(1).interval(), 210);
        QTest::keyClick(window.Command5, Qt::Key_Space);
        EXPECT_EQ(desktop.status, ExitStatus::Ended);
    }

} // namespace
} // namespace meridan::testing
