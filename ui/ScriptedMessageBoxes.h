// Test answerer for message boxes: records every box a window would have
// shown and answers questions (and OK/Cancel boxes) from a script: No, or
// Cancel, once the script runs out.
// Installs itself on construction and restores the previous answerer when
// destroyed.
#pragma once

#include <QList>

#include "ui/MessageBoxes.h"

namespace qf::ui {

class ScriptedMessageBoxes final : public MessageBoxes {
  public:
    ScriptedMessageBoxes();
    ~ScriptedMessageBoxes() override;
    ScriptedMessageBoxes(const ScriptedMessageBoxes&) = delete;
    ScriptedMessageBoxes& operator=(const ScriptedMessageBoxes&) = delete;

    // Answers for the next questions, in order (true = Yes).
    void answer(std::initializer_list<bool> answers) { m_answers.append(QList<bool>(answers)); }

    // Answers for the next Yes/No/Cancel questions, in order; Cancel once
    // they run out.
    void choose(std::initializer_list<Choice> choices) { m_choices.append(QList<Choice>(choices)); }

    const QList<MessageRequest>& shown() const { return m_shown; }
    void clear() { m_shown.clear(); }

    bool show(QWidget* parent, const MessageRequest& request) override;
    Choice choose(QWidget* parent, const MessageRequest& request) override;

  private:
    MessageBoxes* m_previous;
    QList<bool> m_answers;
    QList<Choice> m_choices;
    QList<MessageRequest> m_shown;
};

}  // namespace qf::ui
