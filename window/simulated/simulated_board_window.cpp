#include "window/simulated/simulated_board_window.h"

#include "signal/board_link.h"
#include "window/accessible/accessible_factory.h"
#include "window/repaint/repaint_batch.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>

#include <algorithm>

namespace meridan {

namespace {

    QPushButton *makeSwitch(const QString &name, std::int16_t input, SimulatedBoardWindow *window)
    {
        auto *flip = new QPushButton(name + ": off", window);
        flip->setObjectName(name);
        flip->setCheckable(true);
        QObject::connect(flip, &QPushButton::toggled, window, [window, flip, name, input](bool on) {
            flip->setText(name + (on ? ": on" : ": off"));
            emit window->switchFlipped(input, on);
        });
        return flip;
    }

} // namespace

SimulatedLamp::SimulatedLamp(const QString &name, QWidget *parent) : QWidget(parent)
{
    setObjectName(name);
    // Before the name, whose change would resolve the stock interface.
    installAccessibleFactory<SimulatedLamp, StateAccessible<SimulatedLamp, QAccessible::Client>>();
    setAccessibleName(name);
    setFixedSize(sizeHint());
    setAttribute(Qt::WA_OpaquePaintEvent); // each look carries the window's background
}

void SimulatedLamp::setLit(bool lit)
{
    if (lit == isLit)
        return;
    isLit = lit;
    announceDescriptionChange(this);
    RepaintBatch::update(*this);
}

void SimulatedLamp::paintEvent(QPaintEvent * /*event*/)
{
    // Each look is drawn once, antialiased over the window's background, and then only copied:
    // an edge costs the copy of an opaque picture, with nothing to blend and nothing under it
    // to paint first.
    const auto look = [this](const QSize &size, qreal ratio, bool lit) {
        QPixmap pixmap(size * ratio);
        pixmap.setDevicePixelRatio(ratio);
        QPainter painter(&pixmap);
        painter.fillRect(QRect(QPoint(0, 0), size), palette().window());
        painter.setRenderHint(QPainter::Antialiasing);
        // Amber when lit, like the turn-signal lamp it stands for.
        painter.setPen(QPen(lit ? QColor(120, 80, 0) : QColor(32, 32, 32), 3));
        painter.setBrush(lit ? QColor(255, 176, 0) : QColor(64, 64, 64));
        painter.drawEllipse(QRectF(QPointF(2, 2), QSizeF(size) - QSizeF(4, 4)));
        return pixmap;
    };
    const qreal ratio = devicePixelRatioF();
    if (cachedRatio != ratio || cachedPalette != palette().cacheKey()) {
        litLook = look(size(), ratio, true);
        darkLook = look(size(), ratio, false);
        cachedRatio = ratio;
        cachedPalette = palette().cacheKey();
    }
    QPainter(this).drawPixmap(0, 0, isLit ? litLook : darkLook);
}

SimulatedBoardWindow::SimulatedBoardWindow()
{
    setWindowTitle(kTitle);
    auto *grid = new QGridLayout(this);
    leftLamp = new SimulatedLamp("Left lamp", this);
    rightLamp = new SimulatedLamp("Right lamp", this);
    leftSwitch = makeSwitch("Left switch", kLeftSwitchInput, this);
    rightSwitch = makeSwitch("Right switch", kRightSwitchInput, this);
    grid->addWidget(leftLamp, 0, 0, Qt::AlignHCenter);
    grid->addWidget(rightLamp, 0, 1, Qt::AlignHCenter);
    grid->addWidget(new QLabel(QString("left lamp, output %1").arg(kLeftLampOutput), this), 1, 0,
            Qt::AlignHCenter);
    grid->addWidget(new QLabel(QString("right lamp, output %1").arg(kRightLampOutput), this), 1, 1,
            Qt::AlignHCenter);
    grid->addWidget(leftSwitch, 2, 0);
    grid->addWidget(rightSwitch, 2, 1);
    grid->addWidget(
            new QLabel(QString("input %1").arg(kLeftSwitchInput), this), 3, 0, Qt::AlignHCenter);
    grid->addWidget(
            new QLabel(QString("input %1").arg(kRightSwitchInput), this), 3, 1, Qt::AlignHCenter);
    unplug = new QPushButton("Unplug the board", this);
    unplug->setObjectName("Unplug");
    grid->addWidget(unplug, 4, 0, 1, 2);
    connect(unplug, &QPushButton::clicked, this, [this] {
        emit unplugged();
        unplug->setText("Unplugged");
        unplug->setEnabled(false);
    });

    // A fixed size, so that tiling compositors float the window instead of stretching it, wide
    // enough that a title bar (with room for its buttons) shows the whole title.
    constexpr int kTitleBarButtons = 150;
    const int titleWidth =
            QFontMetrics(QApplication::font()).horizontalAdvance(kTitle) + kTitleBarButtons;
    const QSize contents = sizeHint();
    setFixedSize(std::max(contents.width(), titleWidth), contents.height());
}

// Not const: it changes what the window shows, through its lamps.
void SimulatedBoardWindow::showLevel( // NOLINT(readability-make-member-function-const)
        std::int16_t output, std::int32_t level)
{
    if (output == kLeftLampOutput)
        leftLamp->setLit(level > 0);
    else if (output == kRightLampOutput)
        rightLamp->setLit(level > 0);
}

} // namespace meridan
