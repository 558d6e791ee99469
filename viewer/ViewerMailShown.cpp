// The viewer's list and the mail it shows: listing a box, showing the
// chosen record (its original's texts when one is kept), the receive run's
// staging, and the keys and clicks that choose a mail.
#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTextEdit>
#include <QTreeWidget>

#include "ui/MessageBoxes.h"
#include "viewer/ViewerWindow.h"

namespace qf::viewer {
namespace {

// Spaces (U+0020 only) removed at both ends, as every field of a record is.
QString stripSpaces(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == u' ') {
        ++begin;
    }
    while (end > begin && text.at(end - 1) == u' ') {
        --end;
    }
    return text.mid(begin, end - begin);
}

// The list rows of `listing` from row `first` on.
QList<QTreeWidgetItem*> listItems(const BoxListing& listing, qsizetype first) {
    QList<QTreeWidgetItem*> items;
    for (auto row =
             listing.rows.begin() + std::min<qsizetype>(first, qsizetype(listing.rows.size()));
         row != listing.rows.end(); ++row) {
        auto* item = new QTreeWidgetItem(QStringList{QString::fromStdString(row->subject),
                                                     QString::fromStdString(row->fromOrTo),
                                                     QString::fromStdString(row->date)});
        // The row knows its record: the commands act on a number, not a text.
        item->setData(0, ViewerWindow::kRecordNumberRole, int(row - listing.rows.begin()) + 1);
        items.append(item);
    }
    return items;
}

}  // namespace

int ViewerWindow::recordNumberOf(const QTreeWidgetItem* item) {
    return item->data(0, kRecordNumberRole).toInt();
}

void ViewerWindow::loadList() {
    m_mailList->clear();
    m_body->clear();
    BoxListing listing = listBox(m_store, m_currentBox);

    const QList<QTreeWidgetItem*> items = listItems(listing, 0);
    m_mailList->addTopLevelItems(items);
    if (!items.isEmpty()) {
        // The last mail is the one shown: the arrow keys move on from it.
        m_mailList->selectionModel()->setCurrentIndex(
            m_mailList->model()->index(int(items.size()) - 1, 0), QItemSelectionModel::NoUpdate);
    }
    if (listing.last) {
        showMail(*listing.last);
        passBodyThroughClipboard();
    }
    writeCount();
    if (!listing.status.isOk()) {
        ui::tell(this, ui::Say::kBoxNotReadToEnd, {}, listing.status);
    }
}

void ViewerWindow::listArrivedMails() {
    const BoxListing listing = listBox(m_store, m_currentBox);
    m_mailList->addTopLevelItems(listItems(listing, m_mailList->topLevelItemCount()));
    writeCount();
    if (!listing.status.isOk()) {
        ui::tell(this, ui::Say::kBoxNotReadToEnd, {}, listing.status);
    }
}

void ViewerWindow::showSelectedMail() {
    m_selectionMarker = kSelectedMarker;
    if (m_mailList->topLevelItemCount() == 0) {
        ui::tell(this, ui::Say::kNothingToSelect);
        return;
    }
    QTreeWidgetItem* item = m_mailList->currentItem();
    if (item == nullptr || !item->isSelected()) {
        // Items but none chosen: there is no mail this click could mean.
        m_selectionMarker.clear();
        return;
    }
    const int recordNumber = recordNumberOf(item);
    Result<ShownMail> mail = readMail(m_store, m_currentBox, recordNumber);
    if (!mail.isOk()) {
        ui::tell(this, ui::Say::kMailNotRead, {}, mail.status());
        return;
    }
    showMail(mail.value());
    writeCount();
    passBodyThroughClipboard();
}

void ViewerWindow::showRecord(int recordNumber) {
    QTreeWidgetItem* item = m_mailList->topLevelItem(recordNumber - 1);
    if (item == nullptr) {
        return;
    }
    m_mailList->setCurrentItem(item);
    m_mailList->scrollToItem(item);
    showSelectedMail();
}

void ViewerWindow::stageMail(const QString& subject, const QString& sender, const QString& date,
                             const QString& body) {
    m_shown = {subject.toStdString(), sender.toStdString(), date.toStdString(),
               body.toStdString()};  // no record yet
    showFields(subject, sender, date);
    m_body->setPlainText(body);
}

void ViewerWindow::showHighlightedMail() {
    QTreeWidgetItem* item = m_mailList->currentItem();
    Result<ShownMail> mail = Status::notFound("no mail highlighted");
    if (item != nullptr && item->isSelected()) {
        mail = readMail(m_store, m_currentBox, recordNumberOf(item));
    }
    writeCount();
    if (!mail.isOk()) {
        clearShownMail();
        m_selectionMarker.clear();
        return;
    }
    // As a click shows it, but the user's clipboard is left alone.
    showMail(mail.value());
    m_body->setPlainText(stripSpaces(m_body->toPlainText()));
}

// A long text shows from its beginning.
void ViewerWindow::showFields(const QString& subject, const QString& fromOrTo,
                              const QString& date) {
    for (auto [field, text] :
         {std::pair{m_subject, &subject}, {m_sender, &fromOrTo}, {m_date, &date}}) {
        field->setText(*text);
        field->setCursorPosition(0);
    }
}

void ViewerWindow::writeCount() {
    m_count->setText(QString::number(m_mailList->topLevelItemCount()));
}

void ViewerWindow::showMail(const ShownMail& mail) {
    m_shown = mail;
    showFields(QString::fromStdString(mail.subject), QString::fromStdString(mail.fromOrTo),
               QString::fromStdString(mail.date));
    m_body->setPlainText(QString::fromStdString(mail.body));
}

// Whatever body is shown also goes through the plain-text clipboard, so the
// clipboard holds it afterwards and the pane shows exactly plain text.
void ViewerWindow::passBodyThroughClipboard() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(m_body->toPlainText());
    m_body->setPlainText(stripSpaces(clipboard->text()));
}

bool ViewerWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_mailList->viewport() && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        // After the view has updated its selection for this click.
        QMetaObject::invokeMethod(this, &ViewerWindow::showSelectedMail, Qt::QueuedConnection);
    }
    if (watched == m_mailList && event->type() == QEvent::KeyPress) {
        showMailAfterKeyMove();
    }
    return QMainWindow::eventFilter(watched, event);
}

// A key that moves the list's selection (arrows, Page Up/Down, Home, End)
// shows the mail it lands on and sets the marker, as a click does; a key
// that leaves the selection where it was shows nothing again.
void ViewerWindow::showMailAfterKeyMove() {
    const QPersistentModelIndex before(m_mailList->currentIndex());
    QMetaObject::invokeMethod(
        this,
        [this, before] {
            const QModelIndex now = m_mailList->currentIndex();
            if (now.isValid() && now != before && m_mailList->selectionModel()->isSelected(now)) {
                showSelectedMail();
            }
        },
        Qt::QueuedConnection);
}

}  // namespace qf::viewer
