// The compose window "新規作成": recipient, subject, body, attachments, the
// address pane fed from the address book, greeting sentences, the fortune and
// batch mode; its send button runs the send passes and reports their outcome.
//
// A single send that goes out, or a batch whose every pass went out, empties
// the window and closes it. A refused single send keeps the window and all
// that was typed (the body without the fortune), and says so in the status
// line; a batch with refused or skipped passes says how many of how many
// were sent, names the recipients it could not reach and stays open; its
// next send offers to go only to those, by address, so no one gets the mail
// twice, and asks again when the address book changed in between.
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

#include "base/Twips.h"
#include "compose/ComposeEnvironment.h"
#include "compose/Drafts.h"
#include "compose/Greetings.h"
#include "compose/MailtoLink.h"
#include "compose/SendPass.h"
#include "ui/TypedText.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTextEdit;

namespace qf::ui {
class ActiveLabel;
class WindowEnvironment;
struct ForwardedMail;
}  // namespace qf::ui

namespace qf::compose {

class ComposeSender;
class DraftSaver;

class ComposeWindow : public QWidget, public ui::HoldsTypedText {
    Q_OBJECT

  public:
    explicit ComposeWindow(ComposeEnvironment environment, QWidget* parent = nullptr);
    // As the main window's "N" button opens it: server settings and clock of
    // the main window, the account of the ID/password window.
    explicit ComposeWindow(ui::WindowEnvironment& env);
    ~ComposeWindow() override;

    // The file dialog of both attachment buttons; tests replace it. Returns
    // the chosen path, or an empty text when cancelled.
    void setFileChooser(std::function<QString()> chooser) { m_chooseFile = std::move(chooser); }
    void setFortuneSource(UnitFloatSource source) { m_fortuneSource = std::move(source); }

    int widthTwips() const { return m_widthTwips; }
    int heightTwips() const { return m_heightTwips; }
    // Record numbers behind the rows of the address list, in row order.
    const std::vector<int>& recordNumbers() const { return m_recordNumbers; }

    // Starts a new mail from a mailto: link: recipients, copies, blind
    // copies, subject and body (the signature under it), as a single send.
    // When the window holds typed text the user is asked first, and No keeps
    // it all and changes nothing. Returns whether the window was filled.
    bool startMail(const MailtoLink& link);

    // A forward of a received mail: "Fwd: " subject, a line naming its
    // sender, date and subject over its text, and its files attached again;
    // or the mail as it came attached whole. Asks first as startMail() does.
    bool startForward(const ui::ForwardedMail& mail);
    // Opens a draft kept by an earlier run; later saves replace its file.
    void openDraft(const std::filesystem::path& path, const Draft& draft);
    // "下書き保存": the draft written now; the status line says how it went.
    void saveDraftNow();
    DraftSaver& drafts() { return *m_draft; }

    // The picture-button actions, after their pressed-picture step.
    void send();
    // From send() until the outcome is shown (the passes run off this thread).
    bool sending() const;
    void clearAll();
    void pasteRecipient();
    void pasteBody();
    void openAddressPane();
    void closeAddressPane();
    void stopWithoutSending();

    // Recipient, copies, subject, body (beyond the signature it opened with)
    // or attachment filled in and not sent.
    bool holdsTypedText() const override;

  signals:
    // After a send closed the window (tests and the main window may listen).
    void sent();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    struct PictureButton {
        ui::ActiveLabel* picture;
        ui::ActiveLabel* caption;
    };

    void buildControls();
    void buildPictureButtons();
    void buildAddressPane();
    void buildHelpTexts();
    PictureButton addPictureButton(const base::TwipsRect& face, const QString& name,
                                   const QString& caption, const QString& ownPicture,
                                   const QString& pressedPicture, void (ComposeWindow::*action)());
    QString picture(const QString& name) const;
    void setHelp(QWidget* control, const QString& text);
    void placeWindow(int widthTwips, int heightTwips);
    void centreOnScreen();
    void fitControlsToHeight();

    void loadAddressList();
    // A row of the address list: its address replaces the recipient, or with
    // Ctrl joins the Cc line, with Shift the Bcc line.
    void addressListPressed(Qt::KeyboardModifiers modifiers);
    void showCopyFields(bool enabled);
    QString startingBody(const QString& text) const;
    void batchChosen();
    void batchCancelled();
    void insertGreeting();
    void revealPasteRow();
    void holdInput(bool hold);
    void finishSend(const SendReport& report, bool batch);
    void emptyAndClose();
    void setUpDrafts();
    Draft currentDraft() const;

    ComposeEnvironment m_env;
    std::function<QString()> m_chooseFile;
    UnitFloatSource m_fortuneSource = timerSeededSource();
    std::vector<int> m_recordNumbers;
    ComposeSender* m_sender = nullptr;
    DraftSaver* m_draft = nullptr;
    DraftKind m_draftKind = DraftKind::kCompose;
    // A received mail forwarded whole, held here (and in the draft) until
    // it is sent: no copy of it lies in the program folder.
    std::vector<transport::AttachedMail> m_attachedMails;
    QString m_typedBody;          // the body as typed when the running send began
    QString m_openingBody;        // the body as the window opened: the signature
    int m_insertedGreeting = -1;  // the m_greetings row last put into the body
    int m_widthTwips = 0;
    int m_heightTwips = 0;
    bool m_closingByCommand = false;  // a send: no question

    QWidget* m_content = nullptr;  // every control but the status line and help box
    QLineEdit* m_to = nullptr;
    QLineEdit* m_cc = nullptr;
    QLineEdit* m_bcc = nullptr;
    QLineEdit* m_subject = nullptr;
    QTextEdit* m_body = nullptr;
    QComboBox* m_greetings = nullptr;
    QLineEdit* m_attachPaths = nullptr;
    QListWidget* m_attachList = nullptr;
    QPushButton* m_attachFirst = nullptr;
    QPushButton* m_attachMore = nullptr;
    QPushButton* m_dropAttachments = nullptr;
    QCheckBox* m_fortune = nullptr;
    QRadioButton* m_singleSend = nullptr;
    QRadioButton* m_batchSend = nullptr;
    QListWidget* m_addressList = nullptr;
    QLineEdit* m_addressCount = nullptr;
    QLabel* m_status = nullptr;
    QLineEdit* m_helpBox = nullptr;
    QPushButton* m_pasteButton = nullptr;
    QLineEdit* m_pasteRow = nullptr;
    PictureButton m_send{}, m_stop{}, m_clear{}, m_pasteTo{}, m_pasteBody{}, m_openPane{},
        m_closePane{};
};

}  // namespace qf::compose
