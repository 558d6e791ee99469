#include "compose/SendPass.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

#include "addressbook/AddressLookup.h"
#include "store/BoxCatalogue.h"
#include "text/Cp932.h"
#include "text/FixedField.h"
#include "transport/Addresses.h"
#include "transport/EnvelopeGate.h"
#include "transport/LastError.h"
#include "transport/NMail.h"

namespace qf::compose {
namespace {

// The transport's code and texts of the last failure, as UTF-8.
SendFailure transportFailure() {
    std::array<char, transport::kDefaultBufferSize> buffer{};
    int length = transport::kDefaultBufferSize;
    transport::NMailGetMessage(0, buffer.data(), &length);
    SendFailure failure;
    failure.diagnostic =
        text::fromCp932(text::cutAtNul(std::string_view(buffer.data(), buffer.size())));
    buffer.fill('\0');
    failure.fault = static_cast<transport::TransportFault>(
        transport::NMailGetErrorCode(0, buffer.data(), static_cast<int>(buffer.size())));
    failure.about = text::fromCp932(text::cutAtNul(std::string_view(buffer.data(), buffer.size())));
    return failure;
}

// The login of the next send: the password, or for an OAuth account a live
// access token (a fresh one when the server refused the last).
std::optional<SendFailure> setLogin(const SendSettings& settings, bool refused) {
    std::string id = text::toCp932(settings.authId);
    if (!settings.accessToken) {
        std::string password = text::toCp932(settings.authPassword);
        transport::NMailSetSmtpAuth(id.c_str(), password.c_str());
        return std::nullopt;
    }
    Result<std::string> token = settings.accessToken(refused);
    if (!token) {
        return SendFailure{transport::TransportFault::kTokenRefused, token.status().message(), {}};
    }
    transport::NMailSetSmtpOAuth(id.c_str(), token.value().c_str());
    return std::nullopt;
}

struct Copies {
    std::string cc;
    std::string bcc;
};

// The sender as the From header names it: `name <address>`, the name quoted
// as it needs to be and with no control character (it could start a header
// line of its own); the bare address when there is no name.
std::string senderText(const SendSettings& settings) {
    const std::string name = transport::controlsToSpaces(settings.senderName);
    // The address setting may carry a name of its own: the setting's name wins.
    const std::vector<transport::Mailbox> own = transport::parseMailboxList(settings.ownAddress);
    if (name.find_first_not_of(' ') == std::string::npos || own.size() != 1) {
        return settings.ownAddress;
    }
    return transport::formatMailbox({name, own.front().address});
}

// One NMailSmtpSendMail call; an empty optional when the server took it. A
// refused access token is refreshed once and the mail sent again (nothing
// went out: the refusal came before MAIL FROM).
std::optional<SendFailure> sendOne(const SendSettings& settings, const std::string& recipient,
                                   const std::string& subject, const std::string& body,
                                   const std::string& attachments, const Copies& copies = {}) {
    // The transport takes C strings, which end at a NUL: the gate sees the
    // texts whole here, or the part before a NUL would be sent to. The
    // refusal is reported as the transport reports its own.
    if (auto refusal =
            transport::checkAddressTexts(settings.ownAddress, {recipient, copies.cc, copies.bcc})) {
        transport::setLastError(transport::envelopeFault(*refusal), refusal->address,
                                refusal->address);
        return transportFailure();
    }
    std::string server = text::toCp932(settings.smtpServer);
    std::string to = text::toCp932(recipient);
    std::string from = text::toCp932(senderText(settings));
    std::string cc = text::toCp932(copies.cc);
    std::string bcc = text::toCp932(copies.bcc);
    std::string subjectBytes = text::toCp932(subject);
    std::string bodyBytes = text::toCp932(body);
    std::string attachmentBytes = text::toCp932(attachments);
    for (const bool refused : {false, true}) {
        if (std::optional<SendFailure> noLogin = setLogin(settings, refused)) {
            return noLogin;
        }
        int result = transport::NMailSmtpSendMail(
            server.c_str(), to.c_str(), cc.c_str(), bcc.c_str(), from.c_str(), subjectBytes.c_str(),
            bodyBytes.c_str(), nullptr, attachmentBytes.c_str(), 0);
        // The result is read as a 16-bit value, as callers always have.
        if (static_cast<std::int16_t>(result) >= 0) {
            return std::nullopt;
        }
        SendFailure failure = transportFailure();
        if (!settings.accessToken || refused ||
            failure.fault != transport::TransportFault::kTokenRefused) {
            return failure;
        }
    }
    return std::nullopt;  // not reached: the second pass returns
}

Status appendHistory(store::MailStore& store, const ComposedMail& mail, const std::string& to,
                     const std::string& date) {
    // The record keeps what was typed; the store strips and cuts each field.
    store::MailFields fields{mail.subject, to, date, mail.body};
    return store.append(store::kSendHistoryBox, fields).status();
}

}  // namespace

std::optional<SendFailure> sendSingleMail(const SendSettings& settings, const ComposedMail& mail) {
    return sendOne(settings, mail.to, mail.subject, mail.body, mail.attachments,
                   {mail.cc, mail.bcc});
}

int SendReport::count(PassResult result) const {
    return static_cast<int>(std::count_if(
        passes.begin(), passes.end(), [&](const PassOutcome& p) { return p.result == result; }));
}

int SendReport::historyFailures() const {
    return static_cast<int>(std::count_if(passes.begin(), passes.end(), [](const PassOutcome& p) {
        return p.result != PassResult::kSkipped && !p.history.isOk();
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
    for (int pass = 1; pass <= passCount; ++pass) {
        const BatchRecipient& recipient = plan.recipients[static_cast<std::size_t>(pass - 1)];
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
            outcome.failure.diagnostic = plan.unreadable->message();
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
            std::optional<SendFailure> failure =
                sendOne(settings, recipient.address, mail.subject, body, mail.attachments,
                        options.batch ? Copies{} : Copies{mail.cc, mail.bcc});
            if (failure) {
                outcome.result =
                    failure->mayHaveArrived() ? PassResult::kUnconfirmed : PassResult::kRefused;
                outcome.failure = std::move(*failure);
            } else {
                outcome.result = PassResult::kSent;
            }
            if (outcome.result != PassResult::kRefused && !recipient.mayHaveArrived) {
                outcome.history = appendHistory(store, mail, recipient.address, settings.clockText);
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
