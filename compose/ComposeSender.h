// Sends what the compose window holds: the send's settings from the
// environment, the question before a batch goes again to those an earlier
// batch missed (the batch's memory lives here), the passes on a worker
// thread, a message box for each refused pass (shown on the window thread,
// one after another), and the outcome back to the window. The window keeps
// its controls; it hands over the mail as typed and shows what it is told.
#pragma once

#include <QObject>
#include <QString>
#include <deque>
#include <optional>
#include <vector>

#include "compose/BatchMemory.h"
#include "compose/ComposeEnvironment.h"
#include "compose/SendPass.h"
#include "compose/SendWorker.h"
#include "ui/MessageBoxes.h"

class QWidget;

namespace qf::compose {

class ComposeSender : public QObject {
    Q_OBJECT

  public:
    // `window`: the parent of the questions and message boxes.
    ComposeSender(const ComposeEnvironment& env, QWidget* window);

    // From the start of a send until `finished`.
    bool sending() const { return m_worker.running() || m_finishing.has_value(); }
    // A batch under way stops after the pass being sent (the window closes).
    void stopAfterThisPass() { m_worker.requestStop(); }

    // Before a batch: after one that missed some, the recipients to send to
    // again once the user agreed (nullopt when the user said No or nobody is
    // left); an empty list for a batch to the whole address book.
    std::optional<std::vector<BatchRecipient>> agreedRecipients(bool batch);
    // Forgets whom the last batch missed (a new batch, a cleared window).
    void forgetBatch() { m_batch.forget(); }

    // Sends `mail`; `progress` reports as it goes, `finished` at the end.
    void send(const ComposedMail& mail, SendOptions options);

  signals:
    // The status line's text while the passes run.
    void progress(const QString& statusText);
    // Every pass ran; for a batch that missed some, the next batch goes only
    // to them.
    void finished(const SendReport& report, bool batch);

  private:
    SendSettings sendSettings() const;
    void showFailure(const ui::Message& message);
    void endSend(SendReport report, bool batch);
    void finishWhenNoBoxIsOpen();

    const ComposeEnvironment& m_env;
    QWidget* m_window;
    BatchMemory m_batch;  // whom the last batch missed; only they may get it again
    std::deque<ui::Message> m_failureBoxes;  // waiting to be shown
    bool m_showingBoxes = false;
    // The run's end, held back while its failure boxes are shown.
    std::optional<std::pair<SendReport, bool>> m_finishing;
    SendWorker m_worker{this};  // last: it waits for the pass under way first
};

}  // namespace qf::compose
