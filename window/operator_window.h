#pragma once

#include "signal/form1.h"
#include "window/blink_rate_bar.h"
#include "window/lamp_box.h"
#include "window/qt_command_button.h"

#include <QWidget>

class QCloseEvent;
class QGroupBox;
class QLabel;
class QPushButton;

namespace meridan {

// The operator window, Form1's face: the frame with the two lamp boxes, the five buttons, the
// blink-rate scroll bar and its labels, at their design positions and in their design styles.
// It builds the controls and forwards each of their events to one procedure of Form1; what the
// panel shows is held by the controls themselves (the boxes' colours, the bar's period).
class OperatorWindow : public QWidget
{
    Q_OBJECT

public:
    explicit OperatorWindow(QWidget *parent = nullptr);

    // The controls that Form1's procedures change or read.
    Form1Controls controls();
    // Binds every click, scroll and the close control to its procedure of `form`.
    void bind(Form1 &form);

    QGroupBox *Frame1 = nullptr;
    LampBox *Picture1 = nullptr;
    LampBox *Picture2 = nullptr;
    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;
    QPushButton *Command3 = nullptr;
    QPushButton *Command4 = nullptr;
    QPushButton *Command5 = nullptr;
    BlinkRateBar *HScroll1 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    Form1 *form = nullptr;
    QtCommandButton command1Button;
    QtCommandButton command2Button;
    QtCommandButton command3Button;
};

} // namespace meridan
