#include "board/simulated/simulated_board.h"
#include "signal/run_time_error.h"
#include "tests/event_queue.h"
#include "tests/virtual_clock.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace meridan::testing {
namespace {

    using ::testing::ElementsAre;
    using ::testing::IsEmpty;
    using ::testing::StrEq;
    using ::testing::ThrowsMessage;
    using namespace std::chrono_literals;

    class SimulatedBoardTest : public ::testing::Test
    {
    protected:
        SimulatedBoardTest()
        {
            board.setInputChangeHandler([this](std::int16_t index, Boolean state) {
                received.emplace_back(index, state);
            });
        }

        VirtualClock clock;
        EventQueue posted;
        std::vector<std::pair<std::int16_t, Boolean>> received;
        SimulatedBoard board { clock, posted.poster() };
    };

    TEST_F(SimulatedBoardTest, KeepsLevelsPresetsAndARecordOfWritesStampedByItsClock)
    {
        board.OpenBoard(0, 0);
        EXPECT_EQ(board.BoardPresent(), kTrue);
        board.PresetChannel(1, 100);
        clock.advance(5ms);
        board.SetOutputLevel(1, 100);
        clock.advance(5ms);
        board.SetOutputLevel(7, 0);
        EXPECT_EQ(board.preset(1), 100);
        EXPECT_EQ(board.outputLevel(1), 100);
        EXPECT_THAT(board.writes(),
                ElementsAre(OutputWrite { at(5), 1, 100 }, OutputWrite { at(10), 7, 0 }));
        EXPECT_THAT(board.calls(),
                ElementsAre("OpenBoard(0, 0)", "BoardPresent()", "PresetChannel(1, 100)",
                        "SetOutputLevel(1, 100)", "SetOutputLevel(7, 0)"));
    }

    TEST_F(SimulatedBoardTest, RejectsCallsItCannotCarryOutWithAMessageThatSaysWhy)
    {
        const auto fails = [](auto call, const char *message) {
            EXPECT_THAT(call, ThrowsMessage<RunTimeError>(StrEq(message)));
        };
        fails([&] { board.SetOutputLevel(0, 100); },
                "SetOutputLevel(0, 100) failed: board not opened");
        board.OpenBoard(0, 0);
        fails([&] { board.SetOutputLevel(8, 100); },
                "SetOutputLevel(8, 100) failed: no output 8 on the simulated board (0 to 7)");
        fails([&] { board.ReadInput(-1); },
                "ReadInput(-1) failed: no input -1 on the simulated board (0 to 7)");
        fails([&] { board.SetOutputLevel(0, 101); },
                "SetOutputLevel(0, 101) failed: a level is 0 to 100, not 101");
        fails([&] { board.PresetChannel(0, -5); },
                "PresetChannel(0, -5) failed: a level is 0 to 100, not -5");
        EXPECT_THAT(board.writes(), IsEmpty());
    }

    TEST_F(SimulatedBoardTest, UnpluggedItRaisesOneInputChangeThenFailsEveryOperationButPresence)
    {
        board.OpenBoard(0, 0);
        board.unplug();
        ASSERT_EQ(posted.pending.size(), 1u); // the panel learns of it while idle
        EXPECT_EQ(board.BoardPresent(), kFalse);
        EXPECT_THAT([&] { board.SetOutputLevel(1, 0); },
                ThrowsMessage<RunTimeError>(StrEq("SetOutputLevel(1, 0) failed: the simulated "
                                                  "board has gone: it was unplugged")));
        EXPECT_THROW(board.ReadInput(0), RunTimeError);
        EXPECT_THROW(board.PresetChannel(0, 100), RunTimeError);
        board.setInput(0, true);
        board.unplug();
        EXPECT_EQ(posted.pending.size(), 1u); // a board that is not attached reports nothing more
    }

    TEST_F(SimulatedBoardTest, FailsTheChosenCallOnceAndOnlyThatOne)
    {
        board.OpenBoard(0, 0);
        board.failOnCall(BoardOperation::SetOutputLevel, 2);
        board.SetOutputLevel(1, 100);
        board.ReadInput(0);
        EXPECT_THAT([&] { board.SetOutputLevel(0, 100); },
                ThrowsMessage<RunTimeError>(
                        StrEq("SetOutputLevel(0, 100) failed: injected failure")));
        board.SetOutputLevel(0, 100);
        EXPECT_THAT(board.writes(),
                ElementsAre(OutputWrite { at(0), 1, 100 }, OutputWrite { at(0), 0, 100 }));
    }

    TEST_F(SimulatedBoardTest, AnInputChangeIsPostedNotDeliveredFromInsideTheFlip)
    {
        board.OpenBoard(0, 0);
        board.setInput(1, true);
        EXPECT_THAT(received, IsEmpty());
        EXPECT_EQ(board.ReadInput(1), kTrue);
        board.setInput(1, true); // no change, no event
        posted.deliver();
        EXPECT_THAT(received, ElementsAre(std::pair<std::int16_t, Boolean> { 1, kTrue }));
        board.setInput(1, false);
        posted.deliver();
        EXPECT_EQ(received.back(), (std::pair<std::int16_t, Boolean> { 1, kFalse }));
        EXPECT_EQ(board.ReadInput(1), kFalse);
    }

} // namespace
} // namespace meridan::testing
