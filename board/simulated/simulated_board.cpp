#include "board/simulated/simulated_board.h"

#include "board/board_context.h"
#include "board/board_setting.h"
#include "board/simulated/simulated_setting.h"
#include "signal/run_time_error.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace meridan {

namespace {

    constexpr const char *kName = "simulated board";

} // namespace

SimulatedBoard::SimulatedBoard(const Clock &time, Post poster, Plug plugged)
    : clock(time),
      post(std::move(poster)),
      plug(plugged)
{
}

void SimulatedBoard::enter(BoardOperation operation, const BoardCall &call)
{
    if (record == Record::Everything)
        callLog.push_back(call.text());
    for (auto failure = failures.begin(); failure != failures.end(); ++failure) {
        if (failure->operation == operation && --failure->callsLeft == 0) {
            failures.erase(failure);
            call.fail("injected failure");
        }
    }
    if (operation == BoardOperation::OpenBoard)
        return;
    if (!opened)
        call.fail("board not opened");
    if (operation != BoardOperation::BoardPresent && !attached())
        call.fail(unplugged ? "the simulated board has gone: it was unplugged"
                            : "board not attached");
}

std::size_t SimulatedBoard::channel(const BoardCall &call, const char *kind, std::int16_t index)
{
    return call.channel(kind, index, kChannels, kName);
}

void SimulatedBoard::OpenBoard(std::int32_t first, std::int32_t second)
{
    enter(BoardOperation::OpenBoard, { "OpenBoard", first, second });
    opened = true;
}

Boolean SimulatedBoard::BoardPresent()
{
    enter(BoardOperation::BoardPresent, BoardCall("BoardPresent"));
    return attached() ? kTrue : kFalse;
}

void SimulatedBoard::PresetChannel(std::int16_t Index, std::int32_t value)
{
    const BoardCall call { "PresetChannel", Index, value };
    enter(BoardOperation::PresetChannel, call);
    presets[call.outputAndLevel(kChannels, kName)] = value;
}

void SimulatedBoard::SetOutputLevel(std::int16_t Index, std::int32_t level)
{
    const BoardCall call { "SetOutputLevel", Index, level };
    enter(BoardOperation::SetOutputLevel, call);
    levels[call.outputAndLevel(kChannels, kName)] = level;
    if (record != Record::Nothing)
        outputWrites.push_back({ clock.now(), Index, level });
    if (writesFile.valid()) {
        const std::string line = call.text() + '\n';
        [[maybe_unused]] const ssize_t written =
                ::write(writesFile.get(), line.data(), line.size());
    }
    if (outputObserver)
        outputObserver(Index, level);
}

Boolean SimulatedBoard::ReadInput(std::int16_t Index)
{
    const BoardCall call { "ReadInput", Index };
    enter(BoardOperation::ReadInput, call);
    return inputs[channel(call, "input", Index)];
}

void SimulatedBoard::setInputChangeHandler(InputChangeHandler handler)
{
    inputChanged = std::move(handler);
}

void SimulatedBoard::setInput(std::int16_t index, bool on)
{
    Boolean &state = inputs[channel({ "setInput", index, on ? 1 : 0 }, "input", index)];
    const Boolean newState = on ? kTrue : kFalse;
    if (state == newState)
        return;
    state = newState;
    if (attached() && opened && post)
        post([this, index, newState] {
            if (inputChanged)
                inputChanged(index, newState);
        });
}

void SimulatedBoard::unplug()
{
    if (!attached())
        return;
    plug = Plug::Unplugged;
    unplugged = true;
    if (opened && post)
        post([this] {
            if (inputChanged)
                inputChanged(0, kFalse);
        });
}

void SimulatedBoard::failOnCall(BoardOperation operation, int nth)
{
    failures.push_back({ operation, std::max(nth, 1) });
}

std::int32_t SimulatedBoard::outputLevel(std::int16_t output) const
{
    return levels[channel({ "outputLevel", output }, "output", output)];
}

std::int32_t SimulatedBoard::preset(std::int16_t output) const
{
    return presets[channel({ "preset", output }, "output", output)];
}

Boolean SimulatedBoard::input(std::int16_t index) const
{
    return inputs[channel({ "input", index }, "input", index)];
}

void SimulatedBoard::setOutputObserver(
        std::function<void(std::int16_t output, std::int32_t level)> observer)
{
    outputObserver = std::move(observer);
}

// The simulated board as a running panel has it: recording nothing in memory (or its record would
// grow for as long as the lamps blink), and appending its writes to the setting's file if it names
// one.
std::unique_ptr<BoardLink> makeBoard(const SimulatedSetting &setting, const BoardContext &context)
{
    auto board = std::make_unique<SimulatedBoard>(context.clock, context.post,
            setting.attached ? SimulatedBoard::Plug::Attached : SimulatedBoard::Plug::Unplugged);
    board->setRecord(SimulatedBoard::Record::Nothing);
    if (!setting.record.empty()) {
        const int file = ::open(
                setting.record.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOCTTY | O_CLOEXEC, 0644);
        if (file < 0)
            BoardCall("OpenBoard", 0, 0)
                    .fail("cannot open " + setting.record
                            + " to record the output writes in: " + std::strerror(errno));
        board->recordWritesTo(FileDescriptor(context.calls, file));
    }
    return board;
}

} // namespace meridan
