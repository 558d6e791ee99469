#include "app/SetForm.h"

#include <QPushButton>
#include <QVBoxLayout>

#include "app/MainForm.h"
#include "app/MainLayout.h"
#include "settings/IdPassForm.h"
#include "settings/OptionForm.h"
#include "ui/OkCancelKeys.h"
#include "ui/WindowEnvironment.h"

namespace qf::app {

SetForm::SetForm(ui::WindowEnvironment& env) {
    setObjectName(QStringLiteral("SetForm"));
    setWindowTitle(QStringLiteral("設定"));
    Command1 = new QPushButton(QStringLiteral("ID/PASS"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command2 = new QPushButton(QStringLiteral("POPサーバー"), this);
    Command2->setObjectName(QStringLiteral("Command2"));
    auto* buttons = new QVBoxLayout(this);
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);
    setFixedWidth(twipsToPixels(3000));

    connect(Command1, &QPushButton::clicked, this,
            [&env] { env.showForm<settings::IdPassForm>(); });
    connect(Command2, &QPushButton::clicked, this,
            [&env] { env.showForm<settings::OptionForm>(); });
    // Return presses the button at the keyboard; Esc closes the menu.
    ui::OkCancelKeys::install(*this, nullptr, nullptr);

    const QPoint corner = env.mainWindow().window().pos();
    move(corner.x() + twipsToPixels(mainlayout::kSettingsOffsetX),
         corner.y() + twipsToPixels(mainlayout::kSettingsOffsetY));
}

}  // namespace qf::app
