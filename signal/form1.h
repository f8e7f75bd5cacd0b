#pragma once

// Form1 is the panel: its controls, the four phase timers, hazard mode and the board object
// `light`, with every procedure of the panel as a method.
//
// How an event flows: a Qt event (a click, a scroll, a close), a wake-up of the phase scheduler or
// an OnInputChange from the board arrives in the event loop; its binding calls Form1::dispatch
// with the procedure named after the control and the event (Command1_Click, Timer1_Timer,
// light_OnInputChange, ...). The EventDispatcher runs the procedure to completion, which writes
// the board through `light` and the window through the control interfaces. A RunTimeError from
// any step ends the program there; the steps already done stay done.

#include "signal/board_link.h"
#include "signal/boolean.h"
#include "signal/event_dispatcher.h"
#include "signal/phase_scheduler.h"
#include "signal/phase_timer.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

namespace meridan {

class Clock;
class CommandButton;
class Desktop;
class IndicatorBox;
class ScrollBar;
class WakeUp;

// The window's controls that the procedures change or read.
struct Form1Controls
{
    IndicatorBox &Picture1; // left lamp
    IndicatorBox &Picture2; // right lamp
    CommandButton &Command1; // LEFT
    CommandButton &Command2; // RIGHT
    CommandButton &Command3; // HAZARD
    ScrollBar &HScroll1; // blink rate
};

// Creates the board object; raises RunTimeError if it cannot.
using BoardFactory = std::function<std::unique_ptr<BoardLink>()>;

inline constexpr std::string_view kNotPluggedIn = "THE PHIDGET CONTROLLER IS NOT PLUGGED IN";

// Half the blink period, V / 2 rounded to nearest with ties to even (101 gives 50, 103 gives 52).
std::int32_t halfPeriod(std::int16_t value);

class Form1
{
public:
    Form1(const Form1Controls &controls, Desktop &host, Clock &clock, WakeUp &wakeUp,
            BoardFactory boardFactory);
    Form1(const Form1 &) = delete;
    Form1 &operator=(const Form1 &) = delete;

    // Runs one event's procedure through the dispatcher, e.g. dispatch(&Form1::Command1_Click).
    template <class Procedure, class... Args> void dispatch(Procedure procedure, Args... args)
    {
        dispatcher.run([&] { std::invoke(procedure, *this, args...); });
    }

    bool ended() const { return dispatcher.ended(); }
    // Every handler, whatever its event, runs inside `scope` (see EventDispatcher::setScope).
    void setHandlerScope(EventDispatcher::Scope scope) { dispatcher.setScope(std::move(scope)); }

    // Ends the program as the window's close control does, for a request that nobody is there to
    // answer (SIGINT, SIGTERM, SIGHUP, the display lost): a failure to darken a lamp is said on
    // standard error and the program ends with status 2 at once, without waiting for a click. If
    // the program has already ended on a run-time error whose report is still up, the lamps are
    // darkened now.
    void endUnattended();

    // Start-up and shutdown.
    void Form_Load();
    void Command5_Click(); // END
    void Form_Unload(); // the window's close control, SIGINT, SIGTERM: as END

    // Blink cycle.
    void leftlighton();
    void leftlightoff();
    void rightlighton();
    void rightlightoff();
    void Timer1_Timer();
    void Timer2_Timer();
    void Timer3_Timer();
    void Timer4_Timer();

    // Mode commands. lightoff starts hazard mode; offlights is OFF.
    void leftlight();
    void rightlight();
    void lightoff();
    void offlights();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();

    // Switch inputs.
    void light_OnInputChange(std::int16_t Index, Boolean NewState);

    // Blink rate.
    void HScroll1_Change();
    void HScroll1_Scroll();

    // What the panel holds, for the tests and the benchmark to read.
    Boolean hazardMode() const { return hazard; }
    // Timer1 to Timer4 by number.
    const PhaseTimer &timer(int number) const;
    // The board object, once Form_Load has made it.
    BoardLink *board() const { return light.get(); }

private:
    void setBlinkRate();

    Desktop &desktop;
    EventDispatcher dispatcher;
    PhaseScheduler scheduler;
    BoardFactory createBoard;

    // The panel's state, named as the window's design names it.
    IndicatorBox &Picture1;
    IndicatorBox &Picture2;
    CommandButton &Command1;
    CommandButton &Command2;
    CommandButton &Command3;
    ScrollBar &HScroll1;
    PhaseTimer Timer1; // left on-timer
    PhaseTimer Timer2; // left off-timer
    PhaseTimer Timer3; // right on-timer
    PhaseTimer Timer4; // right off-timer
    Boolean hazard = kFalse;
    std::unique_ptr<BoardLink> light;
};

} // namespace meridan
