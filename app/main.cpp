// Quillfern: starts the application object on the program folder and runs
// until the main window closes.
#include <QApplication>
#include <QDir>
#include <QFont>
#include <QFontDatabase>

#include "app/Application.h"
#include "app/QtTranslations.h"
#include "attachments/WebEngineStart.h"
#include "settings/ProgramFolder.h"
#include "text/Cp932.h"
#include "ui/MessageBoxes.h"

namespace {

// Japanese text reads best in a Japanese face; fontconfig's fallback may
// choose Chinese forms of shared characters.
void preferJapaneseFont() {
    const QString family = QStringLiteral("Noto Sans CJK JP");
    if (QFontDatabase::families().contains(family)) {
        QFont font = QApplication::font();
        font.setFamilies({family});
        QApplication::setFont(font);
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    // The attachment browser's web view needs this before the application.
    qf::attachments::prepareWebEngine();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillfern"));
    // The program ends with its main window, not with its last window.
    QApplication::setQuitOnLastWindowClosed(false);
    preferJapaneseFont();

    // Qt's own buttons and menus in the system's language (Japanese on a
    // bare C locale), before the first message box.
    qf::app::installQtTranslations(application);

    if (!qf::text::cp932ConversionAvailable()) {
        qf::ui::tell(nullptr, qf::ui::Say::kNoCp932);
        return 1;
    }
    qf::Result<qf::settings::ProgramFolder> folder = qf::settings::ProgramFolder::locate();
    if (!folder.isOk()) {
        qf::ui::tell(nullptr, qf::ui::Say::kNoProgramFolder, {},
                     QString::fromStdString(folder.status().message()));
        return 1;
    }
    // Started from a desktop entry or a terminal, the current folder is any
    // folder; the attachment browser's lists start at the program folder.
    QDir::setCurrent(QString::fromStdString(folder.value().root().string()));

    qf::app::Application app(std::move(folder).value());
    QObject::connect(&app, &qf::app::Application::finished, &application, &QApplication::quit,
                     Qt::QueuedConnection);
    if (!app.start().isOk()) {
        return 1;
    }
    return QApplication::exec();
}
