// Quillfern: starts the application object on the program folder and runs
// until the main window closes.
#include <QApplication>
#include <QDir>
#include <QFont>
#include <QFontDatabase>
#include <QIcon>
#include <QStringList>
#include <iostream>
#include <optional>
#include <string_view>

#include "app/Application.h"
#include "app/LinkRelay.h"
#include "app/QtTranslations.h"
#include "attachments/WebEngineStart.h"
#include "compose/MailtoLink.h"
#include "settings/ProgramFolder.h"
#include "text/Cp932.h"
#include "ui/MessageBoxes.h"

namespace {

// Japanese text reads best in a Japanese face; fontconfig's fallback may
// choose Chinese forms of shared characters. An emoji the face lacks comes
// from the colour emoji font where the desktop has one, not from the first
// font fontconfig finds with a black-and-white glyph for it.
void preferJapaneseFont() {
    const QString family = QStringLiteral("Noto Sans CJK JP");
    const QString emoji = QStringLiteral("Noto Color Emoji");
    const QStringList installed = QFontDatabase::families();
    if (installed.contains(family)) {
        QFont font = QApplication::font();
        QStringList families{family};
        if (installed.contains(emoji)) {
            families.append(emoji);
        }
        font.setFamilies(families);
        QApplication::setFont(font);
    }
}

// The program's leaf, in every size the window system may ask for.
QIcon programIcon() {
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        icon.addFile(QStringLiteral(":/icons/%1/quillfern.png").arg(size), QSize(size, size));
    }
    return icon;
}

// `quillfern mailto:…` as a desktop entry starts it (Exec=quillfern %u);
// any other argument is no link and is left alone.
QString mailtoArgument(const QStringList& arguments) {
    for (const QString& argument : arguments.mid(1)) {
        if (qf::compose::isMailtoLink(argument.toStdString())) {
            return argument;
        }
    }
    return {};
}

// --help and --version answer on the terminal, with no display and no
// program folder: they are read before anything starts.
std::optional<int> answerOnTerminal(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            std::cout << "Usage: quillfern [mailto:LINK]\n\n"
                         "Quillfern, an e-mail client for one POP3 account: it fetches the mail,\n"
                         "sorts it into boxes by sender and sends mail over SMTP.\n\n"
                         "  mailto:LINK   opens the compose window filled from the link; a\n"
                         "                Quillfern already running on the folder takes it\n"
                         "  --help, -h    shows this text\n"
                         "  --version     shows the version\n\n"
                         "The mail is kept in $XDG_DATA_HOME/Quillfern (usually\n"
                         "~/.local/share/Quillfern) once installed; QUILLFERN_FOLDER names\n"
                         "another folder. See quillfern(1) and quillfern-box(1).\n";
            return 0;
        }
        if (argument == "--version") {
            std::cout << "quillfern " QF_VERSION "\n";
            return 0;
        }
    }
    return std::nullopt;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (const std::optional<int> answered = answerOnTerminal(argc, argv)) {
        return *answered;
    }
    // The attachment browser's web view needs this before the application.
    qf::attachments::prepareWebEngine();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillfern"));
    // The program ends with its main window, not with its last window.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(programIcon());
    QApplication::setDesktopFileName(QStringLiteral("quillfern"));
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
        qf::ui::tell(nullptr, qf::ui::Say::kNoProgramFolder, {}, folder.status());
        return 1;
    }

    // A program already on this folder takes the link, or comes to the front
    // when there is none, and this start is done. Another user's program or
    // a foreign lock takes neither: the start below says the folder is in use.
    const QString link = mailtoArgument(QApplication::arguments());
    if (link.isEmpty()) {
        if (qf::app::askToShow(folder.value()) == qf::app::LinkDelivery::kDelivered) {
            return 0;
        }
    } else {
        switch (qf::app::deliverLink(folder.value(), link)) {
            case qf::app::LinkDelivery::kDelivered:
                return 0;
            case qf::app::LinkDelivery::kFailed:
                qf::ui::tell(nullptr, qf::ui::Say::kLinkNotHandedOver,
                             {QString::fromStdString(folder.value().root().string())});
                return 1;
            case qf::app::LinkDelivery::kNotRunning:
                break;
        }
    }

    qf::app::Application app(std::move(folder).value());
    QObject::connect(&app, &qf::app::Application::finished, &application, &QApplication::quit,
                     Qt::QueuedConnection);
    if (!app.start().isOk()) {
        return 1;
    }
    // Started from a desktop entry or a terminal, the current folder is any
    // folder; the attachment browser's lists start at the program folder,
    // which the start has just made when it was missing.
    QDir::setCurrent(QString::fromStdString(app.folder().root().string()));
    if (!link.isEmpty()) {
        app.openMailLink(link);
    }
    return QApplication::exec();
}
