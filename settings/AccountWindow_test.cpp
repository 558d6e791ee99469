#include "settings/AccountWindow.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTest>

#include "app/TestApplication.h"
#include "settings/AccountFiles.h"
#include "settings/ProfileFile.h"

namespace qf::settings {
namespace {

using app::testing::TestApplication;
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
        QCOMPARE(form.m_id->text(), QStringLiteral("taro"));
        QCOMPARE(form.m_password->text(), QStringLiteral("secret"));
        QCOMPARE(form.m_password->echoMode(), QLineEdit::Password);
        QCOMPARE(form.m_password->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr,
                                                     form.m_password),
                 int('*'));
        QVERIFY(!form.m_keepAccount->isChecked());
    }

    void uncheckedKeepsTheStoredAccountAndRecordsTheChoice() {
        TestApplication started(storeAccount);
        AccountWindow& form = started.app->showForm<AccountWindow>();
        retype(form.m_id, QStringLiteral("jiro"));
        retype(form.m_password, QStringLiteral("hunter2"));
        QTest::mouseClick(form.m_ok, Qt::LeftButton);

        QCOMPARE(storedKey(started, "NAME"), std::string("taro"));
        QCOMPARE(storedKey(started, "NAME2"), std::string("secret"));
        QCOMPARE(storedKey(started, "NAME3"), std::string("0"));
        QCOMPARE(started.app->held().account, std::optional(Account{"jiro", "hunter2"}));
        QVERIFY(!started.app->held().keepAccount);
        QVERIFY(!form.isVisible());
    }

    void checkedStoresTheTypedAccount() {
        TestApplication started;
        AccountWindow& form = started.app->showForm<AccountWindow>();
        QCOMPARE(form.m_id->text(), QString());  // no account file yet
        retype(form.m_id, QStringLiteral("jiro"));
        retype(form.m_password, QStringLiteral("hunter2"));
        form.m_keepAccount->setChecked(true);
        QTest::mouseClick(form.m_ok, Qt::LeftButton);

        QCOMPARE(readAccount(started.folder.programFolder().accountFile()),
                 (Account{"jiro", "hunter2"}));
        QCOMPARE(storedKey(started, "NAME3"), std::string("1"));
    }

    void cancellingChangesNothing() {
        TestApplication started;
        AccountWindow& form = started.app->showForm<AccountWindow>();
        retype(form.m_id, QStringLiteral("jiro"));
        form.m_keepAccount->setChecked(true);
        QTest::mouseClick(form.m_cancel, Qt::LeftButton);
        QVERIFY(!started.folder.exists(QStringLiteral("★MAilData/iniIdPass.ini")));
        QVERIFY(!started.app->held().account);
        QVERIFY(!form.isVisible());
    }
};

}  // namespace qf::settings

QTEST_MAIN(qf::settings::AccountWindowTest)
#include "AccountWindow_test.moc"
