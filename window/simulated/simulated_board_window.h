#pragma once

#include <QPixmap>
#include <QWidget>

#include <cstdint>

class QPushButton;

namespace meridan {

// One lamp of the simulated board: an amber disc when lit, a grey one when dark.
class SimulatedLamp : public QWidget
{
    Q_OBJECT

public:
    SimulatedLamp(const QString &name, QWidget *parent);
    // What assistive technology reads as the lamp's description: "lit" or "dark".
    QString state() const { return isLit ? QStringLiteral("lit") : QStringLiteral("dark"); }
    // Repainted at the end of the handler that changed it (see RepaintBatch).
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

// The simulated board's own small window: its two lamps, lit or dark as the board's outputs are,
// and its two switches, which the operator flips with the mouse or the keyboard. It knows the
// board only by the numbers of its outputs and inputs; the program connects it to the board.
class SimulatedBoardWindow : public QWidget
{
    Q_OBJECT

public:
    static constexpr const char *kTitle = "Meridan simulated board";

    SimulatedBoardWindow();

    // Shows an output's level on its lamp; outputs that drive no lamp are ignored.
    void showLevel(std::int16_t output, std::int32_t level);

    SimulatedLamp *leftLamp = nullptr;
    SimulatedLamp *rightLamp = nullptr;
    QPushButton *leftSwitch = nullptr;
    QPushButton *rightSwitch = nullptr;
    // Pulls the board's cable: from then on the panel's next board call fails.
    QPushButton *unplug = nullptr;

signals:
    // A switch was flipped to `on`.
    void switchFlipped(std::int16_t input, bool on);
    // The operator pulled the cable.
    void unplugged();
};

} // namespace meridan
