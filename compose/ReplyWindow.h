// The reply window "返事を書く": recipient, subject and body filled by the
// viewer's reply command, attachments as in the compose window, and three
// picture buttons: send, stop, and the body paste. The signature of the
// settings goes under the answer, above the received text; a check box
// quotes the received text with "> " under a line naming its writer and
// date, and the choice is kept in the settings for the next reply.
//
// A send that goes out closes the window; nothing is written to any box
// file. A refused send shows the server's text under "送信エラー" and keeps
// the window and everything typed, so the reply can be sent again. Stop and
// the window frame close without sending. The send runs off the window
// thread; the window repaints meanwhile and takes no input.
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "compose/Drafts.h"
#include "compose/SendPass.h"
#include "compose/SendWorker.h"
#include "transport/Threading.h"
#include "ui/TypedText.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTextEdit;

namespace qf::ui {
class ActiveLabel;
class WindowEnvironment;
}  // namespace qf::ui

namespace qf::compose {

class DraftSaver;

class ReplyWindow : public QWidget, public ui::HoldsTypedText {
    Q_OBJECT

  public:
    explicit ReplyWindow(ui::WindowEnvironment& env);
    ~ReplyWindow() override;

    // The viewer's reply: recipient = the sender, subject = "Re:", two
    // spaces and the received subject, body = the received body; each of
    // the received texts stripped of spaces at both ends. The reply carries
    // `thread` (In-Reply-To, References) when it is given. The date of the
    // quoting line is the current record's of the current box, the mail the
    // viewer shows.
    void fillReply(const QString& receivedSubject, const QString& sender,
                   const QString& receivedBody, const transport::ReplyThread& thread = {});

    // The viewer's reply to all: filled as fillReply(), then the recipients
    // are the sender (its Reply-To when it has one) and the mail's To and
    // Cc, less the user's own address, read from `original` (the mail as it
    // came). Without it, the sender alone. The window says which it did.
    void fillReplyToAll(const QString& receivedSubject, const QString& sender,
                        const QString& receivedBody, const std::optional<std::string>& original);
    // Opens a draft kept by an earlier run; later saves replace its file.
    void openDraft(const std::filesystem::path& path, const Draft& draft);
    // "下書き保存": the draft written now.
    void saveDraftNow();
    DraftSaver& drafts() { return *m_draft; }
    QString noteText() const;

    // The file dialog of both attachment buttons; tests replace it. Returns
    // the chosen path, or an empty text when cancelled.
    void setFileChooser(std::function<QString()> chooser) { m_chooseFile = std::move(chooser); }

    // The picture-button actions, after their pressed-picture step.
    void send();
    // From send() until the outcome is shown (the mail goes off this thread).
    bool sending() const { return m_sendWorker.running(); }
    void stopWithoutSending();
    // The clipboard text above the current box's received body, and back on
    // the clipboard. Nothing for the send history.
    void pasteBody();

    // Anything changed since the reply was filled in, not sent.
    bool holdsTypedText() const override;

  signals:
    // After a send went out, just before the window closes.
    void sent();

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void finishSend(const std::optional<SendFailure>& failure, const std::string& smtpServer);
    void buildControls();
    void addPictureButton(int column, const QString& name, const QString& caption,
                          const QString& ownPicture, void (ReplyWindow::*action)());
    QString picture(const QString& name) const;
    QStringList fields() const;
    void applySizes();
    void quotingChosen(bool quote);
    std::string receivedPart(bool quote) const;
    void setUpDrafts();
    Draft currentDraft() const;

    ui::WindowEnvironment& m_env;
    std::function<QString()> m_chooseFile;
    bool m_closingByCommand = false;  // a sent mail closes without a question
    QStringList m_filled;             // the fields as fillReply left them
    transport::ReplyThread m_thread;  // the answered mail, as fillReply was given it
    std::string m_receivedBody, m_receivedSender, m_receivedDate;
    DraftSaver* m_draft = nullptr;
    QLabel* m_note = nullptr;  // what the reply to all did, or a draft save

    QLineEdit* m_to = nullptr;
    QLineEdit* m_subject = nullptr;
    QTextEdit* m_body = nullptr;
    QLineEdit* m_attachPaths = nullptr;
    QListWidget* m_attachList = nullptr;
    QPushButton* m_attachFirst = nullptr;
    QPushButton* m_attachMore = nullptr;
    QPushButton* m_dropAttachments = nullptr;
    QCheckBox* m_quote = nullptr;
    SendWorker m_sendWorker{this};  // last: it waits for a send under way first
};

}  // namespace qf::compose
