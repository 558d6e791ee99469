#include "compose/AttachmentButtons.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

namespace qf::compose {

namespace {

void chooseFirstAttachment(const AttachmentControls& c,
                           const std::function<QString()>& chooseFile) {
    c.Command9->setEnabled(true);
    const QString path = chooseFile();
    if (!path.isEmpty()) {
        c.AttachText->setText(path);
        c.List2->addItem(path);
        c.Command10->setEnabled(true);
    }
    c.AttachCommand->setEnabled(false);
}

void addAttachment(const AttachmentControls& c, const std::function<QString()>& chooseFile) {
    c.List2->show();
    if (c.AttachText->text().isEmpty()) {
        return;
    }
    const QString path = chooseFile();
    if (!path.isEmpty()) {
        c.AttachText->setText(c.AttachText->text() + QStringLiteral(",") + path);
        c.List2->addItem(path);
    }
}

void dropAttachments(const AttachmentControls& c) {
    c.AttachText->clear();
    c.List2->clear();
    c.List2->hide();
    c.Command9->setEnabled(false);
    c.Command10->setEnabled(false);
    c.AttachCommand->setEnabled(true);
}

}  // namespace

void connectAttachmentButtons(const AttachmentControls& c, std::function<QString()> chooseFile) {
    QObject::connect(c.AttachCommand, &QPushButton::clicked, c.AttachCommand,
                     [c, chooseFile] { chooseFirstAttachment(c, chooseFile); });
    QObject::connect(c.Command9, &QPushButton::clicked, c.Command9,
                     [c, chooseFile] { addAttachment(c, chooseFile); });
    QObject::connect(c.Command10, &QPushButton::clicked, c.Command10, [c] { dropAttachments(c); });
}

}  // namespace qf::compose
