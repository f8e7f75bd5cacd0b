// Long random sequences of everything a person or a board can do to the panel, in virtual time,
// through the real operator window and Form1 on the simulated board. After every event the
// invariants that the panel's description promises are checked.
//
// MERIDAN_STORM_SEED=<n> replays one run with that seed.

#include "board/simulated/simulated_board.h"
#include "signal/form1.h"
#include "tests/event_queue.h"
#include "tests/fake_controls.h"
#include "tests/virtual_clock.h"
#include "window/operator_window.h"

#include <QPushButton>
#include <QScrollBar>

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace meridan::testing {
namespace {

    using namespace std::chrono_literals;

    constexpr int kEventsPerRun = 100'000;

    struct State
    {
        Boolean hazard;
        std::vector<bool> timers;
        std::vector<std::int32_t> intervals;
        std::vector<bool> buttons;
        QColor left, right;
        std::int32_t output0, output1;
        std::size_t writes;
        bool operator==(const State &) const = default;
    };

    class Storm
    {
    public:
        explicit Storm(std::uint64_t seed) : random(seed)
        {
            window.bind(form);
            form.dispatch(&Form1::Form_Load);
        }

        State state() const
        {
            return { form.hazardMode(),
                { form.timer(1).enabled(), form.timer(2).enabled(), form.timer(3).enabled(),
                        form.timer(4).enabled() },
                { form.timer(1).interval(), form.timer(2).interval(), form.timer(3).interval(),
                        form.timer(4).interval() },
                { window.Command1->isEnabled(), window.Command2->isEnabled(),
                        window.Command3->isEnabled(), window.Command4->isEnabled(),
                        window.Command5->isEnabled() },
                window.Picture1->colour(), window.Picture2->colour(), board->outputLevel(0),
                board->outputLevel(1), board->writes().size() };
        }

        // Runs `count` random events; returns false at the first broken invariant.
        void run(int count)
        {
            for (int i = 0; i < count && !::testing::Test::HasFailure(); ++i) {
                SCOPED_TRACE(::testing::Message() << "event " << i);
                step();
            }
        }

        void end()
        {
            window.Command5->click();
            EXPECT_EQ(desktop.status, ExitStatus::Ended);
            const auto &writes = board->writes();
            ASSERT_GE(writes.size(), 2u);
            EXPECT_EQ(writes[writes.size() - 2].output, 1);
            EXPECT_EQ(writes[writes.size() - 2].level, 0);
            EXPECT_EQ(writes.back().output, 0);
            EXPECT_EQ(writes.back().level, 0);
            const std::size_t count = writes.size();
            clock.advance(10s);
            window.Command4->click();
            EXPECT_EQ(board->writes().size(), count);
        }

    private:
        int pick(int below) { return std::uniform_int_distribution<int>(0, below - 1)(random); }

        void step()
        {
            const State before = state();
            const int kind = pick(100);
            if (kind < 30)
                clickButton(before);
            else if (kind < 48)
                flipSwitch(before);
            else if (kind < 58)
                scroll(before);
            else
                passTime();
            EXPECT_TRUE(desktop.errors.empty()) << desktop.errors.back();
            for (const std::int16_t output : { std::int16_t { 0 }, std::int16_t { 1 } }) {
                const std::int32_t level = board->outputLevel(output);
                EXPECT_TRUE(level == 0 || level == 100) << "output " << output << " at " << level;
            }
            // A disabled timer has nothing pending.
            for (const PhaseTimer *timer :
                    { &form.timer(1), &form.timer(2), &form.timer(3), &form.timer(4) })
                EXPECT_TRUE(timer->enabled() || !timer->due()) << "Timer" << timer->number();
        }

        void clickButton(const State &before)
        {
            QPushButton *buttons[] = { window.Command1, window.Command2, window.Command3,
                window.Command4 };
            const int which = pick(4);
            const bool allStopped = before.timers == std::vector<bool>(4, false);
            note("click Command" + std::to_string(which + 1)
                    + (before.buttons[static_cast<std::size_t>(which)] ? "" : " (disabled)"));
            buttons[which]->click();
            const State after = state();
            if (!before.buttons[static_cast<std::size_t>(which)]) {
                EXPECT_EQ(after, before) << "Command" << which + 1 << " ran while disabled";
                return;
            }
            if (which == 3) {
                expectOff(before, after);
                pureHazard = false;
                return;
            }
            EXPECT_EQ(after.writes, before.writes) << "only OFF writes the board";
            if (which == 2)
                pureHazard = allStopped || pureHazard;
        }

        void flipSwitch(const State &before)
        {
            static constexpr std::int16_t inputs[] = { 0, 0, 0, 1, 1, 1, 2, 5, 7 };
            const std::int16_t input = inputs[pick(9)];
            board->setInput(input, board->input(input) != kTrue);
            note("switch " + std::to_string(input)
                    + (board->input(input) == kTrue ? " on" : " off"));
            events.deliver();
            const State after = state();
            if (board->input(0) == kFalse && board->input(1) == kFalse) {
                expectOff(before, after);
                pureHazard = false;
            } else {
                EXPECT_EQ(after.writes, before.writes) << "a switch wrote the board";
                pureHazard = false; // leftlight or rightlight may start a cycle of its own
            }
        }

        void scroll(const State &before)
        {
            const int value = 100 + pick(901);
            QScrollBar *bar = window.HScroll1;
            note("scroll to " + std::to_string(value));
            if (pick(2) == 0) {
                bar->setValue(-value);
            } else {
                bar->setSliderDown(true);
                bar->setSliderPosition(-value);
                bar->setSliderDown(false);
            }
            const State after = state();
            EXPECT_EQ(after.timers, before.timers) << "the blink rate changed a timer's Enabled";
            EXPECT_EQ(after.writes, before.writes);
            EXPECT_EQ(after.intervals,
                    (std::vector<std::int32_t> { value,
                            halfPeriod(static_cast<std::int16_t>(value)), value,
                            halfPeriod(static_cast<std::int16_t>(value)) }));
        }

        void passTime()
        {
            const auto armed = clock.armedFor();
            const int choice = pick(4);
            if (choice == 0 && armed)
                clock.advance(*armed - clock.now()); // exactly to the next tick, ties and all
            else if (choice == 1)
                clock.advance(Milliseconds { pick(3) });
            else
                clock.advance(Milliseconds { pick(form.timer(1).interval() * 6 / 5 + 1) });
            // Every tick due by now has been handled.
            for (const PhaseTimer *timer :
                    { &form.timer(1), &form.timer(2), &form.timer(3), &form.timer(4) })
                if (timer->due()) {
                    EXPECT_GT(*timer->due(), clock.now())
                            << "Timer" << timer->number() << " overdue";
                }
            note("time; outputs " + std::to_string(board->outputLevel(1)) + "/"
                    + std::to_string(board->outputLevel(0)) + " timers "
                    + std::to_string(form.timer(1).enabled())
                    + std::to_string(form.timer(2).enabled())
                    + std::to_string(form.timer(3).enabled())
                    + std::to_string(form.timer(4).enabled()));
            if (pureHazard) {
                EXPECT_EQ(board->outputLevel(0), board->outputLevel(1))
                        << "hazard lamps out of phase" << history();
                EXPECT_EQ(window.Picture1->colour(), window.Picture2->colour());
            }
        }

        // offlights: back to the start-up state, both outputs written dark, output 1 first.
        void expectOff(const State &before, const State &after)
        {
            EXPECT_EQ(after.hazard, kFalse);
            EXPECT_EQ(after.timers, std::vector<bool>(4, false));
            EXPECT_EQ(after.buttons, std::vector<bool>(5, true));
            EXPECT_EQ(after.left, QColor(Qt::white));
            EXPECT_EQ(after.right, QColor(Qt::white));
            EXPECT_EQ(after.intervals, before.intervals);
            ASSERT_EQ(after.writes, before.writes + 2);
            const auto &writes = board->writes();
            EXPECT_EQ(writes[writes.size() - 2], (OutputWrite { clock.now(), 1, 0 }));
            EXPECT_EQ(writes.back(), (OutputWrite { clock.now(), 0, 0 }));
        }

        void note(std::string what)
        {
            const auto ms =
                    std::chrono::duration_cast<Milliseconds>(clock.now().time_since_epoch());
            recent.push_back(std::to_string(ms.count()) + " ms: " + std::move(what));
            if (recent.size() > 40)
                recent.pop_front();
        }
        std::string history() const
        {
            std::string text = "\nthe last events:\n";
            for (const std::string &line : recent)
                text += "  " + line + "\n";
            return text;
        }

        std::deque<std::string> recent;
        std::mt19937_64 random;
        bool pureHazard = false; // hazard started from a stopped panel, and no switch command since
        VirtualClock clock;
        FakeDesktop desktop;
        EventQueue events;
        SimulatedBoard *board = nullptr;
        OperatorWindow window;
        Form1 form { window.controls(), desktop, clock, clock, [this] {
                        auto made = std::make_unique<SimulatedBoard>(clock, events.poster());
                        board = made.get();
                        return made;
                    } };
    };

    TEST(EventStorm, EveryInvariantHoldsThroughLongRandomSequences)
    {
        std::vector<std::uint64_t> seeds { 1, 2, 3 };
        if (const char *replay = std::getenv("MERIDAN_STORM_SEED"))
            seeds = { std::strtoull(replay, nullptr, 10) };
        for (const std::uint64_t seed : seeds) {
            SCOPED_TRACE(::testing::Message() << "replay with MERIDAN_STORM_SEED=" << seed);
            Storm storm(seed);
            storm.run(kEventsPerRun);
            if (::testing::Test::HasFailure())
                return;
            storm.end();
        }
    }

} // namespace
} // namespace meridan::testing
