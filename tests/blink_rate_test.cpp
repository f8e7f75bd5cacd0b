#include "tests/panel.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace meridan::testing {
namespace {

    using ::testing::ElementsAre;
    using namespace std::chrono_literals;

    TEST(HalfPeriod, RoundsToNearestWithTiesToEven)
    {
        const std::pair<std::int16_t, std::int32_t> table[] = {
            { 200, 100 },
            { 1000, 500 },
            { 101, 50 },
            { 103, 52 },
            { 1, 0 },
            { 0, 0 },
            { 3, 2 },
            { 5, 2 },
            { 7, 4 },
            { 100, 50 },
            { 999, 500 },
            { 997, 498 },
        };
        for (const auto &[value, half] : table)
            EXPECT_EQ(halfPeriod(value), half) << "V = " << value;
    }

    class BlinkRate : public ::testing::Test
    {
    protected:
        BlinkRate() { panel.load(); }

        void scrollTo(std::int16_t value, void (Form1::*handler)() = &Form1::HScroll1_Change)
        {
            panel.HScroll1.position = value;
            form.dispatch(handler);
        }

        std::vector<std::int32_t> intervals() const
        {
            return { form.timer(1).interval(), form.timer(2).interval(), form.timer(3).interval(),
                form.timer(4).interval() };
        }

        Panel panel;
        Form1 &form = panel.form;
    };

    TEST_F(BlinkRate, BothHandlersSetOnTimersToVAndOffTimersToHalfOfIt)
    {
        for (auto handler : { &Form1::HScroll1_Change, &Form1::HScroll1_Scroll }) {
            panel.HScroll1.reads = 0;
            scrollTo(103, handler);
            EXPECT_THAT(intervals(), ElementsAre(103, 52, 103, 52));
            EXPECT_EQ(panel.HScroll1.reads, 4); // the value is read afresh for each interval
            scrollTo(1000, handler);
            EXPECT_THAT(intervals(), ElementsAre(1000, 500, 1000, 500));
        }
    }

    TEST_F(BlinkRate, ChangesNoTimersEnabledFlag)
    {
        scrollTo(500);
        EXPECT_FALSE(form.timer(1).enabled() || form.timer(2).enabled() || form.timer(3).enabled()
                || form.timer(4).enabled());
        panel.clock.advance(2s);
        EXPECT_TRUE(panel.board->writes().empty());
    }

    TEST_F(BlinkRate, ARunningCycleTakesTheNewPeriod)
    {
        form.dispatch(&Form1::Command1_Click);
        panel.clock.advance(300ms); // lit at 200, dark at 300; Timer1 counts from 300
        scrollTo(1000); // dark for 1000, lit for 500
        panel.clock.advance(2500ms);
        EXPECT_THAT(panel.writesOf(1),
                ElementsAre(OutputWrite { at(200), 1, 100 }, OutputWrite { at(300), 1, 0 },
                        OutputWrite { at(1300), 1, 100 }, OutputWrite { at(1800), 1, 0 },
                        OutputWrite { at(2800), 1, 100 }));
    }

    TEST_F(BlinkRate, ValueZeroFreezesTheCycleWithALitLampLit)
    {
        form.dispatch(&Form1::Command3_Click);
        panel.clock.advance(250ms); // both lit
        scrollTo(0);
        EXPECT_THAT(intervals(), ElementsAre(0, 0, 0, 0));
        panel.clock.advance(10s);
        EXPECT_EQ(panel.board->outputLevel(0), 100);
        EXPECT_EQ(panel.board->outputLevel(1), 100);
        EXPECT_EQ(panel.board->writes().size(), 2u);
    }

    TEST_F(BlinkRate, ValueOneLightsTheLampOnceAndLeavesItLit)
    {
        scrollTo(1);
        form.dispatch(&Form1::Command2_Click);
        panel.clock.advance(10s);
        EXPECT_THAT(panel.writesOf(0), ElementsAre(OutputWrite { at(1), 0, 100 }));
    }

    TEST_F(BlinkRate, DraggingFollowsTheThumbAtEveryScroll)
    {
        form.dispatch(&Form1::Command1_Click);
        for (const int value : { 210, 250, 400 }) {
            scrollTo(static_cast<std::int16_t>(value), &Form1::HScroll1_Scroll);
            EXPECT_EQ(form.timer(1).interval(), value);
        }
        scrollTo(400); // the end of the drag sets the same values again
        EXPECT_THAT(intervals(), ElementsAre(400, 200, 400, 200));
        EXPECT_TRUE(form.timer(1).enabled());
    }

} // namespace
} // namespace meridan::testing
