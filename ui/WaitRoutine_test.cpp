#include "ui/WaitRoutine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <ctime>

namespace qf::ui {

class WaitRoutineTest : public QObject {
    Q_OBJECT

  private slots:
    void waitsLongerThanAskedWhileEventsRun() {
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [&] { ++ticks; });
        ticker.start(10);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(waitMs(100));
        QVERIFY2(clock.elapsed() > 100, qPrintable(QString::number(clock.elapsed())));
        QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));
    }

    // The wait sleeps in the event loop: a busy loop would burn the whole
    // wait in processor time.
    void waitingLeavesTheProcessorIdle() {
        const std::clock_t before = std::clock();
        QVERIFY(waitMs(400));
        const double cpuMs = 1000.0 * static_cast<double>(std::clock() - before) / CLOCKS_PER_SEC;
        QVERIFY2(cpuMs < 100.0, qPrintable(QString::number(cpuMs)));
    }

    void nestedWaitsEachLastTheirTime() {
        QElapsedTimer inner;
        qint64 innerMs = -1;
        QTimer::singleShot(20, this, [&] {
            inner.start();
            waitMs(50);
            innerMs = inner.elapsed();
        });
        QElapsedTimer outer;
        outer.start();
        QVERIFY(waitMs(30));
        QVERIFY(outer.elapsed() > 30);
        QVERIFY(innerMs > 50);
    }

    // Quitting ends every event loop; the wait then returns at once and says
    // so. Runs last: the application stays marked as quitting.
    void quittingCutsTheWaitShort() {
        QTimer::singleShot(20, this, [] { QCoreApplication::exit(0); });
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!waitMs(5000));
        QVERIFY(clock.elapsed() < 2000);
    }
};

}  // namespace qf::ui

QTEST_MAIN(qf::ui::WaitRoutineTest)
#include "WaitRoutine_test.moc"
