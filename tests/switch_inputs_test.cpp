#include "tests/panel.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>

namespace meridan::testing {
namespace {

    using ::testing::ElementsAre;
    using ::testing::IsEmpty;
    using namespace std::chrono_literals;

    class SwitchInputs : public ::testing::Test
    {
    protected:
        SwitchInputs() { panel.load(); }

        void flip(std::int16_t input, bool on)
        {
            panel.board->setInput(input, on);
            panel.deliverEvents();
        }

        Panel panel;
        Form1 &form = panel.form;
    };

    TEST_F(SwitchInputs, TheEventWaitsForTheEventLoop)
    {
        panel.board->setInput(0, true);
        EXPECT_FALSE(form.timer(1).enabled());
        panel.deliverEvents();
        EXPECT_TRUE(form.timer(1).enabled());
    }

    struct SwitchRow
    {
        bool left, right;
        bool timer1, timer3; // started afterwards
        std::vector<std::string> reads;
    };

    TEST_F(SwitchInputs, BothSwitchesAreReadAndChooseTheMode)
    {
        const SwitchRow table[] = {
            { true, false, true, false, { "ReadInput(0)", "ReadInput(1)", "ReadInput(0)" } },
            { false, true, false, true,
                    { "ReadInput(0)", "ReadInput(1)", "ReadInput(0)", "ReadInput(1)" } },
            // Both on: left wins, as input 0 is tested first.
            { true, true, true, false, { "ReadInput(0)", "ReadInput(1)", "ReadInput(0)" } },
        };
        for (const SwitchRow &row : table) {
            SCOPED_TRACE(::testing::Message() << "left " << row.left << ", right " << row.right);
            Panel fresh;
            fresh.load();
            if (row.left)
                fresh.board->setInput(0, true);
            if (row.right)
                fresh.board->setInput(1, true);
            fresh.events.pending.resize(1); // one change event is enough; the handler ignores which
            fresh.deliverEvents();
            const std::vector<std::string> calls(
                    fresh.board->calls().begin() + 4, fresh.board->calls().end());
            EXPECT_EQ(calls, row.reads);
            EXPECT_EQ(fresh.form.timer(1).enabled(), row.timer1);
            EXPECT_EQ(fresh.form.timer(3).enabled(), row.timer3);
            EXPECT_THAT(fresh.board->writes(), IsEmpty());
        }
    }

    TEST_F(SwitchInputs, BothSwitchesOffRunsOffWhateverModeTheButtonsStarted)
    {
        form.dispatch(&Form1::Command3_Click); // hazard from the window
        panel.clock.advance(250ms);
        flip(5, true); // an input other than 0 or 1 runs the same steps
        EXPECT_EQ(form.hazardMode(), kFalse);
        EXPECT_FALSE(form.timer(1).enabled() || form.timer(2).enabled() || form.timer(3).enabled()
                || form.timer(4).enabled());
        EXPECT_EQ(panel.board->outputLevel(0), 0);
        EXPECT_EQ(panel.board->outputLevel(1), 0);
        EXPECT_TRUE(panel.Command1.enabled && panel.Command2.enabled && panel.Command3.enabled);
    }

    TEST_F(SwitchInputs, LeftSwitchWhileTheRightCycleRunsBlinksBothUntilBothAreOff)
    {
        flip(1, true);
        panel.clock.advance(100ms);
        flip(0, true);
        panel.clock.advance(350ms);
        EXPECT_THAT(panel.writesOf(0),
                ElementsAre(OutputWrite { at(200), 0, 100 }, OutputWrite { at(300), 0, 0 }));
        EXPECT_THAT(panel.writesOf(1),
                ElementsAre(OutputWrite { at(300), 1, 100 }, OutputWrite { at(400), 1, 0 }));
        flip(1, false); // left still on: leftlight again, the right cycle keeps running
        EXPECT_TRUE(form.timer(3).enabled());
        flip(0, false);
        EXPECT_FALSE(form.timer(1).enabled() || form.timer(3).enabled());
        EXPECT_EQ(panel.board->writes().back(), (OutputWrite { at(450), 0, 0 }));
    }

    // A board whose switch moves between the handler's reads.
    class MovingSwitchBoard : public SimulatedBoard
    {
    public:
        using SimulatedBoard::SimulatedBoard;
        Boolean ReadInput(std::int16_t Index) override
        {
            SimulatedBoard::ReadInput(Index);
            const Boolean value = script.front();
            script.pop_front();
            return value;
        }
        std::deque<Boolean> script;
    };

    TEST(SwitchInputsMoving, ASwitchThatMovesBetweenReadsIsJudgedByTheLaterRead)
    {
        struct Row
        {
            const char *what;
            std::deque<Boolean> reads;
            bool timer1, timer3, offRan;
        };
        const Row table[] = {
            { "left goes off after the first read", { kTrue, kFalse, kFalse, kFalse }, false, false,
                    false },
            { "left goes off, right is on", { kTrue, kTrue, kFalse, kTrue }, false, true, false },
            { "left comes on after the first read", { kFalse, kTrue, kTrue }, true, false, false },
            { "both off at first", { kFalse, kFalse }, false, false, true },
            { "a read that is neither True nor False", { 1, kFalse, 1, kFalse }, false, false,
                    false },
        };
        for (const Row &row : table) {
            SCOPED_TRACE(row.what);
            Panel panel;
            auto board = std::make_unique<MovingSwitchBoard>(panel.clock, nullptr);
            board->script = row.reads;
            MovingSwitchBoard *moving = board.get();
            panel.owned = std::move(board);
            panel.board = moving;
            panel.load();
            panel.form.dispatch(&Form1::light_OnInputChange, std::int16_t { 0 }, kTrue);
            EXPECT_TRUE(moving->script.empty());
            EXPECT_EQ(panel.form.timer(1).enabled(), row.timer1);
            EXPECT_EQ(panel.form.timer(3).enabled(), row.timer3);
            EXPECT_EQ(panel.board->writes().size(), row.offRan ? 2u : 0u);
            EXPECT_THAT(panel.desktop.errors, IsEmpty());
        }
    }

} // namespace
} // namespace meridan::testing
