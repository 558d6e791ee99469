// The reply window's reply to all and its drafts.
#include <QLabel>
#include <QLineEdit>
#include <QTextEdit>

#include "compose/DraftSaver.h"
#include "compose/ForwardReply.h"
#include "compose/ReplyLayout.h"
#include "compose/ReplyWindow.h"
#include "ui/FormHelpers.h"
#include "ui/MessageBoxes.h"
#include "ui/PlainText.h"
#include "ui/TextConversion.h"
#include "ui/WindowEnvironment.h"

namespace qf::compose {
namespace {

// Right of the picture buttons.
constexpr base::TwipsRect kDraftButton{4980, 120, 1100, 480};
constexpr base::TwipsRect kNote{6160, 60, 1560, 660};

}  // namespace

// The base class's destructor still hides the window (see ComposeWindow).
ReplyWindow::~ReplyWindow() {
    m_draft->detach();
}

void ReplyWindow::setUpDrafts() {
    m_draft = new DraftSaver(this, draftFolder(m_env.folder().dataFolder()),
                             [this] { return currentDraft(); });
    for (QLineEdit* field : {m_to, m_subject, m_attachPaths}) {
        m_draft->watch(field);
    }
    m_draft->watch(m_body);
    addDraftButton(this, kDraftButton, [this] { saveDraftNow(); });
    m_note = ui::plainLabel(QString(), this);
    m_note->setObjectName(QStringLiteral("ReplyNote"));
    m_note->setWordWrap(true);
    m_note->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ui::placeInTwips(m_note, kNote);
}

// Only what the user changed is a draft: a reply as the viewer filled it
// can be made again from the mail.
Draft ReplyWindow::currentDraft() const {
    if (!holdsTypedText()) {
        return {};
    }
    return {DraftKind::kReply, m_to->text().toStdString(), m_subject->text().toStdString(),
            m_attachPaths->text().toStdString(), m_body->toPlainText().toStdString()};
}

void ReplyWindow::saveDraftNow() {
    tellDraftSaved(this, m_draft->saveNow(), m_note);
}

QString ReplyWindow::noteText() const {
    return m_note->text();
}

void ReplyWindow::fillReplyToAll(const QString& receivedSubject, const QString& sender,
                                 const QString& receivedBody,
                                 const std::optional<std::string>& original) {
    fillReply(receivedSubject, sender, receivedBody,
              original ? transport::replyThreadOf(*original) : transport::ReplyThread{});
    if (!original) {
        m_note->setText(ui::words(ui::Say::kReplyAllSenderOnly, {}, QString()));
        return;
    }
    const std::vector<std::string> own{m_env.held().server.mail};
    const ReplyAllRecipients all = replyAllRecipients(addressesOf(*original), own);
    if (!all.recipients.empty()) {
        m_to->setText(ui::fromUtf8(recipientLine(all.recipients)));
    }
    m_note->setText(all.toReplyTo ? ui::words(ui::Say::kReplyAllToReplyTo, {}, QString())
                                  : QString());
    m_filled = fields();
}

void ReplyWindow::openDraft(const std::filesystem::path& path, const Draft& draft) {
    m_filled = {};
    m_to->setText(ui::fromUtf8(draft.to));
    m_subject->setText(ui::fromUtf8(draft.subject));
    m_body->setPlainText(ui::fromUtf8(draft.body));
    m_attachPaths->setText(ui::fromUtf8(draft.attachments));
    m_note->clear();
    m_draft->adopt(path);
}

}  // namespace qf::compose
