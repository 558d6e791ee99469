// Reading a large text file for the editor's pane without holding the
// window: a worker thread reads the file, decodes it as Open always has
// (textFromFileBytes) and builds the pane's next document. Only the last
// step, handing that document to the pane, runs on the window's thread, and
// it takes a moment whatever the size (the pane lays out what it shows
// first, the rest in later steps).
#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <memory>
#include <string>
#include <thread>

class QTextDocument;

namespace qf::viewer {

class BackgroundFileLoad final : public QObject {
    Q_OBJECT

  public:
    // Starts reading `path` at once. Exactly one of loaded, failed and
    // cancelled follows, on this object's thread.
    explicit BackgroundFileLoad(std::string path, QObject* parent = nullptr);
    // Stops the worker and waits for it (a fraction of a second).
    ~BackgroundFileLoad() override;
    BackgroundFileLoad(const BackgroundFileLoad&) = delete;
    BackgroundFileLoad& operator=(const BackgroundFileLoad&) = delete;

    // Ends the load: cancelled follows even when the worker had finished.
    void cancel();
    // After loaded: the document, living in this object's thread, with undo
    // and redo switched off. Null before, or when taken already.
    std::unique_ptr<QTextDocument> takeDocument();

  signals:
    void progressed(int percent);
    void loaded();
    void failed(const QString& diagnostic);
    void cancelled();

  private:
    void work(const std::string& path);
    std::unique_ptr<QTextDocument> buildDocument(const QString& text);
    bool keepGoing(int percent);
    void finish();

    QThread* m_home;
    std::atomic<bool> m_cancel{false};
    int m_lastPercent = -1;  // worker only
    // Written by the worker before it ends; read after the join.
    std::unique_ptr<QTextDocument> m_document;
    QString m_failure;
    std::thread m_worker;
};

}  // namespace qf::viewer
