// The application object: owns the one main window and every other window.
//
// Start-up takes the program folder's single-writer lock, creates the
// missing folders, then creates, loads and shows the main window. Every
// other window is created on first use (form<T>()), is non-modal, and is
// reused while it exists; a window that closes is destroyed and is created
// anew, loading afresh, the next time it is needed. Closing the main window
// shuts the transport library down and closes every other window.
//
// A window class T used with form<T>() has a constructor T(Application&).
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <memory>
#include <optional>
#include <typeindex>
#include <unordered_map>

#include "settings/FolderLock.h"
#include "settings/ProgramFolder.h"
#include "store/MailStore.h"
#include "text/Status.h"

namespace qf::app {

class MainForm;

// The home page the HP button opens. The program has no site of its own yet.
inline const QString kHomePageUrl = QStringLiteral("https://quillfern.example/");

class Application : public QObject {
    Q_OBJECT

  public:
    explicit Application(settings::ProgramFolder folder);
    ~Application() override;

    // Lock, folders, main window. On failure the user has been told why
    // (message box) and the program should end; nothing was changed in a
    // folder that another Quillfern process holds.
    Status start();

    const settings::ProgramFolder& folder() const { return m_folder; }
    // REQUIRES: start() succeeded.
    MainForm& mainForm() { return *m_mainForm; }
    // The box files, with the current-record buffer of each box.
    // REQUIRES: start() succeeded.
    store::MailStore& mailStore() { return *m_mailStore; }
    // "<program folder>/Data/<name>": a picture of the program. A program
    // folder named by QUILLFERN_FOLDER without its own Data/ uses the
    // pictures beside the executable.
    QString picturePath(const QString& name) const;

    // The window of class T, created hidden on first use.
    template <typename T>
    T& form();
    // The window of class T, shown without modality and brought to the front.
    template <typename T>
    T& showForm();
    // The window of class T when it exists, else nullptr.
    template <typename T>
    T* existingForm() const;

    // Moves a window (laid out, not yet shown) to the middle of the main window.
    void centreOnMainWindow(QWidget& window) const;

    // Closes every window but the main window, without questions.
    void closeOtherWindows();

  signals:
    // The main window has closed and every other window with it: the
    // program should end (the caller's event loop quits on it).
    void finished();

  private:
    QWidget* findForm(std::type_index type) const;
    void adoptForm(std::type_index type, QWidget* window);
    static void bringUp(QWidget& window);
    Status prepareFolder();
    void recoverBoxFiles();
    void wireButtons();
    void showSettingsWindow();
    void shutDown();

    settings::ProgramFolder m_folder;
    std::optional<settings::FolderLock> m_lock;
    std::unique_ptr<store::MailStore> m_mailStore;
    std::unique_ptr<MainForm> m_mainForm;
    QString m_pictureFolder;
    std::unordered_map<std::type_index, QPointer<QWidget>> m_forms;
};

template <typename T>
T& Application::form() {
    if (QWidget* window = findForm(typeid(T))) {
        return static_cast<T&>(*window);
    }
    auto* window = new T(*this);
    adoptForm(typeid(T), window);
    return *window;
}

template <typename T>
T& Application::showForm() {
    T& window = form<T>();
    bringUp(window);
    return window;
}

template <typename T>
T* Application::existingForm() const {
    return static_cast<T*>(findForm(typeid(T)));
}

}  // namespace qf::app
