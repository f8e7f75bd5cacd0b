#include "signal/run_time_error.h"

namespace meridan {

void raiseRunTimeError(std::string_view call, std::string_view cause)
{
    std::string message { call };
    message += " failed: ";
    message += cause;
    throw RunTimeError(message);
}

} // namespace meridan
