#include "settings/AccountWindow.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTest>

#include "app/TestApplication.h"
#include "settings/AccountFiles.h"
#include "settings/ProfileFile.h"
#include "ui/TestControls.h"

namespace qf::settings {
namespace {

using app::testing::TestApplication;
using ui::testing::control;
using ui::testing::WindowTestFolder;

void storeAccount(WindowTestFolder& folder) {
    QDir().mkpath(folder.path(QStringLiteral("★MAilData")));
    QVERIFY(saveAccount(folder.programFolder().accountFile(), {"taro", "secret"}, true).isOk());
}

std::string storedKey(TestApplication& started, const char* key) {
    return getProfileString(started.folder.programFolder().accountFile(), kExeIniSection, key, "",
                            kProfileBufferChars);
}

void retype(QLineEdit* box, const QString& text) {
    box->clear();
    QTest::keyClicks(box, text);
}

}  // namespace

class AccountWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void opensWithTheStoredAccountAndMasksThePassword() {
        TestApplication started(storeAccount);
        AccountWindow& form = started.app->showForm<AccountWindow>();
        QCOMPARE(form.windowTitle(), QStringLiteral("ID/パスワード入力"));
        QCOMPARE(control<QLineEdit>(form, "IdText")->text(), QStringLiteral("taro"));
        QCOMPARE(control<QLineEdit>(form, "PassText")->text(), QStringLiteral("secret"));
        QCOMPARE(control<QLineEdit>(form, "PassText")->echoMode(), QLineEdit::Password);
        QCOMPARE(control<QLineEdit>(form, "PassText")
                     ->style()
                     ->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr,
                                 control<QLineEdit>(form, "PassText")),
                 int('*'));
        QVERIFY(control<QCheckBox>(form, "Check1")->isChecked());  // the file keeps them
    }

    void uncheckedLeavesNoPasswordInTheFileAndOpensUncheckedAgain() {
        TestApplication started(storeAccount);
        AccountWindow& form = started.app->showForm<AccountWindow>();
        retype(control<QLineEdit>(form, "IdText"), QStringLiteral("jiro"));
        retype(control<QLineEdit>(form, "PassText"), QStringLiteral("hunter2"));
        QTest::mouseClick(control<QCheckBox>(form, "Check1"), Qt::LeftButton);
        QTest::mouseClick(control<QPushButton>(form, "OKCommand"), Qt::LeftButton);

        QCOMPARE(storedKey(started, "NAME"), std::string("taro"));
        QCOMPARE(storedKey(started, "NAME2"), std::string());
        QCOMPARE(storedKey(started, "NAME3"), std::string("0"));
        QCOMPARE(started.app->held().account, std::optional(Account{"jiro", "hunter2"}));
        QVERIFY(!started.app->held().keepAccount);
        QVERIFY(!form.isVisible());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!control<QCheckBox>(started.app->showForm<AccountWindow>(), "Check1")->isChecked());
    }

    void checkedStoresTheTypedAccount() {
        TestApplication started;
        AccountWindow& form = started.app->showForm<AccountWindow>();
        QCOMPARE(control<QLineEdit>(form, "IdText")->text(), QString());  // no account file yet
        retype(control<QLineEdit>(form, "IdText"), QStringLiteral("jiro"));
        retype(control<QLineEdit>(form, "PassText"), QStringLiteral("hunter2"));
        control<QCheckBox>(form, "Check1")->setChecked(true);
        QTest::mouseClick(control<QPushButton>(form, "OKCommand"), Qt::LeftButton);

        QCOMPARE(readAccount(started.folder.programFolder().accountFile()),
                 (Account{"jiro", "hunter2"}));
        QCOMPARE(storedKey(started, "NAME3"), std::string("1"));
    }

    void cancellingChangesNothing() {
        TestApplication started;
        AccountWindow& form = started.app->showForm<AccountWindow>();
        retype(control<QLineEdit>(form, "IdText"), QStringLiteral("jiro"));
        control<QCheckBox>(form, "Check1")->setChecked(true);
        QTest::mouseClick(control<QPushButton>(form, "CancelCommand"), Qt::LeftButton);
        QVERIFY(!started.folder.exists(QStringLiteral("★MAilData/iniIdPass.ini")));
        QVERIFY(!started.app->held().account);
        QVERIFY(!form.isVisible());
    }
};

}  // namespace qf::settings

QTEST_MAIN(qf::settings::AccountWindowTest)
#include "AccountWindow_test.moc"
