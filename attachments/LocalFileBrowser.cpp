#include "attachments/LocalFileBrowser.h"

#include <QContextMenuEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QWebEngineDownloadRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>

#include "attachments/FileReach.h"

// Qt WebEngine's own start-up: it makes the OpenGL context that its renderer
// and the view share, and marks the application as sharing it. It runs by
// itself only when Qt WebEngine is loaded before the QApplication exists.
namespace QtWebEngineCore {
Q_DECL_IMPORT void initialize();
}

namespace qf::attachments {
namespace {

QUrl withoutFragment(const QUrl& url) {
    return url.adjusted(QUrl::RemoveFragment);
}

// The address of a local file, whatever the bytes of its name: bytes that are
// not UTF-8 stay percent-encoded, and the engine opens those very bytes.
QUrl fileUrl(const QByteArray& path) {
    return QUrl::fromEncoded("file://" + path.toPercentEncoding("/"), QUrl::StrictMode);
}

// The bytes of the path a local address names; empty for another machine's.
std::string localPath(const QUrl& url) {
    if (!url.host().isEmpty() && url.host() != QLatin1String("localhost")) {
        return {};
    }
    return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString();
}

bool isInlineScheme(const QString& scheme) {
    return scheme == QLatin1String("data") || scheme == QLatin1String("about");
}

// The engine's own PDF viewer, an extension built into it, and the shared
// pieces it takes from the engine: all of them come from the engine's own
// resources, never from the network or the disk.
bool isPdfViewer(const QUrl& url) {
    return (url.scheme() == QLatin1String("chrome-extension") &&
            url.host() == QLatin1String("mhjfbmdgcfjbbpaeojofohoefgiehjai")) ||
           (url.scheme() == QLatin1String("chrome") && url.host() == QLatin1String("resources"));
}

}  // namespace

// Lets a request through only for the shown file's folder and below, for
// what the page holds in itself (data: and about: addresses) and for the
// engine's PDF viewer.
class FolderOnlyInterceptor final : public QWebEngineUrlRequestInterceptor {
  public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;

    void setFolder(std::string folder) { m_folder = std::move(folder); }

    void interceptRequest(QWebEngineUrlRequestInfo& info) override {
        const QUrl url = info.requestUrl();
        const bool local = url.scheme() == QLatin1String("file") && !m_folder.empty() &&
                           liesWithin(m_folder, localPath(url));
        if (!local && !isInlineScheme(url.scheme()) && !isPdfViewer(url)) {
            info.block(true);
        }
    }

  private:
    std::string m_folder;
};

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
        return !isMainFrame && isInlineScheme(url.scheme());
    }

  private:
    QUrl m_allowed;
};

LocalFileBrowser::LocalFileBrowser(QWidget* parent)
    : QWebEngineView(parent),
      m_profile(new QWebEngineProfile(this)),
      m_interceptor(new FolderOnlyInterceptor(m_profile)) {
    setObjectName(QStringLiteral("WebBrowser1"));
    m_profile->setUrlRequestInterceptor(m_interceptor);
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
    // A mail's page needs no script; without it the page has no way to open
    // a connection of its own (WebRTC and WebSocket pass no interceptor).
    for (S::WebAttribute off :
         {S::JavascriptEnabled, S::LocalContentCanAccessRemoteUrls, S::JavascriptCanOpenWindows,
          S::JavascriptCanAccessClipboard, S::JavascriptCanPaste,
          S::AllowWindowActivationFromJavaScript, S::AllowRunningInsecureContent,
          S::AllowGeolocationOnInsecureOrigins, S::NavigateOnDropEnabled, S::LocalStorageEnabled,
          S::AutoLoadIconsForPage, S::WebGLEnabled, S::ScreenCaptureEnabled, S::DnsPrefetchEnabled,
          S::HyperlinkAuditingEnabled}) {
        settings->setAttribute(off, false);
    }
    // The page's pictures beside it load (the interceptor keeps every other
    // file out); PDF files are shown by the engine's own viewer.
    for (S::WebAttribute on : {S::LocalContentCanAccessFileUrls, S::PluginsEnabled,
                               S::PdfViewerEnabled, S::WebRTCPublicInterfacesOnly}) {
        settings->setAttribute(on, true);
    }
    // mailto: and other unknown addresses are not handed to other programs.
    settings->setUnknownUrlSchemePolicy(S::DisallowUnknownUrlSchemes);
}

void LocalFileBrowser::showLocalFile(const QByteArray& path, const QString& shownName) {
    m_shownUrl = fileUrl(path);
    m_shownName = shownName;
    m_offerPending = true;
    m_interceptor->setFolder(folderOf(path.toStdString()));
    // The engine's PDF viewer is a page of script of its own; a PDF file
    // brings no page script with it, so script runs for the viewer only.
    m_page->settings()->setAttribute(QWebEngineSettings::JavascriptEnabled,
                                     isPdfFile(path.toStdString()));
    m_page->allow(m_shownUrl);
    setUrl(m_shownUrl);
}

// Only what reads the page: no link is opened, saved or copied elsewhere.
void LocalFileBrowser::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.addAction(pageAction(QWebEnginePage::Copy));
    menu.addAction(pageAction(QWebEnginePage::SelectAll));
    menu.exec(event->globalPos());
}

// The request lives only while this runs: it is accepted (to the place the
// user chose) or cancelled before returning. Only the chosen file itself is
// offered, once per choice, under its listed name: a page cannot start a
// download, pick its name or bring the dialog back.
void LocalFileBrowser::offerDownload(QWebEngineDownloadRequest* download) {
    const bool asked = m_offerPending && withoutFragment(download->url()) == m_shownUrl;
    m_offerPending = false;
    if (!asked) {
        download->cancel();
        return;
    }
    QFileDialog dialog(window());
    dialog.setObjectName(QStringLiteral("DownloadDialog"));
    dialog.setWindowTitle(QStringLiteral("ファイルの保存"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    const QString downloads = download->downloadDirectory();
    dialog.setDirectory(QFileInfo(downloads).isDir() ? downloads : QDir::homePath());
    dialog.selectFile(m_shownName);
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
    // Loaded into a running program, Qt WebEngine finds no shared OpenGL
    // context and its first page crashes on a real display: its start-up is
    // run here, before the first profile, as it would have run at start.
    QtWebEngineCore::initialize();
    return new qf::attachments::LocalFileBrowser(parent);
}
