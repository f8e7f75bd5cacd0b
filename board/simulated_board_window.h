#pragma once

#include <QWidget>

#include <cstdint>

class QLabel;
class QPushButton;

namespace meridan {

class SimulatedBoard;

// The simulated board's own small window: its two lamps, lit or dark as the board's outputs are
// (output 1 is the left lamp, output 0 the right), and its two switches, which the operator
// flips with the mouse or the keyboard (input 0 is the left switch, input 1 the right).
class SimulatedBoardWindow : public QWidget
{
public:
    static constexpr const char *kTitle = "Meridan simulated board";

    explicit SimulatedBoardWindow(SimulatedBoard &simulated);
    ~SimulatedBoardWindow() override;

    QLabel *leftLamp = nullptr;
    QLabel *rightLamp = nullptr;
    QPushButton *leftSwitch = nullptr;
    QPushButton *rightSwitch = nullptr;

private:
    SimulatedBoard &board;

    void showLevel(std::int16_t output, std::int32_t level);
};

} // namespace meridan
