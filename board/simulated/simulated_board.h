#pragma once

#include "board/board_call.h"
#include "signal/board_link.h"
#include "signal/clock.h"
#include "system/file_descriptor.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace meridan {

enum class BoardOperation { OpenBoard, BoardPresent, PresetChannel, SetOutputLevel, ReadInput };

// One SetOutputLevel as the simulated board saw it, stamped by the board's clock.
struct OutputWrite
{
    TimePoint time;
    std::int16_t output = 0;
    std::int32_t level = 0;
    bool operator==(const OutputWrite &) const = default;
};

// A board in memory, with eight outputs and eight inputs. It keeps each output's level and
// preset and each input's state, records every call and every output write, and can be made to
// fail a chosen call or be unplugged while the panel runs. Flipping an input raises OnInputChange
// through `post`, which hands the event to the event loop, never from inside the flip.
class SimulatedBoard : public BoardLink
{
public:
    static constexpr std::int16_t kChannels = 8;

    // Hands a function to the event loop, to run after the present handler.
    using Post = std::function<void(std::function<void()>)>;
    enum class Plug { Attached, Unplugged };

    SimulatedBoard(const Clock &time, Post poster, Plug plugged = Plug::Attached);

    void OpenBoard(std::int32_t first, std::int32_t second) override;
    Boolean BoardPresent() override;
    void PresetChannel(std::int16_t Index, std::int32_t value) override;
    void SetOutputLevel(std::int16_t Index, std::int32_t level) override;
    Boolean ReadInput(std::int16_t Index) override;
    void setInputChangeHandler(InputChangeHandler handler) override;

    // The switches' side: sets an input and, if its state changed on an attached board, raises
    // OnInputChange(index, state) through the event loop.
    void setInput(std::int16_t index, bool on);
    // From now on the board reports itself not attached and every operation but OpenBoard and
    // BoardPresent fails, saying the board was unplugged. An open board raises OnInputChange
    // through the event loop, so that a panel learns of the loss while it is idle.
    void unplug();
    // The nth call of `operation` from now on fails with "injected failure".
    void failOnCall(BoardOperation operation, int nth = 1);

    bool attached() const { return plug == Plug::Attached; }
    std::int32_t outputLevel(std::int16_t output) const;
    std::int32_t preset(std::int16_t output) const;
    Boolean input(std::int16_t index) const;
    const std::vector<OutputWrite> &writes() const { return outputWrites; }
    // Moves the writes recorded so far to the end of `into` and empties the record, keeping its
    // storage, so that a long run that drains it now and then allocates nothing more.
    void drainWritesInto(std::vector<OutputWrite> &into)
    {
        into.insert(into.end(), outputWrites.begin(), outputWrites.end());
        outputWrites.clear();
    }
    // Every operation called, as text: "OpenBoard(0, 0)", "SetOutputLevel(1, 100)", ...
    const std::vector<std::string> &calls() const { return callLog; }

    // What the board records. A board in a running panel records nothing, or its record would
    // grow for as long as the lamps blink; tests record everything, the benchmark the writes.
    enum class Record { Everything, Writes, Nothing };
    void setRecord(Record what) { record = what; }

    // From now on each successful output write is appended to `file` as it happens, one a line
    // ("SetOutputLevel(1, 0)"), so that what the board was last told survives the program's end.
    void recordWritesTo(FileDescriptor file) { writesFile = std::move(file); }

    // Told of each successful output write, e.g. to light the lamps of the board's window.
    void setOutputObserver(std::function<void(std::int16_t output, std::int32_t level)> observer);

private:
    // Records the call and raises its injected or plugged-state failure, if any.
    void enter(BoardOperation operation, const BoardCall &call);
    static std::size_t channel(const BoardCall &call, const char *kind, std::int16_t index);

    const Clock &clock;
    Post post;
    Plug plug;
    bool unplugged = false; // while the panel ran, rather than from the start
    Record record = Record::Everything;
    bool opened = false;
    std::array<std::int32_t, kChannels> levels {};
    std::array<std::int32_t, kChannels> presets {};
    std::array<Boolean, kChannels> inputs {};
    std::vector<OutputWrite> outputWrites;
    std::vector<std::string> callLog;
    FileDescriptor writesFile;
    InputChangeHandler inputChanged;
    std::function<void(std::int16_t, std::int32_t)> outputObserver;
    struct InjectedFailure
    {
        BoardOperation operation;
        int callsLeft;
    };
    std::vector<InjectedFailure> failures;
};

} // namespace meridan
