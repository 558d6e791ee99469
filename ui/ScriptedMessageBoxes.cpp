#include "ui/ScriptedMessageBoxes.h"

namespace qf::ui {

ScriptedMessageBoxes::ScriptedMessageBoxes() : m_previous(&messageBoxes()) {
    setMessageBoxes(this);
}

ScriptedMessageBoxes::~ScriptedMessageBoxes() {
    setMessageBoxes(m_previous);
}

bool ScriptedMessageBoxes::show(QWidget* /*parent*/, const MessageRequest& request) {
    m_shown.append(request);
    if (request.kind != MessageKind::kQuestion && request.kind != MessageKind::kRetry) {
        return true;
    }
    return !m_answers.isEmpty() && m_answers.takeFirst();
}

Choice ScriptedMessageBoxes::choose(QWidget* /*parent*/, const MessageRequest& request) {
    m_shown.append(request);
    return m_choices.isEmpty() ? Choice::kCancelButton : m_choices.takeFirst();
}

}  // namespace qf::ui
