#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace meridan {

// One operation called on a board, with its arguments, and the rules every board applies to
// them. Its text ("SetOutputLevel(1, 100)") is built only when a call fails or is recorded, not
// on every write.
class BoardCall
{
public:
    explicit BoardCall(std::string_view name) : operation(name) {}
    BoardCall(std::string_view name, std::int32_t first)
        : operation(name),
          arguments { first, 0 },
          count(1)
    {
    }
    BoardCall(std::string_view name, std::int32_t first, std::int32_t second)
        : operation(name),
          arguments { first, second },
          count(2)
    {
    }

    std::string text() const;
    // Raises RunTimeError: "<text> failed: <cause>".
    [[noreturn]] void fail(std::string_view cause) const;

    // Checks that `index` names one of a board's `channels` outputs or inputs (`kind`), and
    // returns it as an index into them.
    std::size_t channel(
            const char *kind, std::int16_t index, std::int16_t channels, const char *board) const;
    // Checks that a level is kDark (0) to kLit (100).
    void checkLevel(std::int32_t level) const;
    // For PresetChannel and SetOutputLevel, whose arguments are an output and a level: checks
    // both and returns the output as an index into the board's `channels` outputs.
    std::size_t outputAndLevel(std::int16_t channels, const char *board) const;

private:
    std::string_view operation;
    std::array<std::int32_t, 2> arguments {};
    std::size_t count = 0;
};

} // namespace meridan
