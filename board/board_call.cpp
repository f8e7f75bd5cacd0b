#include "board/board_call.h"

#include "signal/board_link.h"
#include "signal/run_time_error.h"

namespace meridan {

std::string BoardCall::text() const
{
    std::string text { operation };
    text += '(';
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0)
            text += ", ";
        text += std::to_string(arguments[i]);
    }
    text += ')';
    return text;
}

void BoardCall::fail(std::string_view cause) const
{
    raiseRunTimeError(text(), cause);
}

std::size_t BoardCall::channel(
        const char *kind, std::int16_t index, std::int16_t channels, const char *board) const
{
    if (index < 0 || index >= channels)
        fail(std::string("no ") + kind + " " + std::to_string(index) + " on the " + board
                + " (0 to " + std::to_string(channels - 1) + ")");
    return static_cast<std::size_t>(index);
}

std::size_t BoardCall::outputAndLevel(std::int16_t channels, const char *board) const
{
    const std::size_t output =
            channel("output", static_cast<std::int16_t>(arguments[0]), channels, board);
    checkLevel(arguments[1]);
    return output;
}

void BoardCall::checkLevel(std::int32_t level) const
{
    if (level < kDark || level > kLit)
        fail("a level is " + std::to_string(kDark) + " to " + std::to_string(kLit) + ", not "
                + std::to_string(level));
}

} // namespace meridan
