// The attachment browser's web view: shows the one local file the user chose.
// A mail's HTML attachment is untrusted, so what it shows
// - reaches no network: every request but file:, data:, blob: and about: is
//   blocked before it leaves, images and scripts alike;
// - cannot read other local files from script, run plugins, open windows or
//   touch the clipboard, and keeps nothing on disk (an off-the-record profile);
// - cannot move the view to another address by itself.
// A file the view cannot show is offered through a save dialog and written
// only where the user says; nothing is ever run.
#pragma once

#include <QUrl>
#include <QWebEngineView>
#include <functional>

#include "attachments/LocalFileView.h"

class QWebEngineDownloadRequest;
class QWebEngineProfile;

namespace qf::attachments {

class LocalFilePage;

class LocalFileBrowser : public QWebEngineView, public LocalFileView {
    Q_OBJECT

  public:
    explicit LocalFileBrowser(QWidget* parent);
    ~LocalFileBrowser() override;

    QWidget& widget() override { return *this; }
    void showLocalFile(const QString& path) override;
    void setSaveFailureReporter(std::function<void(const QString&)> report) override {
        m_reportSaveFailure = std::move(report);
    }

  private:
    void restrictSettings();
    void offerDownload(QWebEngineDownloadRequest* download);

    QWebEngineProfile* m_profile;
    LocalFilePage* m_page;
    std::function<void(const QString&)> m_reportSaveFailure;
};

}  // namespace qf::attachments
