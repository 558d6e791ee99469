// The drafts an earlier run left unsent (a crash, a kill, a power cut, or
// the program ended with a mail being written), offered at start, and the
// windows the viewer's forward and reply to all open.
#include "app/Application.h"
#include "app/MainWindow.h"
#include "base/DurableWrite.h"
#include "compose/ComposeWindow.h"
#include "compose/Drafts.h"
#include "compose/ForwardCopies.h"
#include "compose/ReplyWindow.h"
#include "ui/MessageBoxes.h"
#include "ui/TextConversion.h"

namespace qf::app {

void Application::openReplyToAll(const QString& subject, const QString& sender, const QString& body,
                                 const std::optional<std::string>& original) {
    form<compose::ReplyWindow>().fillReplyToAll(subject, sender, body, original);
    showForm<compose::ReplyWindow>();
}

void Application::openForward(const ui::ForwardedMail& mail) {
    if (form<compose::ComposeWindow>().startForward(mail)) {
        showForm<compose::ComposeWindow>();
    }
}

// One window of each kind is open at a time: a second draft of a kind that
// was opened now waits, untouched, for the next start.
void Application::offerDrafts() {
    const std::filesystem::path drafts = compose::draftFolder(folder().dataFolder());
    // A replacement cut short left its temporary file; the draft beside it is whole.
    (void)base::removeLeftoverTemporaries(drafts.string(), [](std::string_view name) {
        return compose::isDraftName(name.substr(0, name.find(".tmp-")));
    });
    // Earlier builds kept forwarded mails there as files; drafts hold them now.
    (void)compose::removeForwardCopies(drafts);
    bool composeOpened = false;
    bool replyOpened = false;
    for (const compose::StoredDraft& stored : compose::listDrafts(drafts)) {
        if (!stored.draft) {
            ui::tell(m_mainWindow.get(), ui::Say::kDraftUnreadable,
                     {ui::fromUtf8(stored.path.filename().string())}, stored.draft.status());
            continue;
        }
        const compose::Draft& draft = stored.draft.value();
        const bool reply = draft.kind == compose::DraftKind::kReply;
        if (reply ? replyOpened : composeOpened) {
            continue;
        }
        // Closing the question keeps the draft for the next start.
        const ui::Choice choice = ui::askYesNoCancel(
            m_mainWindow.get(),
            ui::words(ui::Say::kDraftFound, {ui::fromUtf8(draft.to), ui::fromUtf8(draft.subject)}),
            QStringLiteral("下書き"));
        if (choice == ui::Choice::kNoButton) {
            (void)compose::removeDraft(stored.path);
        }
        if (choice != ui::Choice::kYesButton) {
            continue;
        }
        if (reply) {
            form<compose::ReplyWindow>().openDraft(stored.path, draft);
            showForm<compose::ReplyWindow>();
            replyOpened = true;
        } else {
            form<compose::ComposeWindow>().openDraft(stored.path, draft);
            showForm<compose::ComposeWindow>();
            composeOpened = true;
        }
    }
}

}  // namespace qf::app
