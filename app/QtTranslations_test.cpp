// Qt's own texts in Japanese on a bare C locale and on a Japanese one, the
// clock in the system's form. Run twice by CTest: with LC_ALL=C and with
// LC_ALL=ja_JP.UTF-8.
#include "app/QtTranslations.h"

#include <QLibraryInfo>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTest>

#include "app/TestApplication.h"
#include "ui/TestControls.h"

namespace qf::app {

class QtTranslationsTest : public QObject {
    Q_OBJECT

  private slots:
    void choosesTheLanguageOfQtsTexts() {
        const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
        QCOMPARE(qtTextLocaleFor(QLocale::c(), folder).language(), QLocale::Japanese);
        QCOMPARE(qtTextLocaleFor(QLocale(QLocale::German, QLocale::Germany), folder).language(),
                 QLocale::German);
        QCOMPARE(
            qtTextLocaleFor(QLocale(QLocale::English, QLocale::UnitedKingdom), folder).language(),
            QLocale::English);
        // A language Qt has no texts for.
        QCOMPARE(qtTextLocaleFor(QLocale(QLocale::Zulu, QLocale::SouthAfrica), folder).language(),
                 QLocale::Japanese);
    }

    // The buttons of a message box, and the clock as the system writes dates.
    void installsJapaneseButtonsAndKeepsTheSystemsClock() {
        const QLocale system = QLocale::system();
        QVERIFY2(system.language() == QLocale::C || system.language() == QLocale::Japanese,
                 qPrintable(system.name()));
        QCOMPARE(installQtTranslations(*QCoreApplication::instance()).language(),
                 QLocale::Japanese);
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"),
                 QStringLiteral("キャンセル"));

        testing::TestApplication started([](testing::WindowTestFolder& folder) {
            folder.write(QStringLiteral("corvid.ini"), "POP3=127.0.0.1:1\r\n");
        });
        const QString clock =
            ui::testing::control<QLineEdit>(started.mainWindow(), "Text18")->text();
        // Japanese: 2026/12/08 9:05:03; C: the C locale's own short form.
        const QString pattern =
            system.language() == QLocale::Japanese
                ? QStringLiteral("^\\d{4}/\\d{2}/\\d{2} \\d{1,2}:\\d{2}:\\d{2}$")
                : QStringLiteral("^\\d{1,2} [A-Z][a-z]{2} \\d{4} \\d{2}:\\d{2}:\\d{2}$");
        QVERIFY2(QRegularExpression(pattern).match(clock).hasMatch(), qPrintable(clock));
    }
};

}  // namespace qf::app

QTEST_MAIN(qf::app::QtTranslationsTest)
#include "QtTranslations_test.moc"
