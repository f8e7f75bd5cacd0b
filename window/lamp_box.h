#pragma once

#include <QColor>
#include <QFrame>
#include <QPixmap>
#include <QString>

#include <vector>

namespace meridan {

// A lamp's indicator box: a sunken frame filled with one colour. Changing the colour only
// schedules a repaint of the box, and the repaint copies a look drawn before: a lamp edge stays
// cheap.
class LampBox : public QFrame
{
    Q_OBJECT

public:
    explicit LampBox(QWidget *parent = nullptr);

    QColor colour() const { return fillColour; }
    void setColour(const QColor &colour);
    // What the box shows, in words, for assistive technology: "dark" until set.
    QString state() const { return stateText; }
    void setState(const QString &state);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    struct Look
    {
        QColor colour;
        QPixmap pixmap;
    };

    QColor fillColour { Qt::white };
    QString stateText { QStringLiteral("dark") };
    // The looks drawn so far (one a colour: two while blinking), for this size, scale and palette.
    std::vector<Look> looks;
    qreal looksRatio = 0;
    QSize looksSize;
    qint64 looksPalette = 0;
};

} // namespace meridan
