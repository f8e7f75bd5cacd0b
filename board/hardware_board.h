#pragma once

#include "board/board_call.h"
#include "signal/board_link.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include <sys/stat.h>
#include <sys/types.h>

namespace meridan {

class SystemCalls;

// What the boards on real hardware (a GPIO chip, an Arduino) share: two outputs and two inputs,
// whether the board is attached, and, once it has gone, why, which every later call says. A board
// that learns of its loss with no call under way raises one input change, so that the panel's
// switch handler reads an input, fails, and reports the loss at once.
class HardwareBoard : public BoardLink
{
public:
    static constexpr std::int16_t kChannels = 2;

    Boolean BoardPresent() override { return attached ? kTrue : kFalse; }
    // Checks the channel and the value; there is nothing to preset on these boards.
    void PresetChannel(std::int16_t Index, std::int32_t value) override;
    void setInputChangeHandler(InputChangeHandler handler) override;

protected:
    // `name` names the board in errors ("GPIO board", "Firmata board").
    explicit HardwareBoard(const char *name) : boardName(name) {}

    bool isAttached() const { return attached; }
    bool hasGone() const { return !goneWith.empty(); }
    const std::string &loss() const { return goneWith; }
    void attach() { attached = true; }
    // The board has gone: from now on every call fails with "the <name> <where> has gone:
    // <cause>". Said once; a later loss changes nothing.
    void lose(const std::string &where, const std::string &cause);
    // Raises the input change that tells an idle panel of the loss.
    void raiseLoss() const;

    // Looks at the board's device before anything opens it: its status, nullopt if there is no
    // such path (the board is not plugged in); fails `call` if it is not `noun`, whose kernel
    // subsystem is `subsystem` (see notTheDevice).
    static std::optional<struct stat> findDevice(const BoardCall &call, SystemCalls &calls,
            const std::string &path, const std::string &subsystem, const std::string &noun,
            bool (*knownWithoutSysfs)(dev_t device) = nullptr);

    // Each call's checks: the board attached, and its output and level, or its input.
    std::size_t output(const BoardCall &call) const;
    std::size_t input(const BoardCall &call, std::int16_t index) const;

    InputChangeHandler inputChanged;

private:
    void checkAttached(const BoardCall &call) const;

    const char *boardName;
    bool attached = false;
    std::string goneWith;
};

} // namespace meridan
