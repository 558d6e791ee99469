#include "compose/SendPass.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

#include "addressbook/AddressLookup.h"
#include "store/BoxCatalogue.h"
#include "text/Cp932.h"
#include "text/FixedField.h"
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

// One NMailSmtpSendMail call; an empty optional when the server took it. A
// refused access token is refreshed once and the mail sent again (nothing
// went out: the refusal came before MAIL FROM).
std::optional<SendFailure> sendOne(const SendSettings& settings, const std::string& recipient,
                                   const std::string& subject, const std::string& body,
                                   const std::string& attachments) {
    std::string server = text::toCp932(settings.smtpServer);
    std::string to = text::toCp932(recipient);
    std::string from = text::toCp932(settings.ownAddress);
    std::string subjectBytes = text::toCp932(subject);
    std::string bodyBytes = text::toCp932(body);
    std::string attachmentBytes = text::toCp932(attachments);
    for (const bool refused : {false, true}) {
        if (std::optional<SendFailure> noLogin = setLogin(settings, refused)) {
            return noLogin;
        }
        int result = transport::NMailSmtpSendMail(
            server.c_str(), to.c_str(), nullptr, nullptr, from.c_str(), subjectBytes.c_str(),
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
    return sendOne(settings, mail.to, mail.subject, mail.body, mail.attachments);
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

SendReport sendComposedMail(store::MailStore& store, const ComposedMail& mail,
                            const SendSettings& settings, const SendOptions& options,
                            const SendObserver& observer) {
    SendReport report;
    const int passCount = options.batch ? std::max(options.batchPassCount, 0) : 1;
    auto finishPass = [&](PassOutcome outcome) {
        report.passes.push_back(std::move(outcome));
        if (observer.afterPass) {
            observer.afterPass(report.passes.back());
        }
    };
    for (int pass = 1; pass <= passCount; ++pass) {
        if (options.batch && !options.onlyPasses.empty() &&
            std::find(options.onlyPasses.begin(), options.onlyPasses.end(), pass) ==
                options.onlyPasses.end()) {
            continue;
        }
        if (observer.beforePass) {
            observer.beforePass(pass, passCount);
        }
        PassOutcome outcome;
        outcome.pass = pass;
        if (options.batch) {
            Result<std::optional<std::string>> address =
                addressbook::batchAddress(store.dataFolder(), pass);
            if (!address || !address.value()) {
                // An unreadable book fails the pass; a vanished entry skips it.
                outcome.result = address ? PassResult::kSkipped : PassResult::kRefused;
                if (!address) {
                    outcome.failure.addressBookUnreadable = true;
                    outcome.failure.diagnostic = address.status().message();
                }
                finishPass(std::move(outcome));
                continue;
            }
            outcome.recipient = *address.value();
        } else {
            outcome.recipient = mail.to;
        }
        outcome.history = appendHistory(store, mail, outcome.recipient, settings.clockText);
        std::string body = mail.body;
        if (!options.batch && options.fortune) {
            body = appendFortune(body, options.fortuneSource);
        }
        if (!options.batch) {
            report.sentBody = body;
        }
        std::optional<SendFailure> failure =
            sendOne(settings, outcome.recipient, mail.subject, body, mail.attachments);
        if (failure) {
            outcome.result =
                failure->mayHaveArrived() ? PassResult::kUnconfirmed : PassResult::kRefused;
            outcome.failure = std::move(*failure);
        } else {
            outcome.result = PassResult::kSent;
        }
        finishPass(std::move(outcome));
    }
    return report;
}

}  // namespace qf::compose
