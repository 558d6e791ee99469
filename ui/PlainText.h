// Text that can hold outside data (a sender's name, a subject, a server's
// reply, a file name) is shown as it is, never read as markup. QLabel,
// tooltips and message boxes guess rich text from the text itself, so a
// "<a href=…>" in a mail would otherwise become a live link; these helpers
// are the one way windows put such text on screen.
#pragma once

#include <QFormLayout>
#include <QLabel>
#include <QString>
#include <QTextDocument>

namespace qf::ui {

// A label whose text is always plain, whatever it is given later.
inline QLabel* plainLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    return label;
}

// A form row whose caption is a plain label, the field its buddy (so the
// caption's "&" still gives the field's access key).
inline void addPlainRow(QFormLayout& form, const QString& caption, QWidget* field,
                        QWidget* parent) {
    QLabel* label = plainLabel(caption, parent);
    label->setBuddy(field);
    form.addRow(label, field);
}

// A tooltip showing `text` literally: tooltips have no plain-text switch, so
// the text goes in escaped, inside markup that keeps its spaces and lines.
inline QString plainToolTip(const QString& text) {
    return text.isEmpty() ? QString() : Qt::convertFromPlainText(text, Qt::WhiteSpacePre);
}

// A window title showing `text` literally: Qt takes "[*]" in a title for
// the place of the modified mark and drops it, unless it is doubled.
inline QString literalWindowTitle(QString text) {
    return text.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
}

}  // namespace qf::ui
