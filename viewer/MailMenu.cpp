// The viewer's mail menu: reply to all and the two forwards of the shown
// mail. The windows they open are asked for by intent; the mail as it came
// comes from the window environment (WindowEnvironment::originalOf).
#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTextEdit>
#include <filesystem>

#include "store/AttachmentIndex.h"
#include "store/BoxCatalogue.h"
#include "ui/ActiveLabel.h"
#include "ui/MessageBoxes.h"
#include "ui/TextConversion.h"
#include "ui/WindowEnvironment.h"
#include "viewer/ViewerWindow.h"

namespace qf::viewer {
namespace {

// A name read back from the index stays a file of the attachment folder.
bool isPlainFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

}  // namespace

void ViewerWindow::addMailMenu() {
    if (m_env == nullptr) {
        return;
    }
    QMenu* menu = menuBar()->addMenu(QStringLiteral("メール(&M)"));
    menu->setObjectName(QStringLiteral("mMail"));
    const std::pair<const char*, std::pair<QString, void (ViewerWindow::*)()>> items[] = {
        {"mReplyAll", {QStringLiteral("全員に返信"), &ViewerWindow::replyToAll}},
        {"mForward", {QStringLiteral("転送"), &ViewerWindow::forward}},
        {"mForwardAttached",
         {QStringLiteral("添付として転送"), &ViewerWindow::forwardAsAttachment}},
    };
    for (const auto& [name, item] : items) {
        QAction* action = menu->addAction(item.first);
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, item.second);
    }
    // Answers and forwards belong to received mail, as the reply does; the
    // whole mail only where it is kept.
    connect(menu, &QMenu::aboutToShow, this, [this, menu] {
        const bool received = m_reply->isEnabled();
        for (QAction* action : menu->actions()) {
            action->setEnabled(received);
        }
        const int record = selectedRecordNumber();
        findChild<QAction*>(QStringLiteral("mForwardAttached"))
            ->setEnabled(received && record > 0 && m_env->originalOf(m_currentBox, record));
    });
}

void ViewerWindow::replyToAll() {
    const int record = selectedRecordNumber();
    if (m_env == nullptr || !takeSelection()) {
        return;
    }
    m_env->intents().openReplyToAll(m_subject->text(), m_sender->text(), m_body->toPlainText(),
                                    m_env->originalOf(m_currentBox, record));
}

// The files the receive expanded for the shown mail, found by its record;
// those no longer in the attachment folder are named in a notice.
QStringList ViewerWindow::shownMailAttachments() {
    const store::BoxInfo* box = store::findBox(m_currentBox);
    if (box == nullptr) {
        return {};
    }
    const std::vector<std::string> names = store::attachmentsOf(
        m_folder.dataFile(store::kAttachmentIndexFile),
        store::attachmentKey(m_store.currentRecord(m_currentBox), store::layoutOf(box->kind)));
    QStringList paths;
    int missing = 0;
    for (const std::string& name : names) {
        const std::filesystem::path path = m_folder.attachmentFolder() / name;
        std::error_code error;
        if (isPlainFileName(name) && std::filesystem::is_regular_file(path, error)) {
            paths << ui::fromUtf8(path.string());
        } else {
            ++missing;
        }
    }
    if (missing > 0) {
        ui::tell(this, ui::Say::kForwardAttachmentsMissing, {QString::number(missing)});
    }
    return paths;
}

void ViewerWindow::forward() {
    if (m_env == nullptr || !takeSelection()) {
        return;
    }
    m_env->intents().openForward({m_subject->text(), m_sender->text(), m_date->text(),
                                  m_body->toPlainText(), shownMailAttachments(), std::nullopt});
}

void ViewerWindow::forwardAsAttachment() {
    const int record = selectedRecordNumber();
    if (m_env == nullptr || !takeSelection()) {
        return;
    }
    std::optional<std::string> original = m_env->originalOf(m_currentBox, record);
    if (!original) {
        ui::tell(this, ui::Say::kForwardNoOriginal);
        return;
    }
    m_env->intents().openForward({m_subject->text(),
                                  m_sender->text(),
                                  m_date->text(),
                                  m_body->toPlainText(),
                                  {},
                                  std::move(original)});
}

}  // namespace qf::viewer
