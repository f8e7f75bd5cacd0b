#include "panel.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

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
    void nothing(Panel &) { }
    void click(Panel &panel, void (Form1::*command)())
    {
        panel.form.dispatch(command);
    }

    std::vector<bool> timers(const Panel &panel)
    {
        const Form1 &form = panel.form;
        return { form.Timer1.enabled(), form.Timer2.enabled(), form.Timer3.enabled(),
            form.Timer4.enabled() };
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
    const auto tick = [](Panel &panel) { panel.clock.advance(200ms); };
    const auto switchOn = [](std::int16_t input) {
        return [input](Panel &panel) {
            panel.load();
            panel.board->setInput(input, true);
        };
    };
    const auto deliver = [](Panel &panel) { panel.deliverEvents(); };

    TEST(BoardFailures, EveryCallSiteFailingEndsThePanelOnceWithItsEarlierStepsDone)
    {
        const FailureRow table[] = {
            { "Form_Load OpenBoard", nothing, BoardOperation::OpenBoard, 1, load,
                    "OpenBoard(0, 0) failed: injected failure",
                    [](Panel &p) {
                        EXPECT_THAT(p.board->calls(), ElementsAre("OpenBoard(0, 0)"));
                    } },
            { "Form_Load BoardPresent", nothing, BoardOperation::BoardPresent, 1, load,
                    "BoardPresent() failed: injected failure",
                    [](Panel &p) { EXPECT_TRUE(p.desktop.messages.empty()); } },
            { "Form_Load first PresetChannel", nothing, BoardOperation::PresetChannel, 1, load,
                    "PresetChannel(0, 100) failed: injected failure",
                    [](Panel &p) { EXPECT_EQ(p.board->preset(1), 0); } },
            { "Form_Load second PresetChannel", nothing, BoardOperation::PresetChannel, 2, load,
                    "PresetChannel(1, 100) failed: injected failure",
                    [](Panel &p) {
                        EXPECT_EQ(p.board->preset(0), 100);
                        EXPECT_EQ(p.form.hazard, kTrue); // hazard <- False never ran
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
                        EXPECT_EQ(p.form.hazard, kFalse);
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
                    [](Panel &p) {
                        EXPECT_THAT(timers(p), ElementsAre(false, false, false, false));
                    } },
            { "switch handler second read", switchOn(0), BoardOperation::ReadInput, 2, deliver,
                    "ReadInput(1) failed: injected failure",
                    [](Panel &p) {
                        EXPECT_THAT(timers(p), ElementsAre(false, false, false, false));
                    } },
            { "switch handler re-read of input 0", switchOn(0), BoardOperation::ReadInput, 3,
                    deliver, "ReadInput(0) failed: injected failure",
                    [](Panel &p) {
                        EXPECT_THAT(timers(p), ElementsAre(false, false, false, false));
                    } },
            { "switch handler re-read of input 1", switchOn(1), BoardOperation::ReadInput, 4,
                    deliver, "ReadInput(1) failed: injected failure",
                    [](Panel &p) {
                        EXPECT_THAT(timers(p), ElementsAre(false, false, false, false));
                        EXPECT_TRUE(p.Command1.enabled); // rightlight never ran
                    } },
        };
        for (const FailureRow &row : table) {
            SCOPED_TRACE(row.site);
            Panel panel;
            panel.form.hazard = kTrue; // shows whether Form_Load got as far as clearing it
            row.before(panel);
            panel.board->failOnCall(row.operation, row.nth);
            row.event(panel);

            EXPECT_THAT(panel.desktop.errors, ElementsAre(row.message));
            EXPECT_EQ(panel.desktop.status, ExitStatus::RunTimeError);
            EXPECT_EQ(panel.board->calls().back(),
                    std::string(row.message).substr(0, std::string(row.message).find(" failed")));
            row.check(panel);

            // Nothing runs any more: no tick, no click, no board event, no close.
            EXPECT_FALSE(panel.clock.armedFor().has_value());
            const std::size_t calls = panel.board->calls().size();
            panel.clock.advance(5s);
            for (auto command : { &Form1::Command1_Click, &Form1::Command2_Click,
                         &Form1::Command3_Click, &Form1::Command4_Click, &Form1::Command5_Click,
                         &Form1::HScroll1_Change, &Form1::Form_Unload })
                panel.form.dispatch(command);
            panel.board->setInput(1, panel.board->input(1) != kTrue);
            panel.deliverEvents();
            EXPECT_EQ(panel.board->calls().size(), calls);
            EXPECT_EQ(panel.desktop.errors.size(), 1u);
        }
    }

} // namespace
} // namespace meridan::testing
