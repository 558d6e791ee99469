#include "app/SettingsMenu.h"

#include <QPushButton>
#include <QVBoxLayout>

#include "app/MainLayout.h"
#include "app/MainWindow.h"
#include "auth/SignInWindow.h"
#include "settings/AccountWindow.h"
#include "settings/ServerSettingsWindow.h"
#include "ui/OkCancelKeys.h"
#include "ui/WindowEnvironment.h"

namespace qf::app {

SettingsMenu::SettingsMenu(ui::WindowEnvironment& env) {
    setObjectName(QStringLiteral("SetForm"));
    setWindowTitle(QStringLiteral("設定"));
    m_accountButton = new QPushButton(QStringLiteral("ID/PASS"), this);
    m_accountButton->setObjectName(QStringLiteral("Command1"));
    m_serverButton = new QPushButton(QStringLiteral("POPサーバー"), this);
    m_serverButton->setObjectName(QStringLiteral("Command2"));
    m_loginMethodButton = new QPushButton(QStringLiteral("ログイン方式"), this);
    m_loginMethodButton->setObjectName(QStringLiteral("Command3"));
    auto* buttons = new QVBoxLayout(this);
    buttons->addWidget(m_accountButton);
    buttons->addWidget(m_serverButton);
    buttons->addWidget(m_loginMethodButton);
    setFixedWidth(twipsToPixels(3000));

    connect(m_accountButton, &QPushButton::clicked, this,
            [&env] { env.showForm<settings::AccountWindow>(); });
    connect(m_serverButton, &QPushButton::clicked, this,
            [&env] { env.showForm<settings::ServerSettingsWindow>(); });
    connect(m_loginMethodButton, &QPushButton::clicked, this,
            [&env] { env.showForm<auth::SignInWindow>(); });
    // Return presses the button at the keyboard; Esc closes the menu.
    ui::OkCancelKeys::install(*this, nullptr, nullptr);

    const QPoint corner = env.mainWindow().window().pos();
    move(corner.x() + twipsToPixels(mainlayout::kSettingsOffsetX),
         corner.y() + twipsToPixels(mainlayout::kSettingsOffsetY));
}

}  // namespace qf::app
