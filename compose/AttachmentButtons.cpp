#include "compose/AttachmentButtons.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
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

QString chooseAttachmentFile(QWidget* parent) {
    // One folder for the compose and the reply window alike.
    static QString lastFolder = QDir::homePath();
    // One existing file; Qt's dialog has no read-only check box to hide.
    QFileDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("AttachCommonDialog"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDirectory(lastFolder);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    const QString chosen = dialog.selectedFiles().constFirst();
    lastFolder = QFileInfo(chosen).absolutePath();
    return chosen;
}

}  // namespace qf::compose
