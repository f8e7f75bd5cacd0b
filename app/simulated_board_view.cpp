#include "app/simulated_board_view.h"

#include "board/simulated/simulated_board.h"

#include <QPointer>

#include <utility>

namespace meridan {

SimulatedBoardView::SimulatedBoardView(std::function<void(QWidget &window)> show)
    : showWindow(std::move(show))
{
}

SimulatedBoardView::~SimulatedBoardView() = default;

BoardLibrary::BoardOpened SimulatedBoardView::opener()
{
    return [this](BoardLink &board) { opened(board); };
}

void SimulatedBoardView::opened(BoardLink &board)
{
    auto *simulated = dynamic_cast<SimulatedBoard *>(&board);
    if (simulated == nullptr || !simulated->attached() || window)
        return;
    window = std::make_unique<SimulatedBoardWindow>();
    SimulatedBoardWindow *shown = window.get();
    shown->showLevel(kLeftLampOutput, simulated->outputLevel(kLeftLampOutput));
    shown->showLevel(kRightLampOutput, simulated->outputLevel(kRightLampOutput));
    // The window may go before the board or after it, so the board's writes reach it only while
    // it lives; its switches and cable are used only while the panel runs, when the board lives.
    simulated->setOutputObserver(
            [shown = QPointer(shown)](std::int16_t output, std::int32_t level) {
                if (shown)
                    shown->showLevel(output, level);
            });
    QObject::connect(shown, &SimulatedBoardWindow::switchFlipped, shown,
            [simulated](std::int16_t input, bool on) { simulated->setInput(input, on); });
    QObject::connect(
            shown, &SimulatedBoardWindow::unplugged, shown, [simulated] { simulated->unplug(); });
    if (showWindow)
        showWindow(*shown);
}

} // namespace meridan
