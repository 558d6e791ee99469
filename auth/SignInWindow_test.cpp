// The login-method window on a desktop without a keyring (the window tests
// run with no session bus): the sign-in runs as a job against the local
// provider while the window keeps answering, and the refresh token ends up
// where the user chose.
#include "auth/SignInWindow.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include "app/TestApplication.h"
#include "auth/AccountAccess.h"
#include "settings/ProfileFile.h"
#include "tests/support/LocalProvider.h"

namespace qf::auth {

using app::testing::TestApplication;

class SignInWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void signsInThroughTheBrowserAndKeepsTheTokenInTheChosenFile() {
        testing::LocalProvider provider;
        QVERIFY(provider.port() > 0);
        const std::string browser =
            std::string(std::getenv("QF_SOURCE_DIR")) + "/tests/servers/fetch_and_follow.sh";
        qputenv("QUILLFERN_BROWSER", QByteArray::fromStdString(browser));
        TestApplication started([&provider](ui::testing::WindowTestFolder& folder) {
            QDir().mkpath(folder.path(QStringLiteral("★MAilData")));
            const settings::ProgramFolder program = folder.programFolder();
            QVERIFY(settings::saveAccount(program.accountFile(), {"qftest", ""}, true).isOk());
            AuthSettings generic;
            generic.provider.authorizeUrl = provider.url("/authorize");
            generic.provider.tokenUrl = provider.url("/token");
            QVERIFY(writeAuthSettings(authFile(program), generic).isOk());
            QVERIFY(settings::writeProfileString(authFile(program), kAuthSection, "CLIENT_ID",
                                                 "quillfern-test-client")
                        .isOk());
        });
        SignInWindow& form = started.app->showForm<SignInWindow>();
        QCOMPARE(form.m_state->text(), ui::words(ui::Say::kSignInNoKeyring, {}, QString()));
        QVERIFY(!form.m_signInButton->isEnabled());  // a password account

        form.m_oauthOption->setChecked(true);
        form.m_secretPlace->setCurrentIndex(1);  // the file
        QTest::mouseClick(form.m_signInButton, Qt::LeftButton);
        QVERIFY(!form.m_signInButton->isEnabled());  // while the job runs
        QTRY_COMPARE_WITH_TIMEOUT(form.m_state->text(),
                                  ui::words(ui::Say::kSignInDone, {}, QString()), 20000);

        const settings::ProgramFolder program = started.folder.programFolder();
        const AuthSettings stored = readAuthSettings(authFile(program));
        QCOMPARE(stored.kind, AccountKind::kOAuth);
        QCOMPARE(stored.secretPlace, std::string("file"));
        AccountAccess access(program, std::string());
        QVERIFY(access.account().account.password.starts_with("rt-"));
        QVERIFY(access.accessToken().isOk());

        // Back to a password: the refresh token must never go out as one.
        form.m_passwordOption->setChecked(true);
        QTest::mouseClick(form.m_okButton, Qt::LeftButton);
        QVERIFY(AccountAccess(program, std::string()).account().account.password.empty());
    }

    // A preset fills only the servers the user left empty, and says which.
    void aPresetFillsTheEmptyServerAndKeepsTheTypedOne() {
        const QByteArray typed = "SMTP=smtp.example.jp\r\nPOP3=\r\nMAIL=\r\nAPOP=0\r\n";
        TestApplication started([&typed](ui::testing::WindowTestFolder& folder) {
            folder.write(QStringLiteral("corvid.ini"), typed);
        });
        SignInWindow& form = started.app->showForm<SignInWindow>();
        QSignalSpy announced(&started.app->environment(),
                             &ui::WindowEnvironment::serverSettingsChanged);
        form.m_oauthOption->setChecked(true);
        form.m_provider->setCurrentIndex(0);  // Google
        QTest::mouseClick(form.m_okButton, Qt::LeftButton);

        const QByteArray filled =
            "SMTP=smtp.example.jp\r\nPOP3=pop3s://pop.gmail.com\r\nMAIL=\r\nAPOP=0\r\n";
        QCOMPARE(started.folder.read(QStringLiteral("corvid.ini")), filled);
        QCOMPARE(started.app->held().server.pop3, std::string("pop3s://pop.gmail.com"));
        QCOMPARE(announced.count(), 1);
        QVERIFY(form.isVisible());  // open, so the state line can be read
        QCOMPARE(form.m_state->text(),
                 ui::words(ui::Say::kSignInServersFilled,
                           {QStringLiteral("POP3 pop3s://pop.gmail.com")}, QString()));

        // Both set now: nothing more is written, and the window closes.
        QTest::mouseClick(form.m_okButton, Qt::LeftButton);
        QCOMPARE(started.folder.read(QStringLiteral("corvid.ini")), filled);
        QCOMPARE(announced.count(), 1);
        QTRY_VERIFY(started.app->existingForm<SignInWindow>() == nullptr);
    }
};

}  // namespace qf::auth

QTEST_MAIN(qf::auth::SignInWindowTest)
#include "SignInWindow_test.moc"
