#pragma once

#include "signal/boolean.h"

#include <cstdint>
#include <functional>

namespace meridan {

// Output levels: 100 lights a lamp, 0 darkens it, and no board takes a level outside them.
inline constexpr std::int32_t kLit = 100;
inline constexpr std::int32_t kDark = 0;

// How the lamps and switches are wired to the board. Outputs and inputs are crossed: the left lamp
// is output 1 and the right lamp output 0, while the left switch is input 0 and the right switch
// input 1.
inline constexpr std::int16_t kLeftLampOutput = 1;
inline constexpr std::int16_t kRightLampOutput = 0;
inline constexpr std::int16_t kLeftSwitchInput = 0;
inline constexpr std::int16_t kRightSwitchInput = 1;

// The board as the panel uses it: five operations and one event. Every operation either succeeds
// or raises RunTimeError.
class BoardLink
{
public:
    // Receives OnInputChange(Index, NewState); always called from the event loop, between
    // handlers, never from inside the call that changed an input.
    using InputChangeHandler = std::function<void(std::int16_t Index, Boolean NewState)>;

    virtual ~BoardLink() = default;

    virtual void OpenBoard(std::int32_t first, std::int32_t second) = 0;
    virtual Boolean BoardPresent() = 0;
    virtual void PresetChannel(std::int16_t Index, std::int32_t value) = 0;
    virtual void SetOutputLevel(std::int16_t Index, std::int32_t level) = 0;
    virtual Boolean ReadInput(std::int16_t Index) = 0;

    virtual void setInputChangeHandler(InputChangeHandler handler) = 0;
};

} // namespace meridan
