#include "viewer/BackgroundFileLoad.h"

#include <QTextCursor>
#include <QTextDocument>
#include <QThread>

#include "editor/EditorText.h"

namespace qf::viewer {
namespace {

// Share of the bar for each step: reading, decoding, building the document.
constexpr int kReadPercent = 40;
constexpr int kDecodedPercent = 50;
// The document takes the text a slice at a time, so that a cancel is seen soon.
constexpr qsizetype kSliceChars = qsizetype{1} << 16;

}  // namespace

BackgroundFileLoad::BackgroundFileLoad(std::string path, QObject* parent)
    : QObject(parent), m_home(thread()) {
    m_worker = std::thread([this, path = std::move(path)] { work(path); });
}

BackgroundFileLoad::~BackgroundFileLoad() {
    m_cancel = true;
    if (m_worker.joinable()) {
        m_worker.join();
    }
}

void BackgroundFileLoad::cancel() {
    m_cancel = true;
}

std::unique_ptr<QTextDocument> BackgroundFileLoad::takeDocument() {
    return std::move(m_document);
}

bool BackgroundFileLoad::keepGoing(int percent) {
    if (percent != m_lastPercent) {
        m_lastPercent = percent;
        QMetaObject::invokeMethod(
            this, [this, percent] { emit progressed(percent); }, Qt::QueuedConnection);
    }
    return !m_cancel;
}

void BackgroundFileLoad::work(const std::string& path) {
    Result<std::string> bytes =
        editor::readTextFile(path, [this](std::uint64_t done, std::uint64_t size) {
            return keepGoing(size == 0 ? kReadPercent : int(done * kReadPercent / size));
        });
    if (bytes.isOk() && keepGoing(kReadPercent)) {
        QString text = QString::fromStdString(editor::textFromFileBytes(bytes.value()));
        bytes = std::string();  // the file's bytes are not needed twice over
        if (keepGoing(kDecodedPercent)) {
            m_document = buildDocument(text);
        }
    } else if (!bytes.isOk() && bytes.status().code() != StatusCode::kCancelled) {
        m_failure = QString::fromStdString(bytes.status().outsideText());
    }
    QMetaObject::invokeMethod(this, &BackgroundFileLoad::finish, Qt::QueuedConnection);
}

std::unique_ptr<QTextDocument> BackgroundFileLoad::buildDocument(const QString& text) {
    auto document = std::make_unique<QTextDocument>();
    document->setUndoRedoEnabled(false);
    QTextCursor cursor(document.get());
    for (qsizetype from = 0; from < text.size();) {
        qsizetype length = std::min(kSliceChars, text.size() - from);
        if (from + length < text.size() && text.at(from + length - 1).isHighSurrogate()) {
            --length;  // a character is never split
        }
        cursor.insertText(text.mid(from, length));
        from += length;
        const int percent = kDecodedPercent + int(from * (100 - kDecodedPercent) / text.size());
        if (!keepGoing(percent)) {
            return nullptr;
        }
    }
    document->moveToThread(m_home);
    return document;
}

void BackgroundFileLoad::finish() {
    m_worker.join();
    if (m_cancel) {
        m_document.reset();
        emit cancelled();
    } else if (m_document) {
        emit loaded();
    } else {
        emit failed(m_failure);
    }
}

}  // namespace qf::viewer
