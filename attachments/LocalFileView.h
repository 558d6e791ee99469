// The web view of the attachment browser as the window sees it. The view
// lives in a module of its own (libqf_webview.so), loaded only when the first
// file that is not a picture is chosen: linking Qt WebEngine into the program
// would cost about 85 MB of memory at every start, web view or not.
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

class QWidget;

namespace qf::attachments {

class LocalFileView {
  public:
    virtual ~LocalFileView() = default;

    // The view itself, owned by the parent it was made with.
    virtual QWidget& widget() = 0;
    // Shows the file at the absolute `path` (its bytes as the file system
    // holds them). A file the view cannot show is offered for saving, once,
    // under `shownName`, the name the file list shows.
    virtual void showLocalFile(const QByteArray& path, const QString& shownName) = 0;
    // Called with the path and the reason when a file the user chose to save
    // could not be; the window words it.
    virtual void setSaveFailureReporter(std::function<void(const QString&)> report) = 0;
};

// The module's one entry point, looked up by this name. It starts Qt
// WebEngine in the running program the first time it is called.
inline constexpr char kCreateLocalFileViewSymbol[] = "qf_createLocalFileView";
using CreateLocalFileView = LocalFileView* (*)(QWidget* parent);

}  // namespace qf::attachments
