#include "compose/AttachmentButtons.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

namespace qf::compose {

namespace {

void chooseFirstAttachment(const AttachmentControls& c,
                           const std::function<QString()>& chooseFile) {
    c.attachMore->setEnabled(true);
    const QString path = chooseFile();
    if (!path.isEmpty()) {
        c.paths->setText(path);
        c.rows->addItem(path);
        c.dropAll->setEnabled(true);
    }
    c.attachFirst->setEnabled(false);
}

void addAttachment(const AttachmentControls& c, const std::function<QString()>& chooseFile) {
    c.rows->show();
    if (c.paths->text().isEmpty()) {
        return;
    }
    const QString path = chooseFile();
    if (!path.isEmpty()) {
        c.paths->setText(c.paths->text() + QStringLiteral(",") + path);
        c.rows->addItem(path);
    }
}

void dropAttachments(const AttachmentControls& c) {
    c.paths->clear();
    c.rows->clear();
    c.rows->hide();
    c.attachMore->setEnabled(false);
    c.dropAll->setEnabled(false);
    c.attachFirst->setEnabled(true);
}

}  // namespace

void connectAttachmentButtons(const AttachmentControls& c, std::function<QString()> chooseFile) {
    QObject::connect(c.attachFirst, &QPushButton::clicked, c.attachFirst,
                     [c, chooseFile] { chooseFirstAttachment(c, chooseFile); });
    QObject::connect(c.attachMore, &QPushButton::clicked, c.attachMore,
                     [c, chooseFile] { addAttachment(c, chooseFile); });
    QObject::connect(c.dropAll, &QPushButton::clicked, c.dropAll, [c] { dropAttachments(c); });
}

}  // namespace qf::compose
