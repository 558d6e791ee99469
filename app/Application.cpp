#include "app/Application.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <QUrl>

#include "app/ButtonActions.h"
#include "app/MainForm.h"
#include "app/SetForm.h"
#include "ui/MessageBoxes.h"

namespace qf::app {
namespace {

QString fromUtf8(const std::string& text) {
    return QString::fromStdString(text);
}

QString folderText(const std::filesystem::path& path) {
    return QDir::toNativeSeparators(fromUtf8(path.string()));
}

}  // namespace

Application::Application(settings::ProgramFolder folder) : m_folder(std::move(folder)) {
    m_pictureFolder = fromUtf8(m_folder.pictureFolder().string());
    if (!QFileInfo(m_pictureFolder).isDir()) {
        m_pictureFolder =
            QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("Data"));
    }
}

Application::~Application() {
    for (auto& [type, window] : m_forms) {
        delete window.data();
    }
    m_mainForm.reset();
}

Status Application::start() {
    if (Status prepared = prepareFolder(); !prepared.isOk()) {
        return prepared;
    }
    m_mailStore = std::make_unique<store::MailStore>(m_folder.dataFolder().string());
    recoverBoxFiles();
    m_mainForm = std::make_unique<MainForm>(*this);
    wireButtons();
    connect(m_mainForm.get(), &MainForm::closing, this, &Application::shutDown);
    // Shown first, so that a settings window the start-up opens comes up above it.
    m_mainForm->show();
    m_mainForm->load();
    return Status::ok();
}

// The folders must exist before the lock file can; the lock must be held
// before anything in the data folder is repaired or created.
Status Application::prepareFolder() {
    if (Status made = m_folder.ensureFolders(); !made.isOk()) {
        warn(nullptr, QStringLiteral("プログラムのフォルダを準備できません。\n%1")
                          .arg(fromUtf8(made.message())));
        return made;
    }
    Result<settings::FolderLock> lock = settings::FolderLock::acquire(m_folder.lockFile());
    if (!lock.isOk()) {
        const QString reason = lock.status().code() == StatusCode::kRefused
                                   ? QStringLiteral(
                                         "このフォルダは別のQuillfernが使用中です。\n%1\n\n"
                                         "先に起動しているQuillfernをお使いください。")
                                   : QStringLiteral("このフォルダを使用できません。\n%1");
        warn(nullptr, reason.arg(folderText(m_folder.root())) +
                          QStringLiteral("\n(%1)").arg(fromUtf8(lock.status().message())));
        return lock.status();
    }
    m_lock.emplace(std::move(lock).value());
    return Status::ok();
}

// A compaction or an append cut short by a crash leaves files that are
// resolved here, before any box is read.
void Application::recoverBoxFiles() {
    const store::RecoveryReport report = store::recoverLeftovers(m_mailStore->dataFolder());
    if (report.actions.empty() && report.status.isOk()) {
        return;
    }
    QStringList lines;
    for (const std::string& action : report.actions) {
        lines << fromUtf8(action);
    }
    if (!report.status.isOk()) {
        lines << fromUtf8(report.status.message());
        warn(nullptr, QStringLiteral("前回の終了時に残ったメールボックスのファイルを修復できません"
                                     "でした。\n%1")
                          .arg(lines.join(QLatin1Char('\n'))));
        return;
    }
    inform(nullptr,
           QStringLiteral("前回の終了時に残ったメールボックスのファイルを修復しました。\n%1")
               .arg(lines.join(QLatin1Char('\n'))));
}

void Application::wireButtons() {
    MainFormActions& actions = m_mainForm->actions();
    actions.compose = [this] { openCompose(*this); };
    actions.receive = [this] { runReceive(*this); };
    actions.addressBook = [this] { openAddressBook(*this); };
    actions.sortingRegistration = [this] { openSortingRegistration(*this); };
    actions.attachments = [this] { openAttachmentBrowser(*this); };
    actions.settings = [this] { showForm<SetForm>(); };
    actions.openBox = [this](int box) { openBox(*this, box); };
    actions.homePage = [] { QDesktopServices::openUrl(QUrl(kHomePageUrl)); };
}

QString Application::picturePath(const QString& name) const {
    return QDir(m_pictureFolder).filePath(name);
}

QWidget* Application::findForm(std::type_index type) const {
    const auto found = m_forms.find(type);
    return found == m_forms.end() ? nullptr : found->second.data();
}

void Application::adoptForm(std::type_index type, QWidget* window) {
    // A closed window is gone; the next use creates and loads it again.
    window->setAttribute(Qt::WA_DeleteOnClose);
    m_forms[type] = window;
}

void Application::bringUp(QWidget& window) {
    if (window.isMinimized()) {
        window.showNormal();
    }
    window.show();
    window.raise();
    window.activateWindow();
}

void Application::centreOnMainWindow(QWidget& window) const {
    window.adjustSize();
    const QRect main = m_mainForm->frameGeometry();
    window.move(main.center() - QPoint(window.width() / 2, window.height() / 2));
}

void Application::closeOtherWindows() {
    for (auto& [type, window] : m_forms) {
        if (!window.isNull()) {
            window->close();
        }
    }
}

void Application::shutDown() {
    closeOtherWindows();
    emit finished();
}

}  // namespace qf::app
