#include "simulated_board_window.h"

#include "accessible_factory.h"
#include "board_context.h"
#include "board_setting.h"
#include "repaint_batch.h"
#include "simulated_board.h"
#include "simulated_setting.h"
#include "system_calls.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>

namespace meridan {

namespace {

    constexpr std::int16_t kLeftLampOutput = 1;
    constexpr std::int16_t kRightLampOutput = 0;
    constexpr std::int16_t kLeftSwitchInput = 0;
    constexpr std::int16_t kRightSwitchInput = 1;

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

SimulatedBoardWindow::SimulatedBoardWindow(SimulatedBoard &simulated) : board(simulated)
{
    setWindowTitle(kTitle);
    auto *grid = new QGridLayout(this);
    leftLamp = new SimulatedLamp("Left lamp", this);
    rightLamp = new SimulatedLamp("Right lamp", this);
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
    unplug = new QPushButton("Unplug the board", this);
    unplug->setObjectName("Unplug");
    grid->addWidget(unplug, 4, 0, 1, 2);
    connect(unplug, &QPushButton::clicked, this, [this] {
        board.unplug();
        unplug->setText("Unplugged");
        unplug->setEnabled(false);
    });

    showLevel(kLeftLampOutput, board.outputLevel(kLeftLampOutput));
    showLevel(kRightLampOutput, board.outputLevel(kRightLampOutput));
    board.setOutputObserver(
            [this](std::int16_t output, std::int32_t level) { showLevel(output, level); });

    // A fixed size, so that tiling compositors float the window instead of stretching it, wide
    // enough that a title bar (with room for its buttons) shows the whole title.
    constexpr int kTitleBarButtons = 150;
    const int titleWidth =
            QFontMetrics(QApplication::font()).horizontalAdvance(kTitle) + kTitleBarButtons;
    const QSize contents = sizeHint();
    setFixedSize(std::max(contents.width(), titleWidth), contents.height());
}

SimulatedBoardWindow::~SimulatedBoardWindow()
{
    board.setOutputObserver({});
}

void SimulatedBoardWindow::showLevel(std::int16_t output, std::int32_t level)
{
    if (output == kLeftLampOutput)
        leftLamp->setLit(level > 0);
    else if (output == kRightLampOutput)
        rightLamp->setLit(level > 0);
}

namespace {

    SimulatedBoard::Plug plugOf(const SimulatedSetting &setting)
    {
        return setting.attached ? SimulatedBoard::Plug::Attached : SimulatedBoard::Plug::Unplugged;
    }

    class WindowedSimulatedBoard final : public SimulatedBoard
    {
    public:
        WindowedSimulatedBoard(const SimulatedSetting &setting, const BoardContext &context)
            : SimulatedBoard(context.clock, context.post, plugOf(setting)),
              showWindow(context.showWindow)
        {
        }
        void OpenBoard(std::int32_t first, std::int32_t second) override
        {
            SimulatedBoard::OpenBoard(first, second);
            if (!attached() || window)
                return;
            window = std::make_unique<SimulatedBoardWindow>(*this);
            if (showWindow)
                showWindow(*window);
        }

    private:
        std::function<void(QWidget &)> showWindow;
        std::unique_ptr<SimulatedBoardWindow> window;
    };

} // namespace

// The simulated board as a running panel has it: recording nothing in memory (or its record would
// grow for as long as the lamps blink), appending its writes to the setting's file if it names
// one, and showing its own window once it is open and attached.
std::unique_ptr<BoardLink> makeBoard(const SimulatedSetting &setting, const BoardContext &context)
{
    auto board = std::make_unique<WindowedSimulatedBoard>(setting, context);
    board->setRecord(SimulatedBoard::Record::Nothing);
    if (!setting.record.empty()) {
        const int file = ::open(
                setting.record.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOCTTY | O_CLOEXEC, 0644);
        if (file < 0)
            BoardCall("OpenBoard", 0, 0)
                    .fail("cannot open " + setting.record
                            + " to record the output writes in: " + std::strerror(errno));
        board->recordWritesTo(FileDescriptor(context.calls, file));
    }
    return board;
}

} // namespace meridan
