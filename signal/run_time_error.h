#pragma once

#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>

namespace meridan {

// The program's one run-time error. A failed operation on the board or on a control raises it;
// only EventDispatcher catches it, reports it once and ends the program.
class RunTimeError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Raises a RunTimeError whose message names the call and the cause, e.g.
// "SetOutputLevel(1, 100) failed: board not attached".
[[noreturn]] void raiseRunTimeError(std::string_view call, std::string_view cause);

} // namespace meridan
