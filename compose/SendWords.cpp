#include "compose/SendWords.h"

#include <optional>

namespace qf::compose {

namespace {

using transport::TransportFault;
using ui::Say;

// The row of a fault that names the SMTP server; nullopt for the others.
std::optional<Say> serverRow(TransportFault fault) {
    switch (fault) {
        case TransportFault::kBadServerName:
        case TransportFault::kServerNotFound:
            return Say::kSendServerNotFound;
        case TransportFault::kConnectFailed:
            return Say::kSendConnectFailed;
        case TransportFault::kTimedOut:
            return Say::kSendTimedOut;
        case TransportFault::kTlsUntrustedCertificate:
            return Say::kSendTlsUntrusted;
        case TransportFault::kTlsNameMismatch:
            return Say::kSendTlsNameMismatch;
        case TransportFault::kTlsHandshakeFailed:
        case TransportFault::kTlsNotOffered:
            return Say::kSendTlsFailed;
        case TransportFault::kLoginRefused:
            return Say::kSendLoginRefused;
        case TransportFault::kMechanismNotOffered:
            return Say::kSendXOAuth2NotOffered;
        case TransportFault::kTokenRefused:
            return Say::kSendTokenRefused;
        default:
            return std::nullopt;
    }
}

// The row of a fault that names an address; nullopt for the others.
std::optional<Say> addressRow(TransportFault fault) {
    switch (fault) {
        case TransportFault::kSenderControlCharacter:
            return Say::kSendSenderHasControlCharacter;
        case TransportFault::kSenderTooLong:
            return Say::kSendSenderTooLong;
        case TransportFault::kSenderMalformed:
            return Say::kSendSenderMalformed;
        case TransportFault::kSenderRefused:
            return Say::kSendSenderRefused;
        case TransportFault::kRecipientControlCharacter:
            return Say::kSendRecipientHasControlCharacter;
        case TransportFault::kRecipientTooLong:
            return Say::kSendRecipientTooLong;
        case TransportFault::kRecipientMalformed:
            return Say::kSendRecipientMalformed;
        case TransportFault::kRecipientRefused:
            return Say::kSendRecipientRefused;
        default:
            return std::nullopt;
    }
}

Say otherRow(TransportFault fault) {
    switch (fault) {
        case TransportFault::kDeliveryUnconfirmed:
            return Say::kSendUnconfirmed;
        case TransportFault::kNoRecipient:
            return Say::kSendNoRecipient;
        case TransportFault::kAttachmentUnreadable:
            return Say::kSendAttachmentUnreadable;
        case TransportFault::kTlsUnusableCaFile:
            return Say::kSendTlsCaFile;
        default:
            return Say::kSendFailed;
    }
}

}  // namespace

ui::Message sendFailureMessage(const SendFailure& failure, const std::string& smtpServer) {
    if (failure.addressBookUnreadable) {
        return {Say::kAddressBookNotRead, {}, failure.diagnostic};
    }
    if (failure.fault == TransportFault::kBadServerName &&
        smtpServer.find_first_not_of(" \t") == std::string::npos) {
        return {Say::kSendNoServer, {}, {}};
    }
    if (const std::optional<Say> row = serverRow(failure.fault)) {
        return {*row, {smtpServer}, failure.diagnostic};
    }
    if (const std::optional<Say> row = addressRow(failure.fault)) {
        // A refusal before any byte went out has no text but the address.
        const bool onlyTheAddress = failure.diagnostic == failure.about;
        return {*row, {failure.about}, onlyTheAddress ? std::string() : failure.diagnostic};
    }
    return {otherRow(failure.fault), {}, failure.diagnostic};
}

std::string joinedAddresses(const std::vector<std::string>& addresses) {
    std::string joined;
    for (const std::string& address : addresses) {
        joined += (joined.empty() ? "" : "、") + address;
    }
    return joined;
}

namespace {

// The recipients of the passes that ended in `result` ("n件目" when the
// address book could not even name one).
std::vector<std::string> recipientsOf(const SendReport& report, PassResult result) {
    std::vector<std::string> names;
    for (const PassOutcome& pass : report.passes) {
        if (pass.result == result) {
            names.push_back(pass.recipient.empty()
                                ? ui::words(Say::kBatchPassNumber, {std::to_string(pass.pass)})
                                : pass.recipient);
        }
    }
    return names;
}

}  // namespace

std::string batchSummary(const SendReport& report) {
    std::string summary = ui::words(
        Say::kBatchSentCount,
        {std::to_string(report.passCount()), std::to_string(report.count(PassResult::kSent))});
    const std::pair<PassResult, Say> counts[] = {
        {PassResult::kRefused, Say::kBatchRefusedCount},
        {PassResult::kUnconfirmed, Say::kBatchUnconfirmedCount},
        {PassResult::kSkipped, Say::kBatchSkippedCount},
        {PassResult::kNotRun, Say::kBatchNotRunCount}};
    for (const auto& [result, row] : counts) {
        if (const int count = report.count(result); count > 0) {
            summary += ui::words(row, {std::to_string(count)});
        }
    }
    const std::pair<PassResult, Say> lists[] = {
        {PassResult::kRefused, Say::kBatchRefusedRecipients},
        {PassResult::kUnconfirmed, Say::kBatchUnconfirmedRecipients}};
    for (const auto& [result, row] : lists) {
        if (const std::vector<std::string> names = recipientsOf(report, result); !names.empty()) {
            summary += ui::words(row, {joinedAddresses(names)});
        }
    }
    return summary;
}

}  // namespace qf::compose
