// What a window gets from the rest of the program: the program folder, the
// box files, the held state, the pictures, the main window's intents and the
// intents that other windows answer. The application owns one environment
// for the whole run and hands it to every window it creates; no window
// reaches into another window's controls, and no window names another's
// class: it asks by intent (intents()), and only app/ knows which window
// answers.
//
// Every window other than the main window is created on first use (form<T>(),
// called from app/ only), is non-modal, and is reused while it exists; a
// window that closes is destroyed and is created anew, loading afresh, the
// next time it is needed. A window class T used with form<T>() has a
// constructor T(WindowEnvironment&).
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <typeindex>
#include <unordered_map>

#include "auth/AccountAccess.h"
#include "settings/AccountFiles.h"
#include "settings/ProgramFolder.h"
#include "transport/Threading.h"
#include "ui/HeldState.h"

namespace qf::store {
class MailStore;
}

namespace qf::ui {

// What other windows and runs may ask of the main window.
class MainWindowIntents {
  public:
    virtual ~MainWindowIntents() = default;

    virtual QWidget& window() = 0;
    // Shows `text` in the help bar.
    virtual void showHelpText(const QString& text) = 0;
    // The help bar's text, painted at once (a run that does not return to the
    // event loop shows its progress so).
    virtual void showProgress(const QString& text) = 0;
    // The raw text of the mail being received, painted at once.
    virtual void showRawText(const QString& text) = 0;
    virtual void showNoNewMailNotice(const QString& notice) = 0;
    virtual void endNoNewMailNotice() = 0;
    // One more new mail in receiving box 1-6, painted at once.
    virtual void countNewMail(int box) = 0;
    // Adds the new-mail counter of receiving box 1-6 to its total and empties it.
    virtual void addNewToTotal(int box) = 0;
    // Receiving box 1-6 holds `count` mails in its file now: the total and
    // the new-mail counter together show that many.
    virtual void showBoxCount(int box, int count) = 0;
    // The sorting registrations were written: captions, shown senders and
    // the next receive's routing follow the file from now on.
    virtual void reloadRegistrations() = 0;
    // The sender address shown for box 1-5.
    virtual QString registeredAddress(int box) const = 0;
    // The caption shown for receiving box 1-6.
    virtual QString boxCaption(int box) const = 0;
    // The clock's text as shown: the date of a mail sent now.
    virtual QString clockText() const = 0;
};

// The shown mail, for a forward.
struct ForwardedMail {
    QString subject, sender, date, body;
    QStringList attachments;
    std::optional<std::string> original;  // set: forward it as an attachment
};

// What a window may ask for that another window does; only app/ knows
// which window class answers.
class WindowIntents {
  public:
    virtual ~WindowIntents() = default;

    // The search window, shown and brought to the front.
    virtual void openSearch() = 0;
    // The viewer on box 1-6, 10 (keep box) or 11 (send history): the box's
    // new mail joins its total, and the viewer lists the box with its last
    // mail shown. Another number does nothing.
    virtual void openBox(int box) = 0;
    // The viewer on `box` (opened as openBox() opens it) with record
    // `recordNumber` shown and selected, as a click on its row does.
    virtual void showMailInViewer(int box, int recordNumber) = 0;
    // The reply window, filled from the shown mail and brought to the front;
    // `thread` names the answered mail when its original is kept.
    virtual void openReply(const QString& subject, const QString& sender, const QString& body,
                           const transport::ReplyThread& thread = {}) = 0;
    // The reply window filled as openReply() does, to everyone on the mail:
    // read from `original` (the mail as it came) when it is kept.
    virtual void openReplyToAll(const QString& subject, const QString& sender, const QString& body,
                                const std::optional<std::string>& original) = 0;
    // The compose window with a forward of the shown mail: its texts as
    // shown and the files (paths) expanded for it, attached again; or, with
    // `original` (the mail as it came), that mail attached whole instead.
    virtual void openForward(const ForwardedMail& mail) = 0;
    // The address book, brought to the front with `address` in its address field.
    virtual void showSenderInAddressBook(const QString& address) = 0;
    // The receive run stores a mail: the viewer's fields show it (the viewer
    // is loaded without being shown when it is not open).
    virtual void stageReceivedMail(const QString& subject, const QString& sender,
                                   const QString& date, const QString& body) = 0;
    // The run that staged mails has ended: a viewer that was open before it
    // shows again the mail its list highlights.
    virtual void endReceivedMailStaging() = 0;
    // "Leave mail on the server" was chosen for the POP3 server `server` and
    // ID `id`: the list of mails stored is started (kept when there is one),
    // so that a later run can tell a lost list from a new one.
    virtual Status startLeavingMailOnServer(const std::string& server, const std::string& id) = 0;
};

class WindowEnvironment : public QObject {
    Q_OBJECT

  public:
    WindowEnvironment(settings::ProgramFolder folder, QString pictureFolder);
    ~WindowEnvironment() override;

