#include "run_time_error.h"

namespace meridan {

void raiseRunTimeError(std::string_view call, std::string_view cause)
{
    std::string message { call };
    message += " failed: ";
    message += cause;
    throw RunTimeError(message);
}

std::string callText(std::string_view name, std::initializer_list<std::int32_t> arguments)
{
    std::string text { name };
    text += '(';
    for (const std::int32_t &argument : arguments) {
        if (&argument != arguments.begin())
            text += ", ";
        text += std::to_string(argument);
    }
    text += ')';
    return text;
}

} // namespace meridan
