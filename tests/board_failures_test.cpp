#include "tests/panel.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <string>

namespace meridan::testing {
namespace {

    using ::testing::ElementsAre;
    using namespace std::chrono_literals;

    // One board call that fails: where the panel stands before, the event whose handler makes the
    // call, the report expected, and what must and must not have happened by then.
    struct FailureRow
    {
        const char *site;
        std::function<void(Panel &)> before;
        BoardOperation operation;
        int nth; // which call of the operation, counted from the event on
        std::function<void(Panel &)> event;
        const char *message;
        std::function<void(Panel &)> check;
    };

    void load(Panel &panel)
    {
        panel.load();
    }
    void nothing(Panel &) {}
    void click(Panel &panel, void (Form1::*command)())
    {
        panel.form.dispatch(command);
    }

    std::vector<bool> timers(const Panel &panel)
    {
        const Form1 &form = panel.form;
        return { form.timer(1).enabled(), form.timer(2).enabled(), form.timer(3).enabled(),
            form.timer(4).enabled() };
    }

    const auto leftRunning = [](Panel &panel) {
        panel.load();
        click(panel, &Form1::Command1_Click);
    };
    const auto rightRunning = [](Panel &panel) {
        panel.load();
        click(panel, &Form1::Command2_Click);
    };
    const auto leftLit = [](Panel &panel) {
        leftRunning(panel);
        panel.clock.advance(250ms);
    };
    const auto rightLit = [](Panel &panel) {
        rightRunning(panel);
        panel.clock.advance(250ms);
    };
    const auto hazardLit = [](Panel &panel) {
        panel.load();
        click(panel, &Form1::Command3_Click);
        panel.clock.advance(250ms);
    };
    const auto hazardRunning = [](Panel &panel) {
        panel.load();
        click(panel, &Form1::Command3_Click);
    };
    const auto tick = [](Panel &panel) { panel.clock.advance(200ms); };
    const auto switchOn = [](std::int16_t input) {
        return [input](Panel &panel) {
            panel.load();
            panel.board->setInput(input, true);
        };
    };
    const auto deliver = [](Panel &panel) { panel.deliverEvents(); };
    // HAZARD clicked before the board is open: shows whether Form_Load got as far as clearing it.
    const auto hazardBeforeLoad = [](Panel &panel) { click(panel, &Form1::Command3_Click); };

