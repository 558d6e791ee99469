#include <QTest>
class BackFormTest : public QObject {
    Q_OBJECT
};
QTEST_MAIN(BackFormTest)
#include "BackForm_test.moc"
