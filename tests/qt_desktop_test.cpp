#include "signal/form1.h"
#include "window/qt_desktop.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

namespace meridan::testing {
namespace {

    struct SeenBox
    {
        QString title, text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        bool modal = false;
    };

    // Runs `show` and reads the message box it opens, then presses its OK button.
    template <class Show> SeenBox seeBox(Show show)
    {
        SeenBox seen;
        QTimer::singleShot(0, [&seen] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            seen = { box->windowTitle(), box->text(), box->icon(), box->standardButtons(),
                box->isModal() };
            box->button(QMessageBox::Ok)->click();
        });
        show();
        return seen;
    }

    TEST(QtDesktopTest, TheStartUpMessageHasTheTitleTheTextAndOnlyOk)
    {
        QtDesktop desktop;
        const SeenBox seen = seeBox([&] { desktop.showMessage(kNotPluggedIn); });
        EXPECT_EQ(seen.title, "Meridan");
        EXPECT_EQ(seen.text, "THE PHIDGET CONTROLLER IS NOT PLUGGED IN");
        EXPECT_EQ(seen.icon, QMessageBox::NoIcon);
        EXPECT_EQ(seen.buttons, QMessageBox::Ok);
        EXPECT_TRUE(seen.modal);
    }

    TEST(QtDesktopTest, ARunTimeErrorIsReportedInABoxAndEndsWithStatusTwo)
    {
        QtDesktop desktop;
        const SeenBox seen = seeBox([&] {
            desktop.reportRunTimeError(
                    "SetOutputLevel(1, 100) failed: board not attached", Audience::Operator);
        });
        EXPECT_EQ(seen.title, "Meridan");
        EXPECT_EQ(seen.text, "Run-time error: SetOutputLevel(1, 100) failed: board not attached");
        EXPECT_EQ(seen.buttons, QMessageBox::Ok);
        EXPECT_FALSE(desktop.exitStatus().has_value());
        desktop.endProgram(ExitStatus::RunTimeError);
        EXPECT_EQ(desktop.exitStatus(), ExitStatus::RunTimeError);
        // QCoreApplication::exit() with no event loop running ends every later loop of this
        // process at once (the later tests' modal boxes among them); the application's own loop,
        // run to its end, clears that.
        QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
        QCoreApplication::exec();
    }

} // namespace
} // namespace meridan::testing
