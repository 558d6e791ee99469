// The editor on the viewer's body pane: its commands, the resize layout
// and what closing the window saves of the editor's settings.
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QStatusBar>
#include <QTextEdit>
#include <QTreeWidget>

#include "editor/EditorLayout.h"
#include "ui/ActiveLabel.h"
#include "ui/FormHelpers.h"
#include "viewer/EditorCommands.h"
#include "viewer/EditorSettings.h"
#include "viewer/ViewerLayout.h"
#include "viewer/ViewerWindow.h"

namespace qf::viewer {

using base::twipsToPixels;
using ui::pixelRect;

void ViewerWindow::createEditor() {
    m_editor = new EditorCommands({this, m_body, m_searchText, m_subject, m_sender, m_date},
                                  m_editorFile, m_folder.root().string(), m_changed, this);
}

void ViewerWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    applyResizeLayout(true);
}

void ViewerWindow::reapplyLayoutWithoutMaximisedRule() {
    applyResizeLayout(false);
}

// m_copyField and m_copyHeader lie on the status bar, whose own layout keeps them there
// in any window state; the layout here shows them and places the rest.
void ViewerWindow::applyResizeLayout(bool withMaximisedRule) {
    using base::pixelsToTwips;
    editor::ResizeInput in;
    in.windowWidth = pixelsToTwips(width());
    in.windowHeight = pixelsToTwips(height());
    in.paneLeft = kBodyPaneLeftTwips;
    in.quickSaveLeft = pixelsToTwips(m_statusBar->x() + m_quickSave->x());
    in.statusBar = {pixelsToTwips(m_statusBar->x()), pixelsToTwips(m_statusBar->y()),
                    pixelsToTwips(m_statusBar->width()), pixelsToTwips(m_statusBar->height())};
    in.maximised = isMaximized();
    in.clientHeight = pixelsToTwips(centralWidget()->height());
    // A whole date with its zone, e.g. "+0900", and the field's frame.
    in.dateMinWidth = pixelsToTwips(
        m_date->fontMetrics().horizontalAdvance(QStringLiteral("Wed, 30 Sep 2026 23:59:59 +0900")) +
        12);
    const editor::ResizeLayout out = editor::resizeLayout(in, withMaximisedRule);

    m_copyField->show();
    m_copyHeader->show();
    m_mailList->resize(twipsToPixels(out.listWidth), twipsToPixels(out.listHeight));
    for (auto [field, rect] :
         {std::pair{m_subject, out.subject}, {m_sender, out.sender}, {m_date, out.date}}) {
        field->setGeometry(twipsToPixels(rect.left), twipsToPixels(rect.top),
                           twipsToPixels(rect.width), field->height());
    }
    m_body->setGeometry(pixelRect(out.pane));

    // The command and search rows keep their distance below the list.
    const int moveBy = twipsToPixels(out.commandRowShift) - twipsToPixels(m_rowShiftTwips);
    m_rowShiftTwips = out.commandRowShift;
    if (moveBy != 0) {
        for (QWidget* row : std::initializer_list<QWidget*>{
                 m_deleteOnePicture, m_moveToKeepBoxPicture, m_registerSenderPicture,
                 m_replyPicture, m_deleteAllPicture, m_moveToKeepBox, m_deleteOne, m_registerSender,
                 m_reply, m_deleteAll, m_countLabel, m_count, m_searchLabel, m_searchText,
                 m_helpBox}) {
            row->move(row->x(), row->y() + moveBy);
        }
    }
}

void ViewerWindow::closeEvent(QCloseEvent* event) {
    writeClosingSettings(m_editor->autoSaveChoice());
    QMainWindow::closeEvent(event);
}

}  // namespace qf::viewer
