#include "app/Application.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPoint>
#include <QProcess>
#include <QUrl>

#include "addressbook/AddressBookWindow.h"
#include "addressbook/SortingWindow.h"
#include "app/LinkRelay.h"
#include "app/MainWindow.h"
#include "app/SettingsMenu.h"
#include "attachments/AttachmentBrowser.h"
#include "compose/ComposeWindow.h"
#include "compose/MailtoLink.h"
#include "compose/ReplyWindow.h"
#include "receive/CheckTimer.h"
#include "receive/DesktopNotifier.h"
#include "receive/ReceiveWindows.h"
#include "receive/SeenList.h"
#include "settings/FolderOwner.h"
#include "store/Originals.h"
#include "ui/MessageBoxes.h"
#include "ui/TextConversion.h"
#include "ui/WindowPlacement.h"
#include "viewer/BoxOpening.h"
#include "viewer/SearchWindow.h"
#include "viewer/ViewerBoxes.h"
#include "viewer/ViewerWindow.h"
#include "words/Controls.h"
#include "words/RepairWords.h"

namespace qf::app {
namespace {

using ui::fromUtf8;

// A folder as a message names it: a folder's name may hold any byte, and
// control characters would only garble the message.
QString folderText(const std::filesystem::path& path) {
    return QDir::toNativeSeparators(fromUtf8(ui::withoutControls(path.string())));
}

// The folder of another user a refusal is about, else the program folder.
std::filesystem::path refusedFolder(const settings::ProgramFolder& folder) {
    std::filesystem::path theirs = settings::folderOfAnotherUser(folder);
    return theirs.empty() ? folder.root() : theirs;
}

}  // namespace

Application::Application(settings::ProgramFolder folder) : m_env(folder, pictureFolderOf(folder)) {}

// The other windows go first, then the main window they may have used.
Application::~Application() {
    m_env.destroyWindows();
    m_mainWindow.reset();
}

QString Application::pictureFolderOf(const settings::ProgramFolder& folder) {
    const QString own = fromUtf8(folder.pictureFolder().string());
    if (QFileInfo(own).isDir()) {
        return own;
    }
    const QString shipped = fromUtf8(folder.shippedPictureFolder().string());
    if (!shipped.isEmpty() && QFileInfo(shipped).isDir()) {
        return shipped;
    }
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("Data"));
}

Status Application::start() {
    if (Status prepared = prepareFolder(); !prepared.isOk()) {
        return prepared;
    }
    m_mailStore = std::make_unique<store::MailStore>(folder().dataFolder().string());
    m_env.setMailStore(*m_mailStore);
    m_env.setOriginals([dataFolder = folder().dataFolder().string()](int box, int record) {
        return store::originalOfRecord(dataFolder, box, record);
    });
    m_env.setIntents(*this);
    recoverBoxFiles();
    m_mainWindow = std::make_unique<MainWindow>(*this);
    m_env.setMainWindow(*m_mainWindow);
    wireButtons();
    // Both follow every receive run for as long as the environment lives.
    new receive::CheckTimer(m_env);
    new receive::DesktopNotifier(m_env);
    connect(m_mainWindow.get(), &MainWindow::closing, this, &Application::shutDown);
    // Shown first, so that a settings window the start-up opens comes up above it.
    ui::placeOnScreen(*m_mainWindow, nullptr);
    m_mainWindow->show();
    m_mainWindow->load();
    offerDrafts();
    return Status::ok();
}

// The folders must exist before the lock file can; the lock must be held
// before anything in the data folder is repaired or created.
Status Application::prepareFolder() {
    if (Status made = folder().ensureFolders(); !made.isOk()) {
        if (made.code() == StatusCode::kRefused) {
            ui::tell(nullptr, ui::Say::kFolderNotYours, {folderText(refusedFolder(folder()))},
                     made);
        } else {
            ui::tell(nullptr, ui::Say::kFolderNotPrepared, {}, made);
        }
        return made;
    }
    Result<settings::FolderLock> lock = settings::FolderLock::acquire(folder().lockFile());
    if (!lock.isOk()) {
        const ui::Say reason = lock.status().code() == StatusCode::kRefused
                                   ? ui::Say::kFolderInUse
                                   : ui::Say::kFolderUnusable;
        ui::tell(nullptr, reason, {folderText(folder().root())}, lock.status());
        return lock.status();
    }
    m_lock.emplace(std::move(lock).value());
    // Links of second starts; without a socket (a file system that holds
    // none) they cannot reach this program, and it still runs.
    m_linkServer = std::make_unique<LinkServer>(folder());
    connect(m_linkServer.get(), &LinkServer::linkReceived, this, &Application::openMailLink);
    connect(m_linkServer.get(), &LinkServer::showRequested, this, [this] {
        if (m_mainWindow) {
            ui::WindowEnvironment::bringUp(*m_mainWindow);
        }
    });
    m_linkServer->listen();
    return Status::ok();
}

// A compaction or an append cut short by a crash leaves files that are
// resolved here, before any box is read.
void Application::recoverBoxFiles() {
    // A settings file or quick save cut short left only its temporary file
    // (the file itself is whole): it goes without a word.
    (void)folder().removeLeftoverTemporaries();
    const store::RecoveryReport report = store::recoverLeftovers(m_mailStore->dataFolder());
    if (report.actions.empty() && report.status.isOk()) {
        return;
    }
    const QString done = fromUtf8(ui::repairLines(report.actions));
    if (!report.status.isOk()) {
        ui::tell(nullptr, ui::Say::kBoxFilesNotRepaired, {done}, report.status);
        return;
    }
    ui::tell(nullptr, ui::Say::kBoxFilesRepaired, {done});
}

