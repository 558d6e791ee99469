#include "receive/ReceiveWords.h"

#include <optional>

#include "transport/MailDecoder.h"

namespace qf::receive {

namespace {

using transport::TransportFault;
using ui::Say;

// The row of a failure to reach the server or to talk with it securely,
// which names the server; nullopt for any other fault.
std::optional<Say> serverRow(TransportFault fault) {
    switch (fault) {
        case TransportFault::kBadServerName:
        case TransportFault::kServerNotFound:
            return Say::kReceiveServerNotFound;
        case TransportFault::kTimedOut:
            return Say::kReceiveTimedOut;
        case TransportFault::kTlsUntrustedCertificate:
            return Say::kReceiveTlsUntrusted;
        case TransportFault::kTlsNameMismatch:
            return Say::kReceiveTlsNameMismatch;
        case TransportFault::kTlsUnusableCaFile:
            return Say::kReceiveTlsCaFile;
        case TransportFault::kTlsHandshakeFailed:
            return Say::kReceiveTlsFailed;
        case TransportFault::kTlsNotOffered:
            return Say::kReceiveTlsNotOffered;
        default:
            return std::nullopt;
    }
}

ui::Message loginRefused(const ReceiveMessage& message, const std::string& pop3Server) {
    if (message.fault == TransportFault::kApopNotOffered) {
        return {Say::kReceiveApopNotOffered, {}, message.detail};
    }
    if (message.fault == TransportFault::kMechanismNotOffered) {
        return {Say::kReceiveXOAuth2NotOffered, {}, message.detail};
    }
    if (message.fault == TransportFault::kTokenRefused) {
        return {Say::kReceiveTokenRefused, {}, message.detail};
    }
    if (const std::optional<Say> row = serverRow(message.fault)) {
        return {*row, {pop3Server}, message.detail};
    }
    return {Say::kReceiveLoginRefused, {}, message.detail};
}

ui::Message fetchFailed(const ReceiveMessage& message) {
    const std::string number = std::to_string(message.count);
    switch (message.fault) {
        case TransportFault::kTimedOut:
            return {Say::kReceiveFetchTimedOut, {number}, message.detail};
        case TransportFault::kMailTooLarge:
            return {Say::kReceiveMailTooLarge, {number}, message.detail};
        default:
            return {Say::kReceiveFetchFailed, {number}, message.detail};
    }
}

ui::Message wholeMailKept(const ReceiveMessage& message) {
    switch (message.fault) {
        case TransportFault::kWholeMailNestedTooDeep:
            return {Say::kReceiveWholeMailNestedTooDeep,
                    {std::to_string(transport::kMaxNestingDepth), message.about},
                    {}};
        case TransportFault::kWholeMailTooManyParts:
            return {Say::kReceiveWholeMailTooManyParts,
                    {message.detail, std::to_string(transport::kMaxAttachmentParts), message.about},
                    {}};
        default:
            return {
                Say::kReceiveWholeMailTooLarge,
                {message.detail, std::to_string(transport::kMaxAttachmentMegabytes), message.about},
                {}};
    }
}

}  // namespace

ui::Message messageOf(const ReceiveMessage& message, const std::string& pop3Server) {
    const std::string count = std::to_string(message.count);
    switch (message.kind) {
        case MessageKind::kAuthenticationFailed:
            return loginRefused(message, pop3Server);
        case MessageKind::kWholeMailKept:
            return wholeMailKept(message);
        case MessageKind::kAttachmentCannotBeOpened:
            return {ui::Say::kReceiveAttachmentCannotBeOpened, {}, message.detail};
        case MessageKind::kSplitMailIncomplete:
            return {ui::Say::kReceiveSplitMailIncomplete, {}, message.detail};
        case MessageKind::kFetchFailed:
            return fetchFailed(message);
        case MessageKind::kStoreFailed:
            return {ui::Say::kReceiveStoreFailed, {count}, message.detail};
        case MessageKind::kCloseFailed:
            return {ui::Say::kReceiveCloseFailed, {}, message.detail};
        case MessageKind::kDeleteFailed:
            return {ui::Say::kReceiveDeleteFailed, {count}, message.detail};
        case MessageKind::kRecovered:
            return {ui::Say::kReceiveRecovered, {count}, message.detail};
        case MessageKind::kRecoveryUnavailable:
            return {ui::Say::kReceiveRecoveryUnavailable, {}, message.detail};
        case MessageKind::kRecoveredLeft:
            return {ui::Say::kReceiveRecoveredLeft, {count}, message.detail};
        case MessageKind::kKeepNeedsUidl:
            return {ui::Say::kReceiveKeepNeedsUidl, {}, message.detail};
        case MessageKind::kBoxNotSynced:
            return {ui::Say::kReceiveBoxNotSynced, {count}, message.detail};
        case MessageKind::kSeenListNotWritten:
            return {ui::Say::kReceiveSeenListNotWritten, {}, message.detail};
    }
    return {ui::Say::kReceiveFetchFailed, {count}, message.detail};
}

std::optional<ui::Message> startFailureOf(const ReceiveOutcome& outcome,
                                          const std::string& pop3Server) {
    switch (outcome.end) {
        case RunEnd::kNoServer:
            return ui::Message{ui::Say::kReceiveNoServer, {}, {}};
        case RunEnd::kConnectFailed:
            return ui::Message{serverRow(outcome.fault).value_or(Say::kReceiveConnectFailed),
                               {pop3Server},
                               outcome.serverMessage};
        case RunEnd::kNoAccount:
            return ui::Message{ui::Say::kReceiveNoAccount, {}, {}};
        default:
            return std::nullopt;
    }
}

std::string newMailCounts(const SlotCounts& stored,
                          const std::array<std::string, kBoxSlotCount>& boxNames) {
    std::string counts;
    for (std::size_t slot = 0; slot < stored.size(); ++slot) {
        if (stored[slot] <= 0) {
            continue;
        }
        if (!counts.empty()) {
            counts += ", ";
        }
        counts += boxNames[slot] + " " + std::to_string(stored[slot]) + "通";
    }
    return counts;
}

}  // namespace qf::receive
