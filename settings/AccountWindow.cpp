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
#include "ui/PlainText.h"
#include "ui/WindowEnvironment.h"

namespace qf::settings {

AccountWindow::AccountWindow(ui::WindowEnvironment& env) : m_env(env) {
    setObjectName(QStringLiteral("IdPassForm"));
    setWindowTitle(QStringLiteral("ID/パスワード入力"));

    // The password wherever it is kept; an OAuth account shows none.
    const auth::AccountAccess& access = m_env.accountAccess();
    const Account stored{access.account().account.id,
                         access.isOAuth() ? std::string() : access.account().account.password};
    m_id = new QLineEdit(QString::fromStdString(stored.id), this);
    m_id->setObjectName(QStringLiteral("IdText"));
    m_id->setMinimumWidth(220);
    m_password = new QLineEdit(QString::fromStdString(stored.password), this);
    m_password->setObjectName(QStringLiteral("PassText"));
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));  // "*"
    m_keepAccount = new QCheckBox(QStringLiteral("IDパスワードを保存する"), this);
    m_keepAccount->setObjectName(QStringLiteral("Check1"));
    m_keepAccount->setChecked(m_env.accountKeptInFile());
    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setObjectName(QStringLiteral("OKCommand"));
    m_ok->setDefault(true);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("CancelCommand"));

    auto* fields = new QFormLayout;
    ui::addPlainRow(*fields, QStringLiteral("ID"), m_id, this);
    ui::addPlainRow(*fields, QStringLiteral("Password"), m_password, this);
    fields->addRow(QString(), m_keepAccount);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(buttons);

    m_env.centreOnMainWindow(*this);

    // The account in use follows the fields as typed while the window exists.
    showTypedAccount();
    connect(m_id, &QLineEdit::textChanged, this, &AccountWindow::showTypedAccount);
    connect(m_password, &QLineEdit::textChanged, this, &AccountWindow::showTypedAccount);

    connect(m_ok, &QPushButton::clicked, this, &AccountWindow::confirm);
    connect(m_cancel, &QPushButton::clicked, this, &QWidget::close);
    ui::OkCancelKeys::install(*this, m_ok, m_cancel);
}

AccountWindow::~AccountWindow() {
    m_env.held().accountShown.reset();
}

Account AccountWindow::typedAccount() const {
    return {m_id->text().toStdString(), m_password->text().toStdString()};
}

void AccountWindow::showTypedAccount() {
    m_env.held().accountShown = typedAccount();
}

void AccountWindow::confirm() {
    const Account typed = typedAccount();
    // What was typed is what the next receive uses, kept in the file or not.
    m_env.held().account = typed;
    m_env.held().keepAccount = m_keepAccount->isChecked();
    // A kept password goes where the login method keeps secrets (the keyring, say).
    const Status saved = m_keepAccount->isChecked()
                             ? m_env.accountAccess().keep(typed)
                             : saveAccount(m_env.folder().accountFile(), typed, false);
    if (!saved.isOk()) {
        ui::tell(this, ui::Say::kAccountFileNotWritten, {}, saved);
        return;
    }
    close();
}

}  // namespace qf::settings
