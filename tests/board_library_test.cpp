#include "app/simulated_board_view.h"
#include "board/board_library.h"
#include "board/simulated/simulated_board.h"
#include "signal/run_time_error.h"
#include "tests/virtual_clock.h"
#include "window/simulated/simulated_board_window.h"

#include <QAccessible>
#include <QApplication>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QPushButton>
#include <QWidget>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

namespace meridan::testing {
namespace {

    using ::testing::HasSubstr;
    using ::testing::IsEmpty;
    using ::testing::ThrowsMessage;

    // Sets MERIDAN_BOARD for one test and puts back what was there.
    class BoardSetting
    {
    public:
        explicit BoardSetting(const char *value)
        {
            if (const char *old = std::getenv("MERIDAN_BOARD"))
                saved = old;
            if (value != nullptr)
                ::setenv("MERIDAN_BOARD", value, 1);
            else
                ::unsetenv("MERIDAN_BOARD");
        }
        ~BoardSetting()
        {
            if (saved)
                ::setenv("MERIDAN_BOARD", saved->c_str(), 1);
            else
                ::unsetenv("MERIDAN_BOARD");
        }

    private:
        std::optional<std::string> saved;
    };

    class BoardChoice : public ::testing::Test
    {
    protected:
        VirtualClock clock;
        QWidget *shown = nullptr;
        SimulatedBoardView view { [this](QWidget &window) { shown = &window; } };
        BoardLibrary library { clock, view.opener() };
    };

    TEST_F(BoardChoice, TheSimulatedBoardIsTheDefaultAttachedAndShowsItsWindow)
    {
        for (const char *value : { static_cast<const char *>(nullptr), "", "sim" }) {
            SCOPED_TRACE(value == nullptr ? "unset" : value);
            BoardSetting setting(value);
            SimulatedBoardView boardView([this](QWidget &window) { shown = &window; });
            BoardLibrary board(clock, boardView.opener());
            shown = nullptr;
            board.OpenBoard(0, 0);
            ASSERT_NE(board.boardAs<SimulatedBoard>(), nullptr);
            EXPECT_EQ(board.BoardPresent(), kTrue);
            ASSERT_NE(shown, nullptr);
            EXPECT_EQ(shown->windowTitle(), "Meridan simulated board");
            // Fixed, so that a tiling compositor floats it, and wide enough for its title.
            EXPECT_EQ(shown->minimumSize(), shown->maximumSize());
            EXPECT_GE(shown->minimumWidth(),
                    QFontMetrics(QApplication::font()).horizontalAdvance(shown->windowTitle())
                            + 100);
        }
    }

    TEST_F(BoardChoice, SimUnpluggedReportsNoBoardAndShowsNoWindow)
    {
        BoardSetting setting("sim-unplugged");
        library.OpenBoard(0, 0);
        EXPECT_EQ(library.BoardPresent(), kFalse);
        EXPECT_EQ(shown, nullptr);
    }

    // The record outlives the program: each write is in the file as soon as it is made.
    TEST_F(BoardChoice, SimRecordAppendsEveryOutputWriteToTheFileAsItIsMade)
    {
        char folder[] = "/tmp/meridan-record-XXXXXX";
        ASSERT_NE(::mkdtemp(folder), nullptr);
        const std::string path = std::string(folder) + "/writes";
        {
            BoardSetting setting(("sim,record=" + path).c_str());
            library.OpenBoard(0, 0);
            library.SetOutputLevel(1, 100);
            library.SetOutputLevel(0, 0);
            std::ifstream file(path);
            const std::string recorded { std::istreambuf_iterator<char>(file), {} };
            EXPECT_EQ(recorded, "SetOutputLevel(1, 100)\nSetOutputLevel(0, 0)\n");
        }
        {
            BoardSetting setting(("sim,record=" + path + "/not-a-folder/writes").c_str());
            BoardLibrary other(clock, nullptr);
            EXPECT_THAT([&] { other.OpenBoard(0, 0); },
                    ThrowsMessage<RunTimeError>(HasSubstr("to record the output writes in: Not a "
                                                          "directory")));
        }
        std::filesystem::remove_all(folder);
    }

    TEST_F(BoardChoice, AnyOtherValueFailsOpenBoardAndNamesTheAcceptedValues)
    {
        BoardSetting setting("phidget-888");
        EXPECT_THAT([&] { library.OpenBoard(0, 0); },
                ThrowsMessage<RunTimeError>(
                        AllOf(HasSubstr("OpenBoard(0, 0) failed"), HasSubstr("\"phidget-888\""),
                                HasSubstr("sim"), HasSubstr("sim-unplugged"))));
        EXPECT_THAT([&] { library.BoardPresent(); },
                ThrowsMessage<RunTimeError>(HasSubstr("board not opened")));
    }

    TEST_F(BoardChoice, InputChangesArriveThroughTheEventLoop)
    {
        BoardSetting setting("sim");
        std::vector<std::pair<std::int16_t, Boolean>> received;
        library.setInputChangeHandler(
                [&](std::int16_t index, Boolean state) { received.emplace_back(index, state); });
        library.OpenBoard(0, 0);
        library.boardAs<SimulatedBoard>()->setInput(0, true);
        EXPECT_THAT(received, IsEmpty());
        QCoreApplication::processEvents();
        EXPECT_EQ(received, (std::vector<std::pair<std::int16_t, Boolean>> { { 0, kTrue } }));
    }

    TEST_F(BoardChoice, TheBoardWindowFlipsSwitchesAndShowsTheLamps)
    {
        BoardSetting setting("sim");
        library.OpenBoard(0, 0);
        auto *window = dynamic_cast<SimulatedBoardWindow *>(shown);
        ASSERT_NE(window, nullptr);
        SimulatedBoard &board = *library.boardAs<SimulatedBoard>();

        window->rightSwitch->click();
        EXPECT_EQ(board.input(1), kTrue);
        EXPECT_EQ(window->rightSwitch->text(), "Right switch: on");
        window->rightSwitch->click();
        EXPECT_EQ(board.input(1), kFalse);

        // As assistive technology reads them.
        const auto state = [](QWidget *lamp) {
            return QAccessible::queryAccessibleInterface(lamp)->text(QAccessible::Description);
        };
        EXPECT_EQ(state(window->leftLamp), "dark");
        board.SetOutputLevel(1, 100); // output 1 is the left lamp
        EXPECT_EQ(state(window->leftLamp), "lit");
        EXPECT_EQ(state(window->rightLamp), "dark");
        EXPECT_EQ(QAccessible::queryAccessibleInterface(window->leftLamp)->text(QAccessible::Name),
                "Left lamp");

        window->unplug->click();
        EXPECT_FALSE(board.attached());
        EXPECT_EQ(library.BoardPresent(), kFalse);
        EXPECT_THAT([&] { library.SetOutputLevel(1, 0); },
                ThrowsMessage<RunTimeError>(HasSubstr("it was unplugged")));
    }

} // namespace
} // namespace meridan::testing
