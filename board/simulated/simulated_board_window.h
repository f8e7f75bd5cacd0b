#pragma once

#include <QPixmap>
#include <QWidget>

#include <cstdint>

class QPushButton;

namespace meridan {

class SimulatedBoard;

// One lamp of the simulated board: an amber disc when lit, a grey one when dark. Changing it only
// schedules a repaint, so a lamp edge costs the panel next to nothing.
class SimulatedLamp : public QWidget
{
    Q_OBJECT

public:
    SimulatedLamp(const QString &name, QWidget *parent);
    bool lit() const { return isLit; }
    // What assistive technology reads as the lamp's description: "lit" or "dark".
    QString state() const { return isLit ? QStringLiteral("lit") : QStringLiteral("dark"); }
    void setLit(bool lit);
    QSize sizeHint() const override { return { 72, 72 }; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    bool isLit = false;
    qreal cachedRatio = 0;
    qint64 cachedPalette = 0;
    QPixmap litLook;
    QPixmap darkLook;
};

// The simulated board's own small window: its two lamps, lit or dark as the board's outputs are
// (output 1 is the left lamp, output 0 the right), and its two switches, which the operator
// flips with the mouse or the keyboard (input 0 is the left switch, input 1 the right).
class SimulatedBoardWindow : public QWidget
{
    Q_OBJECT

public:
    static constexpr const char *kTitle = "Meridan simulated board";

    explicit SimulatedBoardWindow(SimulatedBoard &simulated);
    ~SimulatedBoardWindow() override;

    SimulatedLamp *leftLamp = nullptr;
    SimulatedLamp *rightLamp = nullptr;
    QPushButton *leftSwitch = nullptr;
    QPushButton *rightSwitch = nullptr;
    // Pulls the board's cable: from then on the panel's next board call fails.
    QPushButton *unplug = nullptr;

private:
    SimulatedBoard &board;

    void showLevel(std::int16_t output, std::int32_t level);
};

} // namespace meridan
