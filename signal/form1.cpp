#include "signal/form1.h"

#include "signal/command_button.h"
#include "signal/desktop.h"
#include "signal/indicator_box.h"
#include "signal/run_time_error.h"
#include "signal/scroll_bar.h"

#include <cmath>
#include <string>
#include <utility>

namespace meridan {

std::int32_t halfPeriod(std::int16_t value)
{
    // The default floating-point rounding mode rounds to nearest with ties to even.
    return static_cast<std::int32_t>(std::nearbyint(static_cast<double>(value) / 2.0));
}

Form1::Form1(const Form1Controls &controls, Desktop &host, Clock &clock, WakeUp &wakeUp,
        BoardFactory boardFactory)
    : desktop(host),
      dispatcher(host),
      scheduler(clock, wakeUp, dispatcher),
      createBoard(std::move(boardFactory)),
      Picture1(controls.Picture1),
      Picture2(controls.Picture2),
      Command1(controls.Command1),
      Command2(controls.Command2),
      Command3(controls.Command3),
      HScroll1(controls.HScroll1),
      Timer1(scheduler, kStartPeriod, [this] { Timer1_Timer(); }),
      Timer2(scheduler, halfPeriod(kStartPeriod), [this] { Timer2_Timer(); }),
      Timer3(scheduler, kStartPeriod, [this] { Timer3_Timer(); }),
      Timer4(scheduler, halfPeriod(kStartPeriod), [this] { Timer4_Timer(); })
{
    dispatcher.setOnEnd([this] { scheduler.stop(); });
}

const PhaseTimer &Form1::timer(int number) const
{
    const PhaseTimer *const timers[] = { &Timer1, &Timer2, &Timer3, &Timer4 };
    if (number < 1 || number > 4)
        raiseRunTimeError(
                "Form1::timer(" + std::to_string(number) + ")", "there are Timer1 to Timer4");
    return *timers[number - 1];
}

// --- Start-up and shutdown ---------------------------------------------------------------------

void Form1::Form_Load()
{
    light = createBoard();
    if (!light)
        raiseRunTimeError("CreateObject(board)", "the board library made no board object");
    light->setInputChangeHandler([this](std::int16_t Index, Boolean NewState) {
        dispatch(&Form1::light_OnInputChange, Index, NewState);
    });
    light->OpenBoard(0, 0);
    if (light->BoardPresent() == kFalse) {
        desktop.showMessage(kNotPluggedIn);
        dispatcher.end(ExitStatus::NoBoard);
        return;
    }
    light->PresetChannel(kRightLampOutput, 100);
    light->PresetChannel(kLeftLampOutput, 100);
    hazard = kFalse;
    // From now on a lamp may be lit: a run-time error leaves both dark, as END would.
    dispatcher.setClosingSteps({ [this] { light->SetOutputLevel(kLeftLampOutput, kDark); },
            [this] { light->SetOutputLevel(kRightLampOutput, kDark); } });
}

void Form1::Command5_Click()
{
    light->SetOutputLevel(kLeftLampOutput, kDark);
    light->SetOutputLevel(kRightLampOutput, kDark);
    dispatcher.end(ExitStatus::Ended);
}

void Form1::Form_Unload()
{
    // A program that has gone can no longer darken a lamp, so closing darkens both as END does.
    Command5_Click();
}

void Form1::endUnattended()
{
    if (dispatcher.ended()) {
        dispatcher.close();
        return;
    }
    dispatcher.run([this] { Form_Unload(); }, Audience::StandardError);
}

// --- Blink cycle -------------------------------------------------------------------------------

void Form1::leftlighton()
{
    Picture1.setBackColor(LampOn);
    light->SetOutputLevel(kLeftLampOutput, kLit);
    Timer2.setEnabled(true);
    Timer1.setEnabled(false);
}

void Form1::leftlightoff()
{
    Picture1.setBackColor(LampOff);
    light->SetOutputLevel(kLeftLampOutput, kDark);
    Timer1.setEnabled(true);
    Timer2.setEnabled(false);
}

void Form1::rightlighton()
{
    Picture2.setBackColor(LampOn);
    light->SetOutputLevel(kRightLampOutput, kLit);
    Timer4.setEnabled(true);
    Timer3.setEnabled(false);
}

void Form1::rightlightoff()
{
    Picture2.setBackColor(LampOff);
    light->SetOutputLevel(kRightLampOutput, kDark);
    Timer3.setEnabled(true);
    Timer4.setEnabled(false);
}

void Form1::Timer1_Timer()
{
    leftlighton();
    if (hazard == kTrue)
        rightlighton();
}

void Form1::Timer2_Timer()
{
    leftlightoff();
    if (hazard == kTrue)
        rightlightoff();
}

void Form1::Timer3_Timer()
{
    rightlighton();
}

void Form1::Timer4_Timer()
{
    rightlightoff();
}

// --- Mode commands -----------------------------------------------------------------------------

void Form1::leftlight()
{
    Timer1.setEnabled(true);
    Command2.setEnabled(false);
    Command3.setEnabled(false);
}

void Form1::rightlight()
{
    Timer3.setEnabled(true);
    Command1.setEnabled(false);
    Command3.setEnabled(false);
}

void Form1::lightoff()
{
    hazard = kTrue;
    Timer1.setEnabled(true);
    Command2.setEnabled(false);
    Command1.setEnabled(false);
    Picture1.setBackColor(LampOff);
    Picture2.setBackColor(LampOff);
}

void Form1::offlights()
{
    hazard = kFalse;
    Timer1.setEnabled(false);
    Timer2.setEnabled(false);
    Timer3.setEnabled(false);
    Timer4.setEnabled(false);
    Command1.setEnabled(true);
    Command2.setEnabled(true);
    Command3.setEnabled(true);
    Picture1.setBackColor(LampOff);
    Picture2.setBackColor(LampOff);
    light->SetOutputLevel(kLeftLampOutput, kDark);
    light->SetOutputLevel(kRightLampOutput, kDark);
}

void Form1::Command1_Click()
{
    leftlight();
}
void Form1::Command2_Click()
{
    rightlight();
}
void Form1::Command3_Click()
{
    lightoff();
}
void Form1::Command4_Click()
{
    offlights();
}

// --- Switch inputs -----------------------------------------------------------------------------

void Form1::light_OnInputChange(std::int16_t /*Index*/, Boolean /*NewState*/)
{
    // Whichever input changed, the switches are read afresh at every step: a switch that moves
    // between two reads is judged by the later one.
    const Boolean left = light->ReadInput(kLeftSwitchInput);
    const Boolean right = light->ReadInput(kRightSwitchInput);
    if (left == kFalse && right == kFalse) {
        offlights();
        return;
    }
    if (light->ReadInput(kLeftSwitchInput) == kTrue) {
        leftlight();
        return;
    }
    if (light->ReadInput(kRightSwitchInput) == kTrue)
        rightlight();
}

// --- Blink rate --------------------------------------------------------------------------------

void Form1::setBlinkRate()
{
    Timer1.setInterval(HScroll1.value());
    Timer3.setInterval(HScroll1.value());
    Timer2.setInterval(halfPeriod(HScroll1.value()));
    Timer4.setInterval(halfPeriod(HScroll1.value()));
}

void Form1::HScroll1_Change()
{
    setBlinkRate();
}
void Form1::HScroll1_Scroll()
{
    setBlinkRate();
}

} // namespace meridan