    const FailureRow failureTable[] = {
        { "Form_Load OpenBoard", nothing, BoardOperation::OpenBoard, 1, load,
                "OpenBoard(0, 0) failed: injected failure",
                [](Panel &p) { EXPECT_THAT(p.board->calls(), ElementsAre("OpenBoard(0, 0)")); } },
        { "Form_Load BoardPresent", nothing, BoardOperation::BoardPresent, 1, load,
                "BoardPresent() failed: injected failure",
                [](Panel &p) { EXPECT_TRUE(p.desktop.messages.empty()); } },
        { "Form_Load first PresetChannel", nothing, BoardOperation::PresetChannel, 1, load,
                "PresetChannel(0, 100) failed: injected failure",
                [](Panel &p) { EXPECT_EQ(p.board->preset(1), 0); } },
        { "Form_Load second PresetChannel", hazardBeforeLoad, BoardOperation::PresetChannel, 2,
                load, "PresetChannel(1, 100) failed: injected failure",
                [](Panel &p) {
                    EXPECT_EQ(p.board->preset(0), 100);
                    EXPECT_EQ(p.form.hazardMode(), kTrue); // hazard <- False never ran
                } },
        { "leftlighton", leftRunning, BoardOperation::SetOutputLevel, 1, tick,
                "SetOutputLevel(1, 100) failed: injected failure",
                [](Panel &p) {
                    EXPECT_EQ(p.Picture1.colour, LampOn);
                    EXPECT_THAT(timers(p), ElementsAre(true, false, false, false));
                } },
        { "leftlightoff", leftLit, BoardOperation::SetOutputLevel, 1, tick,
                "SetOutputLevel(1, 0) failed: injected failure",
                [](Panel &p) {
                    EXPECT_EQ(p.Picture1.colour, LampOff);
                    EXPECT_EQ(p.board->outputLevel(1), 100);
                    EXPECT_THAT(timers(p), ElementsAre(false, true, false, false));
                } },
        { "rightlighton", rightRunning, BoardOperation::SetOutputLevel, 1, tick,
                "SetOutputLevel(0, 100) failed: injected failure",
                [](Panel &p) {
                    EXPECT_EQ(p.Picture2.colour, LampOn);
                    EXPECT_THAT(timers(p), ElementsAre(false, false, true, false));
                } },
        { "rightlightoff", rightLit, BoardOperation::SetOutputLevel, 1, tick,
                "SetOutputLevel(0, 0) failed: injected failure",
                [](Panel &p) {
                    EXPECT_EQ(p.Picture2.colour, LampOff);
                    EXPECT_THAT(timers(p), ElementsAre(false, false, false, true));
                } },
        { "offlights first write", hazardLit, BoardOperation::SetOutputLevel, 1,
                [](Panel &p) { click(p, &Form1::Command4_Click); },
                "SetOutputLevel(1, 0) failed: injected failure",
                [](Panel &p) {
                    EXPECT_EQ(p.form.hazardMode(), kFalse);
                    EXPECT_THAT(timers(p), ElementsAre(false, false, false, false));
                    EXPECT_TRUE(p.Command1.enabled && p.Command2.enabled && p.Command3.enabled);
                    EXPECT_EQ(p.Picture1.colour, LampOff);
                    EXPECT_EQ(p.Picture2.colour, LampOff);
                    EXPECT_EQ(p.board->outputLevel(1), 100);
                    EXPECT_EQ(p.board->outputLevel(0), 100);
                } },
        { "offlights second write", hazardLit, BoardOperation::SetOutputLevel, 2,
                [](Panel &p) { click(p, &Form1::Command4_Click); },
                "SetOutputLevel(0, 0) failed: injected failure",
                [](Panel &p) {
                    EXPECT_EQ(p.board->outputLevel(1), 0);
                    EXPECT_EQ(p.board->outputLevel(0), 100);
                } },
        { "END first write", leftLit, BoardOperation::SetOutputLevel, 1,
                [](Panel &p) { click(p, &Form1::Command5_Click); },
                "SetOutputLevel(1, 0) failed: injected failure",
                [](Panel &p) { EXPECT_EQ(p.board->outputLevel(1), 100); } },
        { "END second write", leftLit, BoardOperation::SetOutputLevel, 2,
                [](Panel &p) { click(p, &Form1::Command5_Click); },
                "SetOutputLevel(0, 0) failed: injected failure",
                [](Panel &p) { EXPECT_EQ(p.board->outputLevel(1), 0); } },
        { "switch handler first read", switchOn(0), BoardOperation::ReadInput, 1, deliver,
                "ReadInput(0) failed: injected failure",
                [](Panel &p) { EXPECT_THAT(timers(p), ElementsAre(false, false, false, false)); } },
        { "switch handler second read", switchOn(0), BoardOperation::ReadInput, 2, deliver,
                "ReadInput(1) failed: injected failure",
                [](Panel &p) { EXPECT_THAT(timers(p), ElementsAre(false, false, false, false)); } },
        { "switch handler re-read of input 0", switchOn(0), BoardOperation::ReadInput, 3, deliver,
                "ReadInput(0) failed: injected failure",
                [](Panel &p) { EXPECT_THAT(timers(p), ElementsAre(false, false, false, false)); } },
        { "switch handler re-read of input 1", switchOn(1), BoardOperation::ReadInput, 4, deliver,
                "ReadInput(1) failed: injected failure",
                [](Panel &p) {
                    EXPECT_THAT(timers(p), ElementsAre(false, false, false, false));
                    EXPECT_TRUE(p.Command1.enabled); // rightlight never ran
                } },
    };

    class BoardFailures : public ::testing::TestWithParam<FailureRow>
    {
    };