void Application::wireButtons() {
    MainWindowActions& actions = m_mainWindow->actions();
    actions.compose = [this] { showForm<compose::ComposeWindow>(); };
    actions.receive = [this] { receive::runReceive(m_env); };
    actions.stopReceive = [this] { receive::ReceiveController::of(m_env).stop(); };
    actions.mayCloseNow = [this] {
        return receive::ReceiveController::of(m_env).settleBeforeClosing(*m_mainWindow);
    };
    actions.addressBook = [this] { showForm<addressbook::AddressBookWindow>(); };
    actions.sortingRegistration = [this] { showForm<addressbook::SortingWindow>(); };
    actions.attachments = [this] { showForm<attachments::AttachmentBrowser>(); };
    actions.settings = [this] { showForm<SettingsMenu>(); };
    actions.openBox = [this](int box) { openBox(box); };
    actions.homePage = [this] { openHomePage(); };
    actions.search = [this] { openSearch(); };
}

// The window opens over the middle of the main window the first time, in
// its own size.
void Application::openSearch() {
    if (existingForm<viewer::SearchWindow>() == nullptr) {
        viewer::SearchWindow& search = form<viewer::SearchWindow>();
        search.move(m_mainWindow->frameGeometry().center() -
                    QPoint(search.width() / 2, search.height() / 2));
    }
    showForm<viewer::SearchWindow>();
}

viewer::ViewerWindow* Application::openBoxInViewer(int box) {
    const viewer::BoxEntry* entry = viewer::findBox(box);
    if (entry == nullptr) {
        return nullptr;
    }
    viewer::ViewerWindow& viewer = form<viewer::ViewerWindow>();
    viewer::openBox(viewer, m_env, *entry);
    return &viewer;
}

void Application::openBox(int box) {
    (void)openBoxInViewer(box);
}

void Application::showMailInViewer(int box, int recordNumber) {
    if (viewer::ViewerWindow* viewer = openBoxInViewer(box)) {
        viewer->showRecord(recordNumber);
    }
}

void Application::openReply(const QString& subject, const QString& sender, const QString& body,
                            const transport::ReplyThread& thread) {
    form<compose::ReplyWindow>().fillReply(subject, sender, body, thread);
    showForm<compose::ReplyWindow>();
}

void Application::showSenderInAddressBook(const QString& address) {
    form<addressbook::AddressBookWindow>().showMailAddress(address);
    showForm<addressbook::AddressBookWindow>();
}

void Application::stageReceivedMail(const QString& subject, const QString& sender,
                                    const QString& date, const QString& body) {
    if (!m_staging) {
        m_staging = true;
        m_viewerOpenBeforeStaging = existingForm<viewer::ViewerWindow>() != nullptr;
    }
    viewer::ViewerWindow& viewer = form<viewer::ViewerWindow>();
    viewer.stageMail(subject, sender, date, body);
    viewer.writeCount();
    if (viewer.isVisible()) {
        viewer.repaint();
    }
}

// The user's viewer gets its shown mail back, so that every command acts on
// what it shows; a viewer loaded only for the staging stays as it is.
void Application::endReceivedMailStaging() {
    viewer::ViewerWindow* viewer = existingForm<viewer::ViewerWindow>();
    if (m_staging && m_viewerOpenBeforeStaging && viewer != nullptr) {
        viewer->showHighlightedMail();
    }
    m_staging = false;
}

Status Application::startLeavingMailOnServer(const std::string& server, const std::string& id) {
    return receive::startSeenList(m_env.folder().seenListFile(), server, id);
}

// The desktop's opener is asked for the page and its outcome waited for
// without holding the window: it reports failure only by its exit status
// (xdg-open ends with 3 when no browser could be started). Without a browser
// the user still learns where the page is. The opener runs under a shell:
// xdg-open may wait for the browser it started, and the kill a QProcess deals
// when the program ends then reaches the shell alone, not the browser.
void Application::openHomePage() {
    const QUrl page = QUrl::fromLocalFile(picturePath(kHomePageFile));
    auto* opener = new QProcess(this);
    opener->setStandardInputFile(QProcess::nullDevice());
    opener->setStandardOutputFile(QProcess::nullDevice());
    opener->setStandardErrorFile(QProcess::nullDevice());
    const auto failed = [this, opener, page] {
        opener->deleteLater();
        ui::tell(m_mainWindow.get(), ui::Say::kNoBrowser, {page.toString()});
    };
    connect(opener, &QProcess::finished, this,
            [opener, failed](int exitCode, QProcess::ExitStatus status) {
                if (status != QProcess::NormalExit || exitCode != 0) {
                    failed();
                } else {
                    opener->deleteLater();
                }
            });
    connect(opener, &QProcess::errorOccurred, this, [failed](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            failed();
        }
    });
    opener->start(QStringLiteral("/bin/sh"),
                  {QStringLiteral("-c"), QStringLiteral("xdg-open \"$1\"; exit $?"),
                   QStringLiteral("sh"), page.toString(QUrl::FullyEncoded)});
}

void Application::openMailLink(const QString& link) {
    Result<compose::MailtoLink> parsed = compose::parseMailtoLink(link.toStdString());
    if (!parsed) {
        ui::tell(m_mainWindow.get(), ui::Say::kMailLinkNotOpened, {}, parsed.status());
        return;
    }
    showForm<compose::ComposeWindow>().startMail(parsed.value());
}

void Application::shutDown() {
    m_env.closeForShutdown();
    emit finished();
}

}  // namespace qf::app
