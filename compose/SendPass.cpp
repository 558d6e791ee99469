#include "compose/SendPass.h"

#include <algorithm>
#include <optional>

#include "addressbook/AddressLookup.h"
#include "compose/HistoryOriginals.h"
#include "store/BoxCatalogue.h"
#include "text/FixedField.h"
#include "transport/SmtpSubmission.h"

namespace qf::compose {
namespace {

transport::OutgoingMail outgoingOf(const ComposedMail& mail) {
    transport::OutgoingMail outgoing{{}, {mail.to}, mail.subject, mail.body, mail.attachments};
    outgoing.cc = {mail.cc};
    outgoing.bcc = {mail.bcc};
    outgoing.inReplyTo = mail.inReplyTo;
    outgoing.references = mail.references;
    outgoing.mails = mail.mails;
    return outgoing;
}

SendFailure failureOf(const transport::SubmissionFault& fault) {
    return SendFailure{fault.fault, fault.outsideText, fault.about};
}

// The login of the next send: the password, or for an OAuth account a live
// access token (a fresh one when the server refused the last).
Result<transport::SmtpCredentials> login(const SendSettings& settings, bool refused) {
    if (!settings.accessToken) {
        return transport::SmtpCredentials{settings.authId, settings.authPassword, {}};
    }
    Result<std::string> token = settings.accessToken(refused);
    if (!token) {
        return token.status();
    }
    return transport::SmtpCredentials{settings.authId, {}, std::move(token).value()};
}

// One submission; an empty optional when the server took it (`sentMessage`,
// when given, then holds the mail as it went). A refused access token is
// refreshed once and the mail sent again (nothing went out: the refusal came
// before MAIL FROM).
std::optional<SendFailure> sendOne(const SendSettings& settings, transport::OutgoingMail outgoing,
                                   std::string* sentMessage = nullptr) {
    outgoing.from = settings.ownAddress;
    outgoing.fromName = settings.senderName;
    for (const bool refused : {false, true}) {
        Result<transport::SmtpCredentials> credentials = login(settings, refused);
        if (!credentials) {
            return SendFailure{
                transport::TransportFault::kTokenRefused, credentials.status().outsideText(), {}};
        }
        const transport::SubmissionResult sent = transport::submitMail(
            settings.smtpServer, outgoing, credentials.value(), settings.limits);
        if (sent) {
            if (sentMessage != nullptr) {
                *sentMessage = sent.value().message;
            }
            return std::nullopt;
        }
        if (!settings.accessToken || refused ||
            sent.fault().fault != transport::TransportFault::kTokenRefused) {
            return failureOf(sent.fault());
        }
    }
    return std::nullopt;  // not reached: the second pass returns
}

Status appendHistory(store::MailStore& store, HistoryOriginals& originals, const ComposedMail& mail,
                     const std::string& to, const std::string& date,
                     const std::string& sentMessage) {
    // The record keeps what was typed; the store strips and cuts each field.
    store::MailFields fields{mail.subject, to, date, mail.body};
    // The mail as it went keeps what the record cannot (its recipients, its
    // Message-ID, every character); without it the history works as before.
    if (!sentMessage.empty()) {
        (void)originals.keep(fields, sentMessage);
    }
    return store.append(store::kSendHistoryBox, fields).status();
}

// A single send's record names its copies after its recipients, as the
// mail's header does; the blind copies stay out of it as out of the header.
std::string historyRecipients(std::string_view to, std::string_view cc) {
    const std::string copies(text::stripSpaces(cc));
    const std::string recipients(text::stripSpaces(to));
    if (copies.empty() || recipients.empty()) {
        return recipients.empty() ? copies : recipients;
    }
    return recipients + ", " + copies;
}

}  // namespace

std::optional<SendFailure> sendSingleMail(const SendSettings& settings, const ComposedMail& mail) {
    return sendOne(settings, outgoingOf(mail));
}

int SendReport::count(PassResult result) const {
    return static_cast<int>(std::count_if(
        passes.begin(), passes.end(), [&](const PassOutcome& p) { return p.result == result; }));
}

int SendReport::historyFailures() const {
    return static_cast<int>(std::count_if(passes.begin(), passes.end(), [](const PassOutcome& p) {
        return p.result != PassResult::kSkipped && p.result != PassResult::kNotRun &&
               !p.history.isOk();
    }));
}

namespace {

// Who each pass sends to, before any is sent: the retry's addresses, or the
// address book's entries as it reads now (one per row of the list as last
// filled; a row beyond the book's end is a vanished entry, an empty address).
// A batch notes the book's addresses in `report`.
struct PassPlan {
    std::vector<BatchRecipient> recipients;  // index p - 1; empty address: vanished
    std::optional<Status> unreadable;
};

PassPlan planPasses(store::MailStore& store, const SendOptions& options, const ComposedMail& mail,
                    SendReport& report) {
    PassPlan plan;
    if (!options.batch) {
        plan.recipients.push_back({mail.to, false});
        return plan;
    }
    const int passCount = std::max(options.batchPassCount, 0);
    if (options.retry.empty() && passCount == 0) {
        return plan;
    }
    Result<std::vector<addressbook::AddressEntry>> book =
        addressbook::readAddressBook(store.dataFolder());
    if (book) {
        for (const addressbook::AddressEntry& entry : book.value()) {
            report.bookAddresses.push_back(entry.address);
        }
    }
    if (!options.retry.empty()) {
        // The retry's recipients are addresses: the book is only noted, for
        // the next retry to see whether it changed.
        plan.recipients = options.retry;
        return plan;
    }
    if (!book) {
        plan.recipients.resize(static_cast<std::size_t>(passCount));
        plan.unreadable = book.status();
        return plan;
    }
    for (int pass = 1; pass <= passCount; ++pass) {
        plan.recipients.push_back({pass <= static_cast<int>(report.bookAddresses.size())
                                       ? report.bookAddresses[static_cast<std::size_t>(pass - 1)]
                                       : std::string(),
                                   false});
    }
    return plan;
}

}  // namespace

SendReport sendComposedMail(store::MailStore& store, const ComposedMail& mail,
                            const SendSettings& settings, const SendOptions& options,
                            const SendObserver& observer) {
    SendReport report;
    // The book is read once, before the first pass: an entry deleted while
    // the batch runs cannot shift the later passes onto other people.
    const PassPlan plan = planPasses(store, options, mail, report);
    const int passCount = static_cast<int>(plan.recipients.size());
    // A batch's originals become durable together once the loop ends,
    // however it ends.
    HistoryOriginals originals(store, options.batch);
    for (int pass = 1; pass <= passCount; ++pass) {
        const BatchRecipient& recipient = plan.recipients[static_cast<std::size_t>(pass - 1)];
        if (observer.stopRequested && observer.stopRequested()) {
            for (int rest = pass; rest <= passCount; ++rest) {
                PassOutcome notRun;
                notRun.pass = rest;
                notRun.result = PassResult::kNotRun;
                notRun.recipient = plan.recipients[static_cast<std::size_t>(rest - 1)].address;
                notRun.mayHaveArrivedBefore =
                    plan.recipients[static_cast<std::size_t>(rest - 1)].mayHaveArrived;
                report.passes.push_back(std::move(notRun));
            }
            break;
        }
        if (observer.beforePass) {
            observer.beforePass(pass, passCount);
        }
        PassOutcome outcome;
        outcome.pass = pass;
        outcome.recipient = recipient.address;
        outcome.mayHaveArrivedBefore = recipient.mayHaveArrived;
        if (plan.unreadable) {
            // An unreadable book fails the pass; nothing was sent.
            outcome.result = PassResult::kRefused;
            outcome.failure.addressBookUnreadable = true;
            outcome.failure.diagnostic = plan.unreadable->outsideText();
        } else if (options.batch && recipient.address.empty()) {
            outcome.result = PassResult::kSkipped;  // the entry was deleted
        } else {
            std::string body = mail.body;
            if (!options.batch && options.fortune) {
                body = appendFortune(body, options.fortuneSource);
            }
            if (!options.batch) {
                report.sentBody = body;
            }
            transport::OutgoingMail outgoing = outgoingOf(mail);
            outgoing.body = body;
            if (options.batch) {
                outgoing.to = {recipient.address};
                outgoing.cc.clear();
                outgoing.bcc.clear();
            }
            std::string sentMessage;
            std::optional<SendFailure> failure =
                sendOne(settings, std::move(outgoing), &sentMessage);
            if (failure) {
                outcome.result =
                    failure->mayHaveArrived() ? PassResult::kUnconfirmed : PassResult::kRefused;
                outcome.failure = std::move(*failure);
            } else {
                outcome.result = PassResult::kSent;
            }
            if (outcome.result != PassResult::kRefused && !recipient.mayHaveArrived) {
                const std::string to = options.batch
                                           ? recipient.address
                                           : historyRecipients(recipient.address, mail.cc);
                outcome.history =
                    appendHistory(store, originals, mail, to, settings.clockText, sentMessage);
            }
        }
        if (observer.afterPass) {
            observer.afterPass(outcome);
        }
        report.passes.push_back(std::move(outcome));
    }
    return report;
}

}  // namespace qf::compose
