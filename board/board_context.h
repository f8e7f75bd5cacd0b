#pragma once

#include <functional>

namespace meridan {

class Clock;
class SystemCalls;

// What the board library gives each board it makes.
struct BoardContext
{
    const Clock &clock;
    // Hands a function to the event loop, to run after the present handler; it is dropped if the
    // library goes first.
    std::function<void(std::function<void()>)> post;
    // Where the boards make their system calls: the kernel, unless a test stands in.
    SystemCalls &calls;
};

} // namespace meridan
