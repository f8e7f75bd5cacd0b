#include "board/hardware_board.h"

#include "system/system_calls.h"

#include <cerrno>
#include <cstring>
#include <utility>

namespace meridan {

void HardwareBoard::PresetChannel(std::int16_t Index, std::int32_t value)
{
    output({ "PresetChannel", Index, value });
}

void HardwareBoard::setInputChangeHandler(InputChangeHandler handler)
{
    inputChanged = std::move(handler);
}

std::optional<struct stat> HardwareBoard::findDevice(const BoardCall &call, SystemCalls &calls,
        const std::string &path, const std::string &subsystem, const std::string &noun,
        bool (*knownWithoutSysfs)(dev_t))
{
    struct stat status = {};
    if (const int result = calls.statusOf(path, status); result == -ENOENT || result == -ENOTDIR)
        return std::nullopt;
    else if (result < 0)
        call.fail("cannot look at " + path + ": " + std::strerror(-result));
    if (const std::string wrong =
                    notTheDevice(calls, path, status, subsystem, noun, knownWithoutSysfs);
            !wrong.empty())
        call.fail(wrong);
    return status;
}

void HardwareBoard::lose(const std::string &where, const std::string &cause)
{
    attached = false;
    if (goneWith.empty())
        goneWith = "the " + std::string(boardName) + " " + where + " has gone: " + cause;
}

void HardwareBoard::raiseLoss() const
{
    if (inputChanged)
        inputChanged(0, kFalse);
}

void HardwareBoard::checkAttached(const BoardCall &call) const
{
    if (!goneWith.empty())
        call.fail(goneWith);
    if (!attached)
        call.fail("board not attached");
}

std::size_t HardwareBoard::output(const BoardCall &call) const
{
    checkAttached(call);
    return call.outputAndLevel(kChannels, boardName);
}

std::size_t HardwareBoard::input(const BoardCall &call, std::int16_t index) const
{
    checkAttached(call);
    return call.channel("input", index, kChannels, boardName);
}

} // namespace meridan
