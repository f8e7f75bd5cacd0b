#include "window/qt_desktop.h"

#include "window/application_title.h"
#include "window/repaint/repaint_batch.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QString>

#include <iostream>

namespace meridan {

namespace {

    void showModal(QMessageBox::Icon icon, std::string_view text)
    {
        // A tick's or a switch's handler that reports an error here has coloured the boxes: they
        // show it while the box waits.
        RepaintBatch::repaintNow();
        QMessageBox box(icon, kApplicationTitle,
                QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                QMessageBox::Ok);
        box.exec();
    }

} // namespace

void QtDesktop::showMessage(std::string_view text)
{
    showModal(QMessageBox::NoIcon, text);
}

void QtDesktop::reportRunTimeError(std::string_view message, Audience audience)
{
    std::string text = "Run-time error: ";
    text += message;
    warn(text);
    if (audience == Audience::Operator && !displayGone)
        showModal(QMessageBox::Critical, text);
}

void QtDesktop::warn(std::string_view line)
{
    std::cerr << "meridan: " << line << std::endl;
}

void QtDesktop::endProgram(ExitStatus endedWith)
{
    status = endedWith;
    QCoreApplication::exit(static_cast<int>(endedWith));
}

} // namespace meridan
