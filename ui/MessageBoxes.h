// The one way windows talk to the user in message boxes: ask (Yes/No),
// inform and warn. The program shows QMessageBox; tests install a scripted
// answerer (ScriptedMessageBoxes) and check what would have been shown.
#pragma once

#include <QMessageBox>
#include <QString>
#include <initializer_list>
#include <memory>

#include "words/Words.h"

class QWidget;

namespace qf::ui {

// The program's own title, used by every message box that names no other.
inline const QString kProgramTitle = QStringLiteral("Quillfern");
// Confirmations of destructive or overwriting commands.
inline const QString kConfirmTitle = QStringLiteral("確認");

enum class MessageKind {
    kQuestion,     // Yes and No buttons, question icon; only Yes goes on
    kInformation,  // OK button
    kWarning,      // OK button, warning icon
    kRetry,        // OK and Cancel buttons, warning icon; true for OK
};

// The answer to a question with Yes, No and Cancel buttons.
enum class Choice { kYesButton, kNoButton, kCancelButton };

struct MessageRequest {
    MessageKind kind = MessageKind::kInformation;
    QString title;
    QString text;
    // The button Enter presses in a Yes/No/Cancel question: the safe one.
    Choice defaultChoice = Choice::kYesButton;
};

class MessageBoxes {
  public:
    virtual ~MessageBoxes() = default;
    // Shows the box and returns true when the user answered Yes (questions)
    // or closed it (other kinds).
    virtual bool show(QWidget* parent, const MessageRequest& request) = 0;
    // Asks `request` (a question) with Yes, No and Cancel buttons.
    virtual Choice choose(QWidget* parent, const MessageRequest& request) = 0;
};

// The box the program shows for `request`, not yet shown: its text is
// always plain text, whatever it holds.
std::unique_ptr<QMessageBox> messageBox(QWidget* parent, const MessageRequest& request,
                                        QMessageBox::StandardButtons buttons,
                                        QMessageBox::StandardButton defaultButton);

// The answerer in use: QMessageBox unless a test installed its own.
MessageBoxes& messageBoxes();
// Installs `boxes` (not owned); nullptr puts the QMessageBox one back.
void setMessageBoxes(MessageBoxes* boxes);

// True only when the user answers Yes.
bool ask(QWidget* parent, const QString& text, const QString& title = kConfirmTitle);
// Yes, No or Cancel; closing the box counts as Cancel. Enter presses
// `defaultChoice`.
Choice askYesNoCancel(QWidget* parent, const QString& text, const QString& title,
                      Choice defaultChoice = Choice::kYesButton);
void inform(QWidget* parent, const QString& text, const QString& title = kProgramTitle);
void warn(QWidget* parent, const QString& text, const QString& title = kProgramTitle);

// The program's message `id` (ui/WordList.h) with its context and the
// library's or server's text, as a QString.
QString words(Say id, std::initializer_list<QString> context = {}, const QString& detail = {});
// Shows message `id` in the box and under the title its row names. True when
// the user answered Yes (questions) or closed the box (other kinds).
bool tell(QWidget* parent, Say id, std::initializer_list<QString> context = {},
          const QString& detail = {});
bool tell(QWidget* parent, const Message& message);
// The message `id` after `failure`: the box shows only its outside text
// (the OS's, a server's or a library's words), never the program's own.
QString words(Say id, std::initializer_list<QString> context, const Status& failure);
bool tell(QWidget* parent, Say id, std::initializer_list<QString> context, const Status& failure);

}  // namespace qf::ui