    TEST_P(BoardFailures, EndsThePanelOnceWithTheEarlierStepsDone)
    {
        const FailureRow &row = GetParam();
        Panel panel;
        row.before(panel);
        panel.board->failOnCall(row.operation, row.nth);
        const std::string failed =
                std::string(row.message).substr(0, std::string(row.message).find(" failed"));
        // What the operator sees while the report is up: the failing step's earlier steps.
        bool reported = false;
        panel.desktop.whileReported = [&] {
            reported = true;
            EXPECT_EQ(panel.board->calls().back(), failed);
            row.check(panel);
        };
        row.event(panel);

        ASSERT_TRUE(reported);
        EXPECT_THAT(panel.desktop.errors, ElementsAre(row.message));
        EXPECT_THAT(panel.desktop.audiences, ElementsAre(Audience::Operator));
        EXPECT_EQ(panel.desktop.status, ExitStatus::RunTimeError);
        // Once the report is dismissed, a panel that had a board running leaves both lamps
        // dark, left first; one that never got that far writes nothing more.
        const bool started = row.operation == BoardOperation::SetOutputLevel
                || row.operation == BoardOperation::ReadInput;
        const std::vector<std::string> &calls = panel.board->calls();
        if (started) {
            ASSERT_GE(calls.size(), 2u);
            EXPECT_THAT(std::vector(calls.end() - 2, calls.end()),
                    ElementsAre("SetOutputLevel(1, 0)", "SetOutputLevel(0, 0)"));
            EXPECT_EQ(panel.board->outputLevel(0), 0);
            EXPECT_EQ(panel.board->outputLevel(1), 0);
        } else {
            EXPECT_EQ(calls.back(), failed);
        }
        EXPECT_TRUE(panel.desktop.warnings.empty());

        // Nothing runs any more: no tick, no click, no board event, no close.
        EXPECT_FALSE(panel.clock.armedFor().has_value());
        const std::size_t count = calls.size();
        panel.clock.advance(5s);
        for (auto command : { &Form1::Command1_Click, &Form1::Command2_Click,
                     &Form1::Command3_Click, &Form1::Command4_Click, &Form1::Command5_Click,
                     &Form1::HScroll1_Change, &Form1::Form_Unload })
            panel.form.dispatch(command);
        panel.form.endUnattended();
        panel.board->setInput(1, panel.board->input(1) != kTrue);
        panel.deliverEvents();
        EXPECT_EQ(calls.size(), count);
        EXPECT_EQ(panel.desktop.errors.size(), 1u);
    }

    INSTANTIATE_TEST_SUITE_P(
            EveryCallSite, BoardFailures, ::testing::ValuesIn(failureTable), [](const auto &row) {
                std::string name = row.param.site;
                for (char &c : name)
                    if (std::isalnum(static_cast<unsigned char>(c)) == 0)
                        c = '_';
                return name;
            });

    // After a run-time error, or on a way out that nobody is there to answer (a signal, a lost
    // display), both lamps are darkened before the program ends, output 1 then output 0, each
    // write tried whatever the other did. A failed darkening is said on standard error only, and a
    // signal's way out never waits for a click.
    struct DarkeningRow
    {
        const char *site;
        std::function<void(Panel &)> before;
        std::function<void(Panel &)> failures; // made to fail from the event on
        std::function<void(Panel &)> event;
        std::vector<std::string> errors; // reported, each once
        Audience audience;
        std::vector<std::string> warnings; // the darkening's failures, on standard error
        std::int32_t left, right; // the levels left on outputs 1 and 0
        ExitStatus status;
    };

    const auto failWrites = [](int count) {
        return [count](Panel &panel) {
            for (int i = 0; i < count; ++i)
                panel.board->failOnCall(BoardOperation::SetOutputLevel, 1);
        };
    };
    const auto failSecondWrite = [](Panel &panel) {
        panel.board->failOnCall(BoardOperation::SetOutputLevel, 2);
    };
    const auto unplug = [](Panel &panel) { panel.board->unplug(); };
    const auto noFailure = [](Panel &) {};
    const auto signalled = [](Panel &panel) { panel.form.endUnattended(); };
    const auto timerTick = [](Panel &panel) { panel.clock.advance(200ms); };

