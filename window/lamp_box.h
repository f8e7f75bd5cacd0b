#pragma once

#include <QColor>
#include <QFrame>

namespace meridan {

// A lamp's indicator box: a sunken frame filled with one colour. Changing the colour only
// schedules a repaint of the box, which keeps a lamp edge cheap.
class LampBox : public QFrame
{
    Q_OBJECT

public:
    explicit LampBox(QWidget *parent = nullptr);

    QColor colour() const { return fillColour; }
    void setColour(const QColor &colour);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor fillColour { Qt::white };
};

} // namespace meridan
