#include "compose/DraftSaver.h"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QTimer>
#include <QWidget>

#include "ui/FormHelpers.h"
#include "ui/MessageBoxes.h"

namespace qf::compose {

DraftSaver::DraftSaver(QWidget* window, std::filesystem::path folder,
                       std::function<Draft()> contents)
    : QObject(window),
      m_window(window),
      m_folder(std::move(folder)),
      m_contents(std::move(contents)) {
    m_quiet = new QTimer(this);
    m_quiet->setSingleShot(true);
    m_quiet->setInterval(kQuietMilliseconds);
    connect(m_quiet, &QTimer::timeout, this, [this] { (void)saveNow(); });
    m_longest = new QTimer(this);
    m_longest->setSingleShot(true);
    m_longest->setInterval(kLongestWaitMilliseconds);
    connect(m_longest, &QTimer::timeout, this, [this] { (void)saveNow(); });
    window->installEventFilter(this);
}

void DraftSaver::watch(QLineEdit* field) {
    connect(field, &QLineEdit::textChanged, this, &DraftSaver::changed);
}

void DraftSaver::watch(QTextEdit* field) {
    connect(field, &QTextEdit::textChanged, this, &DraftSaver::changed);
}

void DraftSaver::detach() {
    m_window->removeEventFilter(this);
    m_quiet->stop();
    m_longest->stop();
    m_stopped = true;
}

void DraftSaver::adopt(const std::filesystem::path& path) {
    m_path = path;
    m_dirty = false;
}

void DraftSaver::changed() {
    if (m_stopped) {
        return;
    }
    m_dirty = true;
    m_quiet->start();
    if (!m_longest->isActive()) {
        m_longest->start();
    }
}

bool DraftSaver::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::WindowDeactivate && m_dirty && !m_stopped) {
        (void)saveNow();
    }
    return QObject::eventFilter(watched, event);
}

Status DraftSaver::saveNow() {
    m_quiet->stop();
    m_longest->stop();
    if (m_stopped) {
        return Status::ok();
    }
    const Draft draft = m_contents();
    if (m_folder.empty()) {
        return Status::ok();
    }
    if (draft.empty()) {
        discard();
        return Status::ok();
    }
    if (m_path.empty()) {
        m_path = m_folder / newDraftName();
    }
    m_lastFailure = saveDraft(m_path.parent_path(), m_path.filename().string(), draft);
    // A failed write is tried again at the next change.
    m_dirty = !m_lastFailure.isOk();
    return m_lastFailure;
}

void DraftSaver::discard() {
    m_quiet->stop();
    m_longest->stop();
    m_dirty = false;
    if (!m_path.empty()) {
        (void)removeDraft(m_path);
        m_path.clear();
    }
}

QPushButton* addDraftButton(QWidget* window, const base::TwipsRect& place,
                            std::function<void()> saveNow) {
    auto* button = new QPushButton(QStringLiteral("下書き保存"), window);
    button->setObjectName(QStringLiteral("SaveDraft"));
    ui::placeInTwips(button, place);
    QObject::connect(button, &QPushButton::clicked, window, std::move(saveNow));
    return button;
}

void tellDraftSaved(QWidget* window, const Status& saved, QLabel* status) {
    if (!saved) {
        ui::tell(window, ui::Say::kDraftNotSaved, {}, saved);
    } else if (status != nullptr) {
        status->setText(ui::words(ui::Say::kDraftSaved, {}, QString()));
    }
}

}  // namespace qf::compose