    TEST(BoardFailures, EveryWayOutLeavesBothLampsDarkOrSaysWhichIsNot)
    {
        const DarkeningRow table[] = {
            { "hazard: right lamp fails to light, left lit at the report", hazardRunning,
                    failSecondWrite, timerTick,
                    { "SetOutputLevel(0, 100) failed: injected failure" }, Audience::Operator, {},
                    0, 0, ExitStatus::RunTimeError },
            { "hazard: left lamp fails to darken, and again after the report", hazardLit,
                    failWrites(2), timerTick, { "SetOutputLevel(1, 0) failed: injected failure" },
                    Audience::Operator,
                    { "while darkening the lamps: SetOutputLevel(1, 0) failed: injected failure" },
                    100, 0, ExitStatus::RunTimeError },
            { "signal while lit", leftLit, noFailure, signalled, {}, Audience::Operator, {}, 0, 0,
                    ExitStatus::Ended },
            { "signal, left lamp fails to darken", hazardLit, failWrites(2), signalled,
                    { "SetOutputLevel(1, 0) failed: injected failure" }, Audience::StandardError,
                    { "while darkening the lamps: SetOutputLevel(1, 0) failed: injected failure" },
                    100, 0, ExitStatus::RunTimeError },
            { "signal, right lamp fails to darken", hazardLit, failSecondWrite, signalled,
                    { "SetOutputLevel(0, 0) failed: injected failure" }, Audience::StandardError,
                    {}, 0, 0, ExitStatus::RunTimeError },
            { "signal with the board unplugged while idle", load, unplug, signalled,
                    { "SetOutputLevel(1, 0) failed: the simulated board has gone: it was "
                      "unplugged" },
                    Audience::StandardError,
                    { "while darkening the lamps: SetOutputLevel(1, 0) failed: the simulated board "
                      "has gone: it was unplugged",
                            "while darkening the lamps: SetOutputLevel(0, 0) failed: the simulated "
                            "board has gone: it was unplugged" },
                    0, 0, ExitStatus::RunTimeError },
        };
        for (const DarkeningRow &row : table) {
            SCOPED_TRACE(row.site);
            Panel panel;
            row.before(panel);
            row.failures(panel);
            row.event(panel);

            EXPECT_EQ(panel.desktop.errors, row.errors);
            if (!row.errors.empty()) {
                EXPECT_THAT(panel.desktop.audiences, ElementsAre(row.audience));
            }
            EXPECT_EQ(panel.desktop.warnings, row.warnings);
            if (panel.board->attached()) {
                EXPECT_EQ(panel.board->outputLevel(1), row.left);
                EXPECT_EQ(panel.board->outputLevel(0), row.right);
            }
            EXPECT_EQ(panel.desktop.status, row.status);
            EXPECT_TRUE(panel.form.ended());
        }
    }

    // A signal or a lost display while a run-time error's report is up darkens the lamps at once,
    // and once only: dismissing the report afterwards writes nothing more.
    TEST(BoardFailures, AnEndWhileTheReportIsUpDarkensTheLampsOnce)
    {
        Panel panel;
        hazardRunning(panel);
        failSecondWrite(panel);
        std::vector<std::string> callsAfterEnd;
        panel.desktop.whileReported = [&] {
            EXPECT_EQ(panel.board->outputLevel(1), 100); // the left lamp still lit
            panel.form.endUnattended();
            EXPECT_EQ(panel.board->outputLevel(1), 0);
            EXPECT_EQ(panel.board->outputLevel(0), 0);
            callsAfterEnd = panel.board->calls();
        };
        timerTick(panel);
        EXPECT_THAT(std::vector(callsAfterEnd.end() - 3, callsAfterEnd.end()),
                ElementsAre(
                        "SetOutputLevel(0, 100)", "SetOutputLevel(1, 0)", "SetOutputLevel(0, 0)"));
        EXPECT_EQ(panel.board->calls(), callsAfterEnd);
        EXPECT_EQ(panel.desktop.status, ExitStatus::RunTimeError);
    }

} // namespace
} // namespace meridan::testing
