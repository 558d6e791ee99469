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

std::vector<std::string> chosenAttachments(const AttachmentControls& c) {
    QStringList rows;
    for (int row = 0; row < c.rows->count(); ++row) {
        rows.append(c.rows->item(row)->text());
    }
    const QStringList paths = rows.join(QLatin1Char(',')) == c.paths->text()
                                  ? rows
                                  : c.paths->text().split(QLatin1Char(','), Qt::SkipEmptyParts);
    std::vector<std::string> chosen;
    for (const QString& path : paths) {
        if (!path.trimmed().isEmpty()) {
            chosen.push_back(path.trimmed().toStdString());
        }
    }
    return chosen;
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
