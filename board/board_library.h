#pragma once

#include "signal/board_link.h"
#include "system/system_calls.h"

#include <QObject>

#include <functional>
#include <memory>
#include <string_view>

namespace meridan {

class BoardCall;
class Clock;

// The board object the panel creates at start. Which board it drives is the library's own
// setting, read from MERIDAN_BOARD when the board is opened (board_setting.h holds the table of
// the boards there are, each made in its own folder); a malformed setting makes OpenBoard fail
// with what is wrong and what is accepted, and opens nothing. Board events reach the panel
// through the Qt event loop.
class BoardLibrary : public BoardLink
{
public:
    // Told of the board each time OpenBoard has opened it, e.g. to show the simulated board's
    // own window.
    using BoardOpened = std::function<void(BoardLink &board)>;

    static constexpr std::string_view kVariable = "MERIDAN_BOARD";

    explicit BoardLibrary(const Clock &time, BoardOpened onOpened = {});
    ~BoardLibrary() override;

    void OpenBoard(std::int32_t first, std::int32_t second) override;
    Boolean BoardPresent() override;
    void PresetChannel(std::int16_t Index, std::int32_t value) override;
    void SetOutputLevel(std::int16_t Index, std::int32_t level) override;
    Boolean ReadInput(std::int16_t Index) override;
    void setInputChangeHandler(InputChangeHandler handler) override;

    // The board in use if it is a `Board`, or nullptr (before OpenBoard, or another board).
    template <class Board> Board *boardAs() const { return dynamic_cast<Board *>(board.get()); }
    // Where the boards make their system calls; the kernel unless a test stands in.
    void setSystemCalls(SystemCalls &io) { systemCalls = &io; }

private:
    BoardLink &opened(const BoardCall &call) const;

    const Clock &clock;
    BoardOpened boardOpened;
    InputChangeHandler inputChanged;
    SystemCalls *systemCalls = &LinuxSystemCalls::instance();
    QObject eventContext; // queued board events die with the library
    std::unique_ptr<BoardLink> board;
};

} // namespace meridan
