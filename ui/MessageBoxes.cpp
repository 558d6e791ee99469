#include "ui/MessageBoxes.h"

#include <QMessageBox>
#include <memory>
#include <string>
#include <vector>

namespace qf::ui {
namespace {

QMessageBox::StandardButton buttonOf(Choice choice) {
    switch (choice) {
        case Choice::kYesButton:
            return QMessageBox::Yes;
        case Choice::kNoButton:
            return QMessageBox::No;
        case Choice::kCancelButton:
            break;
    }
    return QMessageBox::Cancel;
}

// Runs `box` and returns the button that closed it.
QMessageBox::StandardButton run(QMessageBox& box) {
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

class QtMessageBoxes final : public MessageBoxes {
  public:
    bool show(QWidget* parent, const MessageRequest& request) override {
        switch (request.kind) {
            case MessageKind::kQuestion:
                return run(*messageBox(parent, request, QMessageBox::Yes | QMessageBox::No,
                                       QMessageBox::No)) == QMessageBox::Yes;
            case MessageKind::kInformation:
            case MessageKind::kWarning:
                run(*messageBox(parent, request, QMessageBox::Ok, QMessageBox::Ok));
                return true;
            case MessageKind::kRetry:
                return run(*messageBox(parent, request, QMessageBox::Ok | QMessageBox::Cancel,
                                       QMessageBox::Ok)) == QMessageBox::Ok;
        }
        return false;
    }

    Choice choose(QWidget* parent, const MessageRequest& request) override {
        switch (run(*messageBox(parent, request,
                                QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                                buttonOf(request.defaultChoice)))) {
            case QMessageBox::Yes:
                return Choice::kYesButton;
            case QMessageBox::No:
                return Choice::kNoButton;
            default:
                return Choice::kCancelButton;
        }
    }
};

QtMessageBoxes g_qtBoxes;
MessageBoxes* g_current = &g_qtBoxes;

}  // namespace

std::unique_ptr<QMessageBox> messageBox(QWidget* parent, const MessageRequest& request,
                                        QMessageBox::StandardButtons buttons,
                                        QMessageBox::StandardButton defaultButton) {
    QMessageBox::Icon icon = QMessageBox::Information;
    if (request.kind == MessageKind::kQuestion) {
        icon = QMessageBox::Question;
    } else if (request.kind != MessageKind::kInformation) {
        icon = QMessageBox::Warning;
    }
    auto box = std::make_unique<QMessageBox>(icon, request.title, QString(), buttons, parent);
    // Set before the text: the text may hold a sender's name, a server's
    // reply or a file name, and must never be taken for markup.
    box->setTextFormat(Qt::PlainText);
    box->setText(request.text);
    box->setDefaultButton(defaultButton);
    return box;
}

MessageBoxes& messageBoxes() {
    return *g_current;
}

void setMessageBoxes(MessageBoxes* boxes) {
    g_current = boxes != nullptr ? boxes : &g_qtBoxes;
}

bool ask(QWidget* parent, const QString& text, const QString& title) {
    return g_current->show(parent, {MessageKind::kQuestion, title, text});
}

Choice askYesNoCancel(QWidget* parent, const QString& text, const QString& title,
                      Choice defaultChoice) {
    return g_current->choose(parent, {MessageKind::kQuestion, title, text, defaultChoice});
}

void inform(QWidget* parent, const QString& text, const QString& title) {
    g_current->show(parent, {MessageKind::kInformation, title, text});
}

void warn(QWidget* parent, const QString& text, const QString& title) {
    g_current->show(parent, {MessageKind::kWarning, title, text});
}

namespace {

Message messageOf(Say id, std::initializer_list<QString> context, const QString& detail) {
    Message message{id, {}, detail.toStdString()};
    message.context.reserve(context.size());
    for (const QString& text : context) {
        message.context.push_back(text.toStdString());
    }
    return message;
}

}  // namespace

QString words(Say id, std::initializer_list<QString> context, const QString& detail) {
    return QString::fromStdString(ui::words(messageOf(id, context, detail)));
}

bool tell(QWidget* parent, Say id, std::initializer_list<QString> context, const QString& detail) {
    return tell(parent, messageOf(id, context, detail));
}

QString words(Say id, std::initializer_list<QString> context, const Status& failure) {
    return words(id, context, QString::fromStdString(failure.outsideText()));
}

bool tell(QWidget* parent, Say id, std::initializer_list<QString> context, const Status& failure) {
    return tell(parent, id, context, QString::fromStdString(failure.outsideText()));
}

bool tell(QWidget* parent, const Message& message) {
    const Wording& row = wording(message.id);
    const QString title = *row.title == '\0' ? kProgramTitle : QString::fromUtf8(row.title);
    const QString text = QString::fromStdString(ui::words(message));
    switch (row.box) {
        case Box::kAsk:
            return ask(parent, text, title);
        case Box::kInform:
        case Box::kStatus:
            inform(parent, text, title);
            return true;
        case Box::kWarn:
            warn(parent, text, title);
            return true;
        case Box::kRetry:
            return g_current->show(parent, {MessageKind::kRetry, title, text});
    }
    return false;
}

}  // namespace qf::ui
