// Keeps what is typed in a compose, reply or forward window as a draft
// (Drafts.h): a few seconds after the last key, when the window loses focus,
// and on the window's "下書き保存" command. A window that is sent or whose
// text is thrown away discards its draft.
#pragma once

#include <QObject>
#include <QString>
#include <filesystem>
#include <functional>

#include "base/Status.h"
#include "base/Twips.h"
#include "compose/Drafts.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTextEdit;
class QTimer;
class QWidget;

namespace qf::compose {

class DraftSaver final : public QObject {
    Q_OBJECT

  public:
    // Quiet time after the last key before the draft is written; and the
    // longest a change waits while the typing goes on without a pause.
    static constexpr int kQuietMilliseconds = 2000;
    static constexpr int kLongestWaitMilliseconds = 4000;

    // Watches `window` (for its loss of focus) and saves what `contents`
    // gives into `folder`; an empty `folder` saves nothing.
    DraftSaver(QWidget* window, std::filesystem::path folder, std::function<Draft()> contents);

    // A change in `field` starts the quiet time again.
    void watch(QLineEdit* field);
    void watch(QTextEdit* field);

    // Continues a draft offered at start: later saves replace that file.
    void adopt(const std::filesystem::path& path);

    // Writes the draft now (an empty window writes none and drops its
    // file). The failure, if any, is returned and also kept in lastFailure().
    Status saveNow();
    // Removes the draft file (a send, or the text thrown away); what is
    // typed afterwards makes a new one.
    void discard();
    // Saves no more and leaves the file as it is: the window is being
    // destroyed, and its fields with it.
    void detach();
    // Removes the draft file and saves no more: the window is going away.
    void finish() {
        discard();
        m_stopped = true;
    }
    // The window closes: the program's end keeps what was typed for the
    // next start; any other close (a send, a stop, a close the user agreed
    // to) throws it away.
    void windowClosing(bool programEnding) {
        if (programEnding) {
            (void)saveNow();
        } else {
            finish();
        }
    }

    const std::filesystem::path& path() const { return m_path; }
    const Status& lastFailure() const { return m_lastFailure; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void changed();

    QWidget* m_window = nullptr;
    std::filesystem::path m_folder;
    std::filesystem::path m_path;  // empty until first written
    std::function<Draft()> m_contents;
    QTimer* m_quiet = nullptr;
    QTimer* m_longest = nullptr;  // started by the first change after a save
    bool m_dirty = false;
    bool m_stopped = false;
    Status m_lastFailure;
};

// The "下書き保存" button of a window at `place`, calling `saveNow`.
QPushButton* addDraftButton(QWidget* window, const base::TwipsRect& place,
                            std::function<void()> saveNow);
// Says how a "下書き保存" went: in `status`, or in a box when it failed.
void tellDraftSaved(QWidget* window, const Status& saved, QLabel* status);

}  // namespace qf::compose
