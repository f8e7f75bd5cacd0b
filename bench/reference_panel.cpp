// meridan-reference-panel [V]: the least a Qt Widgets program does to blink two lamps' boxes in
// hazard at V ms (200 unless given), the yardstick of the panel's CPU cost. One window with two
// boxes coloured through their palettes, one timerfd armed with absolute deadlines and watched by
// the event loop, and the panel's phases: both lit V ms after the start for V/2 ms, then dark for
// V ms, and so on. Qt as it comes: its default event dispatcher, style and platform. No board.

#include <QApplication>
#include <QFrame>
#include <QPalette>
#include <QSocketNotifier>
#include <QWidget>

#include <cstdint>
#include <cstdlib>
#include <ctime>

#include <sys/timerfd.h>
#include <unistd.h>

namespace {

void colour(QFrame &box, const QColor &colour)
{
    QPalette palette = box.palette();
    palette.setColor(QPalette::Window, colour);
    box.setPalette(palette);
}

QFrame *makeBox(QWidget &window, int x)
{
    auto *box = new QFrame(&window);
    box->setGeometry(x, 42, 92, 50);
    box->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    box->setAutoFillBackground(true);
    colour(*box, Qt::white);
    return box;
}

timespec later(timespec moment, long milliseconds)
{
    moment.tv_nsec += milliseconds * 1000000L;
    moment.tv_sec += moment.tv_nsec / 1000000000L;
    moment.tv_nsec %= 1000000000L;
    return moment;
}

} // namespace

int main(int argc, char **argv)
{
    const long period = argc > 1 ? std::atol(argv[1]) : 200;
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle("Meridan reference panel");
    window.setFixedSize(374, 354);
    QFrame *left = makeBox(window, 35);
    QFrame *right = makeBox(window, 245);

    const int timer = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (timer < 0)
        return 1;
    timespec due {};
    ::clock_gettime(CLOCK_MONOTONIC, &due);
    bool lit = false;
    const auto arm = [&] {
        due = later(due, lit ? period / 2 : period);
        const itimerspec setting { {}, due };
        ::timerfd_settime(timer, TFD_TIMER_ABSTIME, &setting, nullptr);
    };
    QSocketNotifier notifier(timer, QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        std::uint64_t expirations = 0;
        if (::read(timer, &expirations, sizeof expirations) != sizeof expirations)
            return;
        lit = !lit;
        colour(*left, lit ? Qt::green : Qt::white);
        colour(*right, lit ? Qt::green : Qt::white);
        arm();
    });
    arm();
    window.show();
    return QApplication::exec();
}
