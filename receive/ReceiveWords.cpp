#include "receive/ReceiveWords.h"

namespace qf::receive {

ui::Message messageOf(const ReceiveMessage& message) {
    const std::string count = std::to_string(message.count);
    switch (message.kind) {
        case MessageKind::kAuthenticationFailed:
            return {ui::Say::kReceiveLoginRefused, {}, message.detail};
        case MessageKind::kAttachmentCannotBeOpened:
            return {ui::Say::kReceiveAttachmentCannotBeOpened, {}, message.detail};
        case MessageKind::kSplitMailIncomplete:
            return {ui::Say::kReceiveSplitMailIncomplete, {}, message.detail};
        case MessageKind::kFetchFailed:
            return {ui::Say::kReceiveFetchFailed, {count}, message.detail};
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
            return ui::Message{ui::Say::kReceiveConnectFailed, {pop3Server}, outcome.serverMessage};
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
