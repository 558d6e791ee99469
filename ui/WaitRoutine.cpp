#include "ui/WaitRoutine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include "ui/BusyScope.h"

namespace qf::ui {

bool waitMs(int milliseconds) {
    const BusyScope busy;
    QElapsedTimer clock;
    clock.start();
    // The wait is over only when strictly more than the time has passed; a
    // timer may fire on the very millisecond, so wait again for the rest.
    while (clock.elapsed() <= milliseconds) {
        const qint64 remaining = milliseconds - clock.elapsed() + 1;
        QEventLoop loop;
        bool timedOut = false;
        QTimer::singleShot(static_cast<int>(remaining), Qt::PreciseTimer, &loop, [&] {
            timedOut = true;
            loop.quit();
        });
        loop.exec();
        if (!timedOut) {
            return false;  // QCoreApplication::exit() ends nested loops too
        }
    }
    return true;
}

}  // namespace qf::ui
