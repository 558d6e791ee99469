#include "compose/ComposeSender.h"

#include <QPointer>
#include <memory>

#include "addressbook/AddressLookup.h"
#include "compose/SendWords.h"
#include "store/BoxCatalogue.h"
#include "store/MailStore.h"
#include "ui/MessageBoxes.h"
#include "ui/TextConversion.h"

namespace qf::compose {

ComposeSender::ComposeSender(const ComposeEnvironment& env, QWidget* window)
    : QObject(nullptr), m_env(env), m_window(window) {}

std::optional<std::vector<BatchRecipient>> ComposeSender::agreedRecipients(bool batch) {
    if (!batch || !m_batch.holdsMissed()) {
        return std::vector<BatchRecipient>();
    }
    Result<std::vector<addressbook::AddressEntry>> book =
        addressbook::readAddressBook(m_env.folder.dataFolder().string());
    if (!book) {
        ui::tell(m_window, ui::Say::kAddressBookNotRead, {}, book.status());
        return std::nullopt;
    }
    std::vector<std::string> addresses;
    for (const addressbook::AddressEntry& entry : book.value()) {
        addresses.push_back(entry.address);
    }
    const BatchMemory::RetryPlan plan = m_batch.planRetry(addresses);
    if (plan.recipients.empty()) {
        ui::tell(m_window, ui::Say::kBatchRetryNobodyLeft,
                 {ui::fromUtf8(joinedAddresses(plan.dropped))});
        return std::nullopt;
    }
    std::vector<std::string> names;
    std::vector<std::string> mayHave;
    for (const BatchRecipient& recipient : plan.recipients) {
        names.push_back(recipient.address);
        if (recipient.mayHaveArrived) {
            mayHave.push_back(recipient.address);
        }
    }
    const QString count = QString::number(names.size());
    const QString listed = ui::fromUtf8(joinedAddresses(names));
    QString question = mayHave.empty()
                           ? ui::words(ui::Say::kBatchSendOnlyFailed, {count, listed})
                           : ui::words(ui::Say::kBatchSendAgainMayDuplicate,
                                       {count, listed, ui::fromUtf8(joinedAddresses(mayHave))});
    if (plan.bookChanged) {
        QString changed = ui::words(ui::Say::kBatchAddressBookChanged, {}, QString());
        if (!plan.dropped.empty()) {
            changed += ui::words(ui::Say::kBatchRetryLeavesOut,
                                 {ui::fromUtf8(joinedAddresses(plan.dropped))});
        }
        question = changed + QLatin1Char('\n') + question;
    }
    if (!ui::ask(m_window, question)) {
        return std::nullopt;
    }
    return plan.recipients;
}

SendSettings ComposeSender::sendSettings() const {
    const settings::ServerSettings server = m_env.serverSettings();
    const settings::Account account = m_env.account();
    SendSettings settings{server.smtp,
                          server.mail,
                          account.id,
                          account.password,
                          m_env.clockText().toStdString(),
                          m_env.accessTokenSource()};
    settings.senderName = server.senderName;
    return settings;
}

void ComposeSender::send(const ComposedMail& mail, SendOptions options) {
    if (sending()) {
        return;
    }
    const SendSettings settings = sendSettings();
    const bool batch = options.batch;
    SendObserver observer;
    observer.beforePass = [this, batch](int pass, int passCount) {
        m_worker.post([this, batch, pass, passCount] {
            emit progress(batch ? ui::words(ui::Say::kSendingBatchPass,
                                            {QString::number(pass), QString::number(passCount)})
                                : ui::words(ui::Say::kSendingNow, {}, QString()));
        });
    };
    observer.afterPass = [this, smtp = settings.smtpServer](const PassOutcome& outcome) {
        if (outcome.result == PassResult::kRefused || outcome.result == PassResult::kUnconfirmed) {
            m_worker.post([this, message = sendFailureMessage(outcome.failure, smtp)] {
                showFailure(message);
            });
        }
    };
    observer.stopRequested = [this] { return m_worker.stopRequested(); };

    emit progress(ui::words(ui::Say::kSendingNow, {}, QString()));
    // The history is written by the worker through a store of its own on the
    // same folder; the program's store then reads the record back below, so
    // its current-record buffer is as a write there would have left it.
    auto report = std::make_shared<SendReport>();
    m_worker.start(
        [report, mail, settings, options = std::move(options), observer,
         folder = m_env.folder.dataFolder().string()] {
            store::MailStore history(folder);
            *report = sendComposedMail(history, mail, settings, options, observer);
        },
        [this, report, batch] { endSend(std::move(*report), batch); });
}

void ComposeSender::showFailure(const ui::Message& message) {
    m_failureBoxes.push_back(message);
    if (m_showingBoxes) {
        return;  // the box on screen shows the next when it closes
    }
    m_showingBoxes = true;
    const QPointer<ComposeSender> alive(this);
    while (!m_failureBoxes.empty()) {
        const ui::Message next = m_failureBoxes.front();
        m_failureBoxes.pop_front();
        ui::tell(m_window, next);
        if (alive.isNull()) {
            return;
        }
    }
    m_showingBoxes = false;
    finishWhenNoBoxIsOpen();
}

void ComposeSender::endSend(SendReport report, bool batch) {
    if (batch && !report.allSent()) {
        m_batch.remember(report);
    }
    if (m_env.mailStore != nullptr && report.historyFailures() < report.passCount()) {
        if (Result<int> count = m_env.mailStore->count(store::kSendHistoryBox);
            count && count.value() > 0) {
            (void)m_env.mailStore->readRecord(store::kSendHistoryBox, count.value());
        }
    }
    m_finishing.emplace(std::move(report), batch);
    finishWhenNoBoxIsOpen();
}

void ComposeSender::finishWhenNoBoxIsOpen() {
    if (m_showingBoxes || !m_finishing) {
        return;
    }
    const auto [report, batch] = std::move(*m_finishing);
    m_finishing.reset();
    emit finished(report, batch);
}

}  // namespace qf::compose
