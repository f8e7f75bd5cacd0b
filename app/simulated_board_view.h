#pragma once

#include "board/board_library.h"
#include "window/simulated/simulated_board_window.h"

#include <functional>
#include <memory>

class QWidget;

namespace meridan {

class BoardLink;

// The simulated board's own window, made once the board is open and attached, and connected to
// it: the window's switches set the board's inputs, its cable button unplugs the board, and the
// board's output writes light the window's lamps. Other boards have no window.
class SimulatedBoardView
{
public:
    // `show` is given the window once it is made.
    explicit SimulatedBoardView(std::function<void(QWidget &window)> show);
    ~SimulatedBoardView();
    SimulatedBoardView(const SimulatedBoardView &) = delete;
    SimulatedBoardView &operator=(const SimulatedBoardView &) = delete;

    // For the board library: called each time it has opened its board.
    BoardLibrary::BoardOpened opener();

private:
    void opened(BoardLink &board);

    std::function<void(QWidget &)> showWindow;
    std::unique_ptr<SimulatedBoardWindow> window;
};

} // namespace meridan
