#include "compose/ComposeSender.h"

#include <QCoreApplication>

#include "addressbook/AddressLookup.h"
#include "compose/SendWords.h"
#include "store/MailStore.h"
#include "ui/BusyScope.h"
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
        ui::tell(m_window, ui::Say::kAddressBookNotRead, {},
                 QString::fromStdString(book.status().message()));
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
    return SendSettings{server.smtp,
                        server.mail,
                        account.id,
                        account.password,
                        m_env.clockText().toStdString(),
                        m_env.accessTokenSource(),
                        server.senderName};
}

void ComposeSender::send(const ComposedMail& mail, SendOptions options) {
    if (m_sending) {
        return;
    }
    const SendSettings settings = sendSettings();
    const bool batch = options.batch;
    SendObserver observer;
    observer.beforePass = [this, batch](int pass, int passCount) {
        emit progress(batch ? ui::words(ui::Say::kSendingBatchPass,
                                        {QString::number(pass), QString::number(passCount)})
                            : ui::words(ui::Say::kSendingNow, {}, QString()));
        // Repaint between passes; the window holds input off meanwhile.
        QCoreApplication::processEvents();
    };
    observer.afterPass = [this, smtp = settings.smtpServer](const PassOutcome& outcome) {
        if (outcome.result == PassResult::kRefused || outcome.result == PassResult::kUnconfirmed) {
            ui::tell(m_window, sendFailureMessage(outcome.failure, smtp));
        }
    };

    const ui::BusyScope busy;  // events run between the passes
    m_sending = true;
    emit progress(ui::words(ui::Say::kSendingNow, {}, QString()));
    std::optional<store::MailStore> ownStore;
    if (m_env.mailStore == nullptr) {
        ownStore.emplace(m_env.folder.dataFolder().string());
    }
    store::MailStore& history = m_env.mailStore != nullptr ? *m_env.mailStore : *ownStore;
    const SendReport report = sendComposedMail(history, mail, settings, options, observer);
    m_sending = false;
    if (batch && !report.allSent()) {
        m_batch.remember(report);
    }
    emit finished(report, batch);
}

}  // namespace qf::compose
