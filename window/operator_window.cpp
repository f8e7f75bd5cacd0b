#include "window/operator_window.h"

#include "window/application_title.h"
#include "window/repaint/repaint_batch.h"
#include "window/twips.h"

#include <QCloseEvent>
#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPalette>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionGroupBox>

namespace meridan {

namespace {

    const QColor kFrameColour(192, 192, 255);
    const QColor kButtonColour(192, 255, 255);

    // Buttons are drawn flat in their design colour: a style's own button (Fusion's gradient)
    // would paint over it, and the face would read near white. The border shows the state that
    // the face no longer does: dark when pressed, blue and wider around the keyboard focus, grey
    // when disabled, with grey text.
    constexpr const char *kButtonStyle = R"(
        QPushButton {
            background-color: rgb(192, 255, 255);
            color: black;
            border: 1px solid rgb(96, 96, 96);
            padding: 1px;
            outline: none;
        }
        QPushButton:focus { border: 2px solid rgb(0, 0, 192); padding: 0px; }
        QPushButton:pressed { border: 2px solid black; padding: 0px; }
        QPushButton:disabled { color: rgb(128, 128, 128); border-color: rgb(160, 160, 160); }
    )";
    constexpr double kFramePoints = 14.25;
    constexpr double kButtonPoints = 12;
    constexpr double kLabelPoints = 9.75;

    QFont arialBold(double points)
    {
        QFont font("Arial");
        font.setPointSizeF(points);
        font.setBold(true);
        return font;
    }

    // The whole window's palette, fixed: the light one that Qt's Fusion style has on a desktop
    // without a theme of its own. A dark desktop palette would otherwise reach every colour the
    // design leaves to the style: the caption's and the labels' text, the scroll bar, the boxes'
    // sunken borders.
    QPalette windowPalette()
    {
        const QColor grey(239, 239, 239), light(Qt::white), dark(159, 159, 159), mid(184, 184, 184);
        QPalette palette(Qt::black, grey, light, dark, mid, Qt::black, Qt::white, Qt::white, grey);
        palette.setColor(QPalette::Midlight, QColor(202, 202, 202));
        palette.setColor(QPalette::Shadow, QColor(118, 118, 118));
        palette.setColor(QPalette::Highlight, QColor(48, 140, 198));
        palette.setColor(QPalette::HighlightedText, Qt::white);
        palette.setColor(QPalette::AlternateBase, QColor(247, 247, 247));
        palette.setColor(QPalette::PlaceholderText, QColor(0, 0, 0, 128));
        const QColor disabledText(190, 190, 190);
        for (const QPalette::ColorRole role :
                { QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::Dark })
            palette.setColor(QPalette::Disabled, role, disabledText);
        palette.setColor(QPalette::Disabled, QPalette::Base, grey);
        palette.setColor(QPalette::Disabled, QPalette::Shadow, QColor(177, 177, 177));
        palette.setColor(QPalette::Disabled, QPalette::Highlight, QColor(145, 145, 145));
        palette.setResolveMask(~QPalette::ResolveMask(0)); // nothing left to the desktop's palette
        return palette;
    }

    // Frame1: its whole inside in the design colour. The style's own group box lays a shading
    // over the inside (RGB(190,190,252) where the design has 192,192,255), against which the
    // labels, filled in the design colour, would show as faint boxes. The frame keeps the style's
    // caption and a plain line where the style draws its border.
    class DesignFrame : public QGroupBox
    {
    public:
        using QGroupBox::QGroupBox;

    protected:
        void paintEvent(QPaintEvent *) override
        {
            QStyleOptionGroupBox option;
            initStyleOption(&option);
            QPainter painter(this);
            QRect border = style()->subControlRect(
                    QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxFrame, this);
            border.setTop(style()->subControlRect(QStyle::CC_GroupBox, &option,
                                         QStyle::SC_GroupBoxLabel, this)
                                  .bottom()
                    + 2); // under the caption, where the style draws its own
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(palette().color(QPalette::Window).darker(110));
            painter.drawRoundedRect(QRectF(border).adjusted(1.5, 0.5, -0.5, -0.5), 2, 2);
            painter.setRenderHint(QPainter::Antialiasing, false);
            option.subControls = QStyle::SC_GroupBoxLabel;
            style()->drawComplexControl(QStyle::CC_GroupBox, &option, &painter, this);
        }
    };

    void fill(QWidget *widget, QPalette::ColorRole role, const QColor &colour)
    {
        QPalette palette = widget->palette();
        palette.setColor(role, colour);
        widget->setPalette(palette);
    }

    LampBox *makeBox(const char *name, QRect place, QWidget *frame)
    {
        auto *box = new LampBox(frame);
        box->setObjectName(name);
        box->setGeometry(place);
        return box;
    }

    QPushButton *makeButton(const char *name, const char *text, QRect place, QWidget *frame)
    {
        auto *button = new QPushButton(text, frame);
        button->setObjectName(name);
        button->setGeometry(place);
        button->setFont(arialBold(kButtonPoints));
        fill(button, QPalette::Button, kButtonColour);
        button->setStyleSheet(kButtonStyle);
        return button;
    }

