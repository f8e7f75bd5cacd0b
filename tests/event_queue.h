#pragma once

#include "board/simulated/simulated_board.h"

#include <deque>
#include <functional>
#include <utility>

namespace meridan::testing {

// The event loop as a test holds it: the simulated board posts its events here, and they run
// only when the test delivers them, in order, with any posted on the way.
class EventQueue
{
public:
    SimulatedBoard::Post poster()
    {
        return [this](std::function<void()> event) { pending.push_back(std::move(event)); };
    }

    void deliver()
    {
        while (!pending.empty()) {
            auto event = std::move(pending.front());
            pending.pop_front();
            event();
        }
    }

    std::deque<std::function<void()>> pending;
};

} // namespace meridan::testing
