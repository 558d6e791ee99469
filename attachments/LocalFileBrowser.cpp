#include "attachments/LocalFileBrowser.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QWebEngineDownloadRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>

namespace qf::attachments {
namespace {

bool isLocalScheme(const QString& scheme) {
    return scheme == QLatin1String("file") || scheme == QLatin1String("data") ||
           scheme == QLatin1String("blob") || scheme == QLatin1String("about");
}

// Blocks every request that would leave the machine.
class LocalOnlyInterceptor final : public QWebEngineUrlRequestInterceptor {
  public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;

    void interceptRequest(QWebEngineUrlRequestInfo& info) override {
        if (!isLocalScheme(info.requestUrl().scheme())) {
            info.block(true);
        }
    }
};

QUrl withoutFragment(const QUrl& url) {
    return url.adjusted(QUrl::RemoveFragment);
}

}  // namespace

// Goes only where the window sent it: the chosen file (and places within it).
// Frames inside the page may hold inline documents only.
class LocalFilePage final : public QWebEnginePage {
  public:
    using QWebEnginePage::QWebEnginePage;

    void allow(const QUrl& url) { m_allowed = withoutFragment(url); }

  protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType /*type*/,
                                 bool isMainFrame) override {
        if (withoutFragment(url) == m_allowed) {
            return true;
        }
        return !isMainFrame && url.scheme() != QLatin1String("file") && isLocalScheme(url.scheme());
    }

  private:
    QUrl m_allowed;
};

LocalFileBrowser::LocalFileBrowser(QWidget* parent)
    : QWebEngineView(parent), m_profile(new QWebEngineProfile(this)) {
    setObjectName(QStringLiteral("WebBrowser1"));
    m_profile->setUrlRequestInterceptor(new LocalOnlyInterceptor(m_profile));
    restrictSettings();
    m_page = new LocalFilePage(m_profile, this);
    setPage(m_page);
    connect(m_profile, &QWebEngineProfile::downloadRequested, this,
            &LocalFileBrowser::offerDownload);
}

// The page goes before the profile it was made with.
LocalFileBrowser::~LocalFileBrowser() {
    delete m_page;
}

void LocalFileBrowser::restrictSettings() {
    QWebEngineSettings* settings = m_profile->settings();
    using S = QWebEngineSettings;
    for (S::WebAttribute off :
         {S::LocalContentCanAccessRemoteUrls, S::LocalContentCanAccessFileUrls, S::PluginsEnabled,
          S::PdfViewerEnabled, S::JavascriptCanOpenWindows, S::JavascriptCanAccessClipboard,
          S::JavascriptCanPaste, S::AllowWindowActivationFromJavaScript,
          S::AllowRunningInsecureContent, S::AllowGeolocationOnInsecureOrigins,
          S::NavigateOnDropEnabled, S::LocalStorageEnabled, S::AutoLoadIconsForPage}) {
        settings->setAttribute(off, false);
    }
    // mailto: and other unknown addresses are not handed to other programs.
    settings->setUnknownUrlSchemePolicy(S::DisallowUnknownUrlSchemes);
}

void LocalFileBrowser::showLocalFile(const QString& path) {
    const QUrl url = QUrl::fromLocalFile(path);
    m_page->allow(url);
    setUrl(url);
}

// The request lives only while this runs: it is accepted (to the place the
// user chose) or cancelled before returning.
void LocalFileBrowser::offerDownload(QWebEngineDownloadRequest* download) {
    QFileDialog dialog(window());
    dialog.setObjectName(QStringLiteral("DownloadDialog"));
    dialog.setWindowTitle(QStringLiteral("ファイルの保存"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    const QString downloads = download->downloadDirectory();
    dialog.setDirectory(QFileInfo(downloads).isDir() ? downloads : QDir::homePath());
    dialog.selectFile(download->downloadFileName());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        download->cancel();
        return;
    }
    const QFileInfo target(dialog.selectedFiles().constFirst());
    download->setDownloadDirectory(target.absolutePath());
    download->setDownloadFileName(target.fileName());
    const QString targetPath = target.filePath();
    connect(download, &QWebEngineDownloadRequest::isFinishedChanged, this,
            [this, download, targetPath] {
                if (download->state() == QWebEngineDownloadRequest::DownloadInterrupted &&
                    m_reportSaveFailure) {
                    m_reportSaveFailure(targetPath + QStringLiteral(": ") +
                                        download->interruptReasonString());
                }
            });
    download->accept();
}

}  // namespace qf::attachments

// The module's entry point (LocalFileView.h).
extern "C" Q_DECL_EXPORT qf::attachments::LocalFileView* qf_createLocalFileView(QWidget* parent) {
    return new qf::attachments::LocalFileBrowser(parent);
}
