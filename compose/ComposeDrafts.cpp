// The compose window's drafts and forwards: what is typed is kept as a
// draft (DraftSaver), a draft of an earlier run is opened again, and a
// forward fills the window from a received mail.
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTextEdit>

#include "compose/ComposeLayout.h"
#include "compose/ComposeWindow.h"
#include "compose/DraftSaver.h"
#include "compose/ForwardReply.h"
#include "ui/MessageBoxes.h"
#include "ui/TextConversion.h"
#include "ui/WindowEnvironment.h"

namespace qf::compose {
namespace {

// At the right end of the status line.
// At the right end of the status line, below the body.
constexpr base::TwipsRect kDraftButton = writelayout::belowCopies({5760, 7740, 1140, 300});

}  // namespace

// The base class's destructor still hides the window, and a hidden window
// loses the focus: the saver must not read the fields then.
ComposeWindow::~ComposeWindow() {
    m_draft->detach();
}

void ComposeWindow::setUpDrafts() {
    // A window without a program folder keeps no drafts.
    const std::filesystem::path folder = m_env.folder.root().empty()
                                             ? std::filesystem::path()
                                             : draftFolder(m_env.folder.dataFolder());
    m_draft = new DraftSaver(this, folder, [this] { return currentDraft(); });
    m_draft->watch(m_to);
    m_draft->watch(m_subject);
    m_draft->watch(m_body);
    m_draft->watch(m_attachPaths);
    addDraftButton(this, kDraftButton, [this] { saveDraftNow(); })->raise();
}

Draft ComposeWindow::currentDraft() const {
    return {m_draftKind, m_to->text().toStdString(), m_subject->text().toStdString(),
            m_attachPaths->text().toStdString(), m_body->toPlainText().toStdString()};
}

void ComposeWindow::saveDraftNow() {
    tellDraftSaved(this, m_draft->saveNow(), m_status);
}

bool ComposeWindow::startForward(const ui::ForwardedMail& mail) {
    if (holdsTypedText() && !ui::tell(this, ui::Say::kReplaceTypedMailWithLink)) {
        return false;
    }
    QStringList attachments = mail.attachments;
    if (mail.original) {
        Result<std::filesystem::path> kept =
            keepForwardedMail(draftFolder(m_env.folder.dataFolder()), *mail.original);
        if (!kept) {
            ui::tell(this, ui::Say::kDraftNotSaved, {}, kept.status());
            return false;
        }
        attachments = {ui::fromUtf8(kept.value().string())};
    }
    clearAll();
    m_draftKind = DraftKind::kForward;
    m_subject->setText(ui::fromUtf8(forwardSubject(mail.subject.toStdString())));
    const QString intro =
        ui::words(ui::Say::kForwardIntro,
                  {mail.sender.trimmed(), mail.date.trimmed(), mail.subject.trimmed()}, QString());
    m_body->setPlainText(
        QStringLiteral("\n\n") + intro + QStringLiteral("\n") +
        (mail.original ? ui::words(ui::Say::kForwardOriginalAttached, {}, QString()) : mail.body));
    m_attachPaths->setText(attachments.join(QLatin1Char(',')));
    m_attachList->addItems(attachments);
    m_dropAttachments->setEnabled(!attachments.isEmpty());
    m_status->clear();
    return true;
}

void ComposeWindow::openDraft(const std::filesystem::path& path, const Draft& draft) {
    clearAll();
    m_draftKind = draft.kind;
    m_to->setText(ui::fromUtf8(draft.to));
    m_subject->setText(ui::fromUtf8(draft.subject));
    m_body->setPlainText(ui::fromUtf8(draft.body));
    m_attachPaths->setText(ui::fromUtf8(draft.attachments));
    m_draft->adopt(path);
}

}  // namespace qf::compose
