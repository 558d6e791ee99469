// The application object: owns the one main window, the window environment
// every other window is created with, and the state held for the whole run.
//
// Start-up takes the program folder's single-writer lock, creates the
// missing folders, then creates, loads and shows the main window. Closing
// the main window shuts the transport library down and closes every other
// window, saving nothing.
#pragma once

#include <QObject>
#include <QString>
#include <QWidget>
#include <memory>
#include <optional>

#include "app/TransportLibrary.h"
#include "base/Status.h"
#include "settings/FolderLock.h"
#include "settings/ProgramFolder.h"
#include "store/MailStore.h"
#include "ui/WindowEnvironment.h"

namespace qf::viewer {
class ViewerWindow;
}

namespace qf::app {

class LinkServer;
class MainWindow;

// The program's own page, shipped beside its pictures: what Quillfern is.
inline const QString kHomePageFile = QStringLiteral("Quillfern.html");

class Application : public QObject, public ui::WindowIntents {
    Q_OBJECT

  public:
    explicit Application(settings::ProgramFolder folder);
    ~Application() override;

    // Lock, folders, main window. On failure the user has been told why
    // (message box) and the program should end; nothing was changed in a
    // folder that another Quillfern process holds.
    Status start();

    const settings::ProgramFolder& folder() const { return m_env.folder(); }
    // What every window is created with.
    ui::WindowEnvironment& environment() { return m_env; }
    ui::HeldState& held() { return m_env.held(); }
    // REQUIRES: start() succeeded.
    MainWindow& mainWindow() { return *m_mainWindow; }
    // The box files, with the current-record buffer of each box.
    // REQUIRES: start() succeeded.
    store::MailStore& mailStore() { return *m_mailStore; }
    // "<program folder>/Data/<name>": a picture of the program. A program
    // folder without its own Data/ uses the pictures that came with the
    // program (installed share folder, or beside the executable).
    QString picturePath(const QString& name) const { return m_env.picturePath(name); }

    // Opens the compose window filled from a mailto: link (a start argument,
    // or a second start's); a link that cannot be read is reported.
    // REQUIRES: start() succeeded.
    void openMailLink(const QString& link);

    // Drafts an earlier run left unsent: each offered, then opened, thrown
    // away or kept for the next start (DraftOffer.cpp). start() calls it.
    void offerDrafts();

    // The window of class T, created hidden on first use.
    template <typename T>
    T& form() {
        return m_env.form<T>();
    }
    // The window of class T, shown without modality and brought to the front.
    template <typename T>
    T& showForm() {
        return m_env.showForm<T>();
    }
    // The window of class T when it exists, else nullptr.
    template <typename T>
    T* existingForm() const {
        return m_env.existingForm<T>();
    }

    // What windows ask of other windows (ui::WindowIntents).
    void openSearch() override;
    void openBox(int box) override;
    void showMailInViewer(int box, int recordNumber) override;
    void openReply(const QString& subject, const QString& sender, const QString& body,
                   const transport::ReplyThread& thread = {}) override;
    void openReplyToAll(const QString& subject, const QString& sender, const QString& body,
                        const std::optional<std::string>& original) override;
    void openForward(const ui::ForwardedMail& mail) override;
    void showSenderInAddressBook(const QString& address) override;
    void stageReceivedMail(const QString& subject, const QString& sender, const QString& date,
                           const QString& body) override;
    void endReceivedMailStaging() override;
    Status startLeavingMailOnServer(const std::string& server, const std::string& id) override;

  signals:
    // The main window has closed and every other window with it: the
    // program should end (the caller's event loop quits on it).
    void finished();

  private:
    static QString pictureFolderOf(const settings::ProgramFolder& folder);
    Status prepareFolder();
    void recoverBoxFiles();
    void wireButtons();
    void showSettingsWindow();
    void openHomePage();
    void shutDown();
    // The viewer with `box` opened in it; nullptr for a number that is no box.
    viewer::ViewerWindow* openBoxInViewer(int box);

    std::optional<settings::FolderLock> m_lock;
    std::unique_ptr<LinkServer> m_linkServer;
    // Before the environment: its jobs end before the transport does.
    TransportLibrary m_transportLibrary;
    std::unique_ptr<store::MailStore> m_mailStore;
    ui::WindowEnvironment m_env;
    std::unique_ptr<MainWindow> m_mainWindow;
    // A receive run is staging mails; whether the viewer was open before it.
    bool m_staging = false;
    bool m_viewerOpenBeforeStaging = false;
};

}  // namespace qf::app
