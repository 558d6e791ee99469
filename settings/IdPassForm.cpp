#include "settings/IdPassForm.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/Application.h"
#include "app/MainForm.h"
#include "settings/AccountFiles.h"
#include "ui/MessageBoxes.h"

namespace qf::settings {

IdPassForm::IdPassForm(app::Application& app) : m_app(app) {
    setObjectName(QStringLiteral("IdPassForm"));
    setWindowTitle(QStringLiteral("ID/パスワード入力"));

    const Account stored = readAccount(m_app.folder().accountFile());
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

    m_app.centreOnMainWindow(*this);

    connect(OKCommand, &QPushButton::clicked, this, &IdPassForm::confirm);
    connect(CancelCommand, &QPushButton::clicked, this, &QWidget::close);
}

void IdPassForm::confirm() {
    const Account typed{IdText->text().toStdString(), PassText->text().toStdString()};
    m_app.mainForm().setAccount(typed);
    const Status saved = saveAccount(m_app.folder().accountFile(), typed, Check1->isChecked());
    if (!saved.isOk()) {
        app::warn(this, QStringLiteral("ID/パスワードを保存できません。\n%1")
                            .arg(QString::fromStdString(saved.message())));
        return;
    }
    close();
}

}  // namespace qf::settings
