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

}  // namespace qf::compose
