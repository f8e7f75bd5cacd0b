#pragma once

#include "board_link.h"
#include "system_calls.h"

#include <QObject>

#include <functional>
#include <memory>
#include <string_view>

class QWidget;

namespace meridan {

class BoardCall;
class Clock;
class GpioBoard;
struct GpioSetting;
class SimulatedBoard;
class SimulatedBoardWindow;

// The board object the panel creates at start. Which board it drives is the library's own
// setting, read from MERIDAN_BOARD when the board is opened (see board_setting.h); a malformed
// setting makes OpenBoard fail with what is wrong and what is accepted, and opens nothing. The
// simulated board comes with its own small window. Board events reach the panel through the Qt
// event loop.
class BoardLibrary : public BoardLink
{
public:
    // Shows the simulated board's window; given the window once the board is open.
    using ShowWindow = std::function<void(QWidget &window)>;

    static constexpr std::string_view kVariable = "MERIDAN_BOARD";

    BoardLibrary(const Clock &time, ShowWindow showBoardWindow);
    ~BoardLibrary() override;

    void OpenBoard(std::int32_t first, std::int32_t second) override;
    Boolean BoardPresent() override;
    void PresetChannel(std::int16_t Index, std::int32_t value) override;
    void SetOutputLevel(std::int16_t Index, std::int32_t level) override;
    Boolean ReadInput(std::int16_t Index) override;
    void setInputChangeHandler(InputChangeHandler handler) override;

    // The simulated board in use, or nullptr before OpenBoard or with another board.
    SimulatedBoard *simulatedBoard() const { return simulated.get(); }
    // The GPIO board in use, or nullptr.
    GpioBoard *gpioBoard() const { return gpio.get(); }
    // Where a GPIO board makes its system calls; the kernel unless a test stands in.
    void setSystemCalls(SystemCalls &io) { systemCalls = &io; }

private:
    void openGpio(const GpioSetting &setting, std::int32_t first, std::int32_t second);
    BoardLink &opened(const BoardCall &call) const;

    const Clock &clock;
    ShowWindow showWindow;
    InputChangeHandler inputChanged;
    QObject eventContext; // queued board events die with the board
    std::unique_ptr<SimulatedBoard> simulated;
    std::unique_ptr<SimulatedBoardWindow> window;
    SystemCalls *systemCalls = &LinuxSystemCalls::instance();
    std::unique_ptr<GpioBoard> gpio;
    BoardLink *board = nullptr;
};

} // namespace meridan