    QLabel *makeLabel(const char *name, const char *text, QRect place, QWidget *frame)
    {
        auto *label = new QLabel(text, frame);
        label->setObjectName(name);
        label->setGeometry(place);
        label->setFont(arialBold(kLabelPoints));
        label->setAlignment(Qt::AlignCenter);
        label->setAutoFillBackground(true);
        fill(label, QPalette::Window, kFrameColour);
        return label;
    }

    BlinkRateBar *makeScrollBar(QRect place, QWidget *frame)
    {
        auto *bar = new BlinkRateBar(frame);
        bar->setObjectName("HScroll1");
        bar->setGeometry(place);
        bar->setFocusPolicy(Qt::StrongFocus); // in the tab order, and its arrow keys move it
        return bar;
    }

    QGroupBox *makeFrame(QWidget *window)
    {
        auto *frame = new DesignFrame("Turn Signal Control", window);
        frame->setObjectName("Frame1");
        frame->setGeometry(twipsRect(0, 0, 5895, 5265));
        frame->setFont(arialBold(kFramePoints));
        frame->setAutoFillBackground(true);
        fill(frame, QPalette::Window, kFrameColour);
        return frame;
    }

} // namespace

OperatorWindow::OperatorWindow(QWidget *parent)
    : QWidget(parent),
      Frame1(makeFrame(this)),
      Picture1(makeBox("Picture1", twipsRect(525, 630, 1380, 750), Frame1)),
      Picture2(makeBox("Picture2", twipsRect(3675, 630, 1380, 750), Frame1)),
      Command1(makeButton("Command1", "LEFT", twipsRect(630, 1785, 1170, 645), Frame1)),
      Command2(makeButton("Command2", "RIGHT", twipsRect(3780, 1785, 1170, 645), Frame1)),
      Command3(makeButton("Command3", "HAZARD", twipsRect(1890, 2730, 1800, 540), Frame1)),
      Command4(makeButton("Command4", "OFF", twipsRect(2205, 1785, 1170, 645), Frame1)),
      Command5(makeButton("Command5", "END", twipsRect(2520, 3465, 750, 435), Frame1)),
      HScroll1(makeScrollBar(twipsRect(1155, 4410, 3480, 330), Frame1)),
      Label1(makeLabel("Label1", "Set Blink Rate", twipsRect(1155, 4830, 3480, 225), Frame1)),
      Label2(makeLabel("Label2", "Min", twipsRect(525, 4410, 645, 330), Frame1)),
      Label3(makeLabel("Label3", "Max", twipsRect(4620, 4410, 645, 330), Frame1)),
      command1Button(*Command1),
      command2Button(*Command2),
      command3Button(*Command3)
{
    setWindowTitle(kApplicationTitle);
    setPalette(windowPalette());
    Picture1->setAccessibleName("Left lamp");
    Picture2->setAccessibleName("Right lamp");
    HScroll1->setAccessibleName("Blink rate");
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
            | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(twips(5610), twips(5310));

    // The keyboard focus follows the design's tab indices; the boxes and labels take no focus.
    QWidget::setTabOrder(Command1, Command2);
    QWidget::setTabOrder(Command2, Command3);
    QWidget::setTabOrder(Command3, Command4);
    QWidget::setTabOrder(Command4, Command5);
    QWidget::setTabOrder(Command5, HScroll1);
}

Form1Controls OperatorWindow::controls()
{
    return { *Picture1, *Picture2, command1Button, command2Button, command3Button, *HScroll1 };
}

void OperatorWindow::bind(Form1 &target)
{
    form = &target;
    Form1 &f = target;
    // What a handler changes in the window is painted once it has returned: a lamp's box after
    // the tick's board writes, not between the box's colour and its lamp's write.
    f.setHandlerScope([](const std::function<void()> &course) {
        const RepaintBatch batch;
        course();
    });
    connect(Command1, &QPushButton::clicked, this, [&f] { f.dispatch(&Form1::Command1_Click); });
    connect(Command2, &QPushButton::clicked, this, [&f] { f.dispatch(&Form1::Command2_Click); });
    connect(Command3, &QPushButton::clicked, this, [&f] { f.dispatch(&Form1::Command3_Click); });
    connect(Command4, &QPushButton::clicked, this, [&f] { f.dispatch(&Form1::Command4_Click); });
    connect(Command5, &QPushButton::clicked, this, [&f] { f.dispatch(&Form1::Command5_Click); });
    connect(HScroll1, &BlinkRateBar::scrolled, this, [&f] { f.dispatch(&Form1::HScroll1_Scroll); });
    connect(HScroll1, &BlinkRateBar::changed, this, [&f] { f.dispatch(&Form1::HScroll1_Change); });
}

void OperatorWindow::closeEvent(QCloseEvent *event)
{
    if (form == nullptr || form->ended()) {
        event->accept();
        return;
    }
    // Form_Unload darkens the lamps and ends the program, which then closes the window.
    event->ignore();
    form->dispatch(&Form1::Form_Unload);
}

} // namespace meridan
