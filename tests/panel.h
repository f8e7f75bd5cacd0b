#pragma once

#include "board/simulated/simulated_board.h"
#include "signal/form1.h"
#include "tests/event_queue.h"
#include "tests/fake_controls.h"
#include "tests/virtual_clock.h"

#include <deque>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace meridan::testing {

// Form1 as the program builds it, but on fake controls, virtual time and a simulated board whose
// events wait in a queue until the test delivers them.
class Panel
{
public:
    explicit Panel(SimulatedBoard::Plug plug = SimulatedBoard::Plug::Attached)
    {
        owned = std::make_unique<SimulatedBoard>(clock, events.poster(), plug);
        board = owned.get();
    }

    // Hands the board to Form1 and runs Form_Load.
    void load() { form.dispatch(&Form1::Form_Load); }

    // Runs the board events posted so far, as the event loop would.
    void deliverEvents() { events.deliver(); }

    std::vector<OutputWrite> writesOf(std::int16_t output) const
    {
        std::vector<OutputWrite> result;
        for (const OutputWrite &write : board->writes())
            if (write.output == output)
                result.push_back(write);
        return result;
    }

    VirtualClock clock;
    FakeBox Picture1;
    FakeBox Picture2;
    FakeButton Command1;
    FakeButton Command2;
    FakeButton Command3;
    FakeScrollBar HScroll1;
    FakeDesktop desktop;
    EventQueue events;
    std::unique_ptr<SimulatedBoard> owned; // until Form_Load takes it
    SimulatedBoard *board = nullptr;
    BoardFactory factory = [this]() -> std::unique_ptr<BoardLink> { return std::move(owned); };
    Form1 form { { Picture1, Picture2, Command1, Command2, Command3, HScroll1 }, desktop, clock,
        clock, [this] { return factory(); } };
};

} // namespace meridan::testing
