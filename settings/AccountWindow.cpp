#include "settings/AccountWindow.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "settings/AccountFiles.h"
#include "ui/MessageBoxes.h"
#include "ui/OkCancelKeys.h"
#include "ui/WindowEnvironment.h"

namespace qf::settings {

AccountWindow::AccountWindow(ui::WindowEnvironment& env) : m_env(env) {
    setObjectName(QStringLiteral("AccountWindow"));
    setWindowTitle(QStringLiteral("ID/パスワード入力"));

    // The password wherever it is kept; an OAuth account shows none.
    const auth::AccountAccess& access = m_env.accountAccess();
    const Account stored{access.account().account.id,
                         access.isOAuth() ? std::string() : access.account().account.password};
    IdText = new QLineEdit(QString::fromStdString(stored.id), this);
    IdText->setObjectName(QStringLiteral("IdText"));
    IdText->setMinimumWidth(220);
    PassText = new QLineEdit(QString::fromStdString(stored.password), this);
    PassText->setObjectName(QStringLiteral("PassText"));
    PassText->setEchoMode(QLineEdit::Password);
    PassText->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));  // "*"
    Check1 = new QCheckBox(QStringLiteral("IDパスワードを保存する"), this);
    Check1->setObjectName(QStringLiteral("Check1"));
    OKCommand = new QPushButton(QStringLiteral("OK"), this);
    OKCommand->setObjectName(QStringLiteral("OKCommand"));
    OKCommand->setDefault(true);
    CancelCommand = new QPushButton(QStringLiteral("Cancel"), this);
    CancelCommand->setObjectName(QStringLiteral("CancelCommand"));

    auto* fields = new QFormLayout;
    fields->addRow(QStringLiteral("ID"), IdText);
    fields->addRow(QStringLiteral("Password"), PassText);
    fields->addRow(QString(), Check1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKCommand);
    buttons->addWidget(CancelCommand);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(buttons);

    m_env.centreOnMainWindow(*this);

    // The account in use follows the fields as typed while the window exists.
    showTypedAccount();
    connect(IdText, &QLineEdit::textChanged, this, &AccountWindow::showTypedAccount);
    connect(PassText, &QLineEdit::textChanged, this, &AccountWindow::showTypedAccount);

    connect(OKCommand, &QPushButton::clicked, this, &AccountWindow::confirm);
    connect(CancelCommand, &QPushButton::clicked, this, &QWidget::close);
    ui::OkCancelKeys::install(*this, OKCommand, CancelCommand);
}

AccountWindow::~AccountWindow() {
    m_env.held().accountShown.reset();
}

Account AccountWindow::typedAccount() const {
    return {IdText->text().toStdString(), PassText->text().toStdString()};
}

void AccountWindow::showTypedAccount() {
    m_env.held().accountShown = typedAccount();
}

void AccountWindow::confirm() {
    const Account typed = typedAccount();
    // What was typed is what the next receive uses, kept in the file or not.
    m_env.held().account = typed;
    m_env.held().keepAccount = Check1->isChecked();
    // A kept password goes where the login method keeps secrets (the keyring, say).
    const Status saved = Check1->isChecked()
                             ? m_env.accountAccess().keep(typed)
                             : saveAccount(m_env.folder().accountFile(), typed, false);
    if (!saved.isOk()) {
        ui::tell(this, ui::Say::kAccountFileNotWritten, {},
                 QString::fromStdString(saved.message()));
        return;
    }
    close();
}

}  // namespace qf::settings
