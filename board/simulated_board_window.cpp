#include "simulated_board_window.h"

#include "simulated_board.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace meridan {

namespace {

    constexpr std::int16_t kLeftLampOutput = 1;
    constexpr std::int16_t kRightLampOutput = 0;
    constexpr std::int16_t kLeftSwitchInput = 0;
    constexpr std::int16_t kRightSwitchInput = 1;

    QLabel *makeLamp(const QString &name, QWidget *parent)
    {
        auto *lamp = new QLabel(parent);
        lamp->setObjectName(name);
        lamp->setFixedSize(72, 72);
        lamp->setAccessibleName(name);
        return lamp;
    }

    void paintLamp(QLabel *lamp, bool lit)
    {
        // Amber when lit, like the turn-signal lamp it stands for.
        lamp->setStyleSheet(lit ? "background: rgb(255, 176, 0); border: 3px solid rgb(120, 80, 0);"
                                  " border-radius: 36px;"
                                : "background: rgb(64, 64, 64); border: 3px solid rgb(32, 32, 32);"
                                  " border-radius: 36px;");
        lamp->setAccessibleDescription(lit ? "lit" : "dark");
    }

    QPushButton *makeSwitch(
            const QString &name, SimulatedBoard &board, std::int16_t input, QWidget *parent)
    {
        auto *flip = new QPushButton(name + ": off", parent);
        flip->setObjectName(name);
        flip->setCheckable(true);
        QObject::connect(flip, &QPushButton::toggled, parent, [&board, flip, name, input](bool on) {
            flip->setText(name + (on ? ": on" : ": off"));
            board.setInput(input, on);
        });
        return flip;
    }

} // namespace

SimulatedBoardWindow::SimulatedBoardWindow(SimulatedBoard &simulated) : board(simulated)
{
    setWindowTitle(kTitle);
    auto *grid = new QGridLayout(this);
    leftLamp = makeLamp("Left lamp", this);
    rightLamp = makeLamp("Right lamp", this);
    leftSwitch = makeSwitch("Left switch", board, kLeftSwitchInput, this);
    rightSwitch = makeSwitch("Right switch", board, kRightSwitchInput, this);
    grid->addWidget(leftLamp, 0, 0, Qt::AlignHCenter);
    grid->addWidget(rightLamp, 0, 1, Qt::AlignHCenter);
    grid->addWidget(new QLabel("left lamp, output 1", this), 1, 0, Qt::AlignHCenter);
    grid->addWidget(new QLabel("right lamp, output 0", this), 1, 1, Qt::AlignHCenter);
    grid->addWidget(leftSwitch, 2, 0);
    grid->addWidget(rightSwitch, 2, 1);
    grid->addWidget(new QLabel("input 0", this), 3, 0, Qt::AlignHCenter);
    grid->addWidget(new QLabel("input 1", this), 3, 1, Qt::AlignHCenter);

    showLevel(kLeftLampOutput, board.outputLevel(kLeftLampOutput));
    showLevel(kRightLampOutput, board.outputLevel(kRightLampOutput));
    board.setOutputObserver(
            [this](std::int16_t output, std::int32_t level) { showLevel(output, level); });
}

SimulatedBoardWindow::~SimulatedBoardWindow()
{
    board.setOutputObserver({});
}

void SimulatedBoardWindow::showLevel(std::int16_t output, std::int32_t level)
{
    if (output == kLeftLampOutput)
        paintLamp(leftLamp, level > 0);
    else if (output == kRightLampOutput)
        paintLamp(rightLamp, level > 0);
}

} // namespace meridan
