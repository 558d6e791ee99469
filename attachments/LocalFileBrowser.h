// The attachment browser's web view: shows the one local file the user chose.
// A mail's HTML attachment is untrusted, so what it shows
// - runs no script at all: nothing of the page can open a connection (fetch,
//   WebSocket, WebRTC), read a file, open a window or start a download;
// - loads nothing but the chosen file and what lies in its folder (and the
//   folders below it): every other request, the network's and other local
//   files' alike, is blocked before it leaves;
// - cannot move the view to another address, by a link, a form or a refresh;
// - keeps nothing on disk (an off-the-record profile).
// A file the view cannot show is offered once through a save dialog, under
// the name the file list shows, and written only where the user says; any
// other download is refused and nothing is ever run.
#pragma once

#include <QUrl>
#include <QWebEngineView>
#include <functional>

#include "attachments/LocalFileView.h"

class QWebEngineDownloadRequest;
class QWebEngineProfile;

namespace qf::attachments {

class FolderOnlyInterceptor;
class LocalFilePage;

class LocalFileBrowser : public QWebEngineView, public LocalFileView {
    Q_OBJECT

  public:
    explicit LocalFileBrowser(QWidget* parent);
    ~LocalFileBrowser() override;

    QWidget& widget() override { return *this; }
    void showLocalFile(const QByteArray& path, const QString& shownName) override;
    void setSaveFailureReporter(std::function<void(const QString&)> report) override {
        m_reportSaveFailure = std::move(report);
    }

  protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    void restrictSettings();
    void offerDownload(QWebEngineDownloadRequest* download);

    QWebEngineProfile* m_profile;
    FolderOnlyInterceptor* m_interceptor;
    LocalFilePage* m_page;
    QUrl m_shownUrl;
    QString m_shownName;
    // The chosen file may be offered for saving once: set by each choice,
    // spent by the first download request.
    bool m_offerPending = false;
    std::function<void(const QString&)> m_reportSaveFailure;
};

}  // namespace qf::attachments