    const settings::ProgramFolder& folder() const { return m_folder; }
    HeldState& held() { return m_held; }
    const HeldState& held() const { return m_held; }
    // "<picture folder>/<name>": a picture of the program.
    QString picturePath(const QString& name) const;
    // The box files, with the current-record buffer of each box.
    // REQUIRES: setMailStore() was called.
    store::MailStore& mailStore() { return *m_mailStore; }
    void setMailStore(store::MailStore& store) { m_mailStore = &store; }
    // REQUIRES: setMainWindow() was called.
    MainWindowIntents& mainWindow() { return *m_mainWindow; }
    void setMainWindow(MainWindowIntents& main) { m_mainWindow = &main; }
    // REQUIRES: setIntents() was called.
    WindowIntents& intents() { return *m_intents; }
    void setIntents(WindowIntents& intents) { m_intents = &intents; }

    // The account a receive run or an SMTP login uses: the ID/password
    // window's fields as typed while it exists, else the account last
    // confirmed there in this run, else the account file's.
    settings::Account accountInUse() const;
    // The account's kind and secrets (keyring, file, OAuth tokens) for the
    // POP3 server held now; made again when the server or the login method
    // changed (accountMethodChanged()).
    auth::AccountAccess& accountAccess() const { return *sharedAccountAccess(); }
    std::shared_ptr<auth::AccountAccess> sharedAccountAccess() const;
    void accountMethodChanged() { m_accountAccess.reset(); }
    // For an OAuth account, what gives the login its access token (see
    // ReceiveRequest::accessToken); null for a password account.
    std::function<Result<std::string>(bool refused)> accessTokenSource() const;
    // The mail `recordNumber` of `box` as it came from the server, when it
    // is kept; nothing otherwise. The reply to all reads its Reply-To, To
    // and Cc there, the forward as attachment sends it.
    std::optional<std::string> originalOf(int box, int recordNumber) const {
        return m_originals ? m_originals(box, recordNumber) : std::nullopt;
    }
    void setOriginals(std::function<std::optional<std::string>(int box, int recordNumber)> source) {
        m_originals = std::move(source);
    }
    // Whether the user chose to keep the ID and password in the account file:
    // the last OK's choice in this run, else the file's NAME3.
    bool accountKeptInFile() const;

    // The window of class T, created hidden on first use.
    template <typename T>
    T& form();
    // The window of class T, shown without modality and brought to the front.
    template <typename T>
    T& showForm();
    // The window of class T when it exists, else nullptr.
    template <typename T>
    T* existingForm() const;

    // Shows a window without modality, restored when minimised, inside the
    // screen's work area (placed from the active window the first time it
    // opens without a place of its own), and brings it to the front.
    static void bringUp(QWidget& window);
    // The held server settings were changed (the server settings window's
    // OK): whoever follows them hears serverSettingsChanged().
    void announceServerSettings() { emit serverSettingsChanged(); }
    // A receive run stored new mail in `box` (1-6): whoever shows that box
    // hears mailsArrived() and lists it again.
    void announceMailsArrived(int box) { emit mailsArrived(box); }

    // Moves a window (laid out, not yet shown) to the middle of the main window.
    void centreOnMainWindow(QWidget& window);

    // True when a window holds typed text that closing it would lose
    // (ui::HoldsTypedText).
    bool anyWindowHoldsTypedText() const;
    // The program ends: every window but the main one is closed without
    // questions, and windows save nothing on this close.
    void closeForShutdown();
    // Deletes every window but the main one at once.
    void destroyWindows();
    bool shuttingDown() const { return m_shuttingDown; }

  signals:
    void serverSettingsChanged();
    void mailsArrived(int box);

  private:
    QWidget* findForm(std::type_index type) const;
    void adoptForm(std::type_index type, QWidget* window);

    settings::ProgramFolder m_folder;
    // Shared: a send or receive under way keeps the one it started with.
    mutable std::shared_ptr<auth::AccountAccess> m_accountAccess;
    QString m_pictureFolder;
    HeldState m_held;
    store::MailStore* m_mailStore = nullptr;
    MainWindowIntents* m_mainWindow = nullptr;
    WindowIntents* m_intents = nullptr;
    // No mail is kept as it came yet: none to give.
    std::function<std::optional<std::string>(int, int)> m_originals;
    std::unordered_map<std::type_index, QPointer<QWidget>> m_forms;
    bool m_shuttingDown = false;
};

template <typename T>
T& WindowEnvironment::form() {
    if (QWidget* window = findForm(typeid(T))) {
        return static_cast<T&>(*window);
    }
    auto* window = new T(*this);
    adoptForm(typeid(T), window);
    return *window;
}

template <typename T>
T& WindowEnvironment::showForm() {
    T& window = form<T>();
    bringUp(window);
    return window;
}

template <typename T>
T* WindowEnvironment::existingForm() const {
    return static_cast<T*>(findForm(typeid(T)));
}

}  // namespace qf::ui
