// Fuzz target: bytes as the value of a received From header, through the
// address parser and the envelope gate. Besides the sanitizers it checks what
// the stored text promises once a CP932 record holds it: no control
// character, the same text back from CP932, both our readers finding the same
// addresses in it, and none that a reply would go to but the senders the
// header names, unless the gate refuses that address. Every address the gate
// lets through is free of control characters and within the length SMTP
// allows.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "transport/Addresses.h"
#include "transport/EnvelopeGate.h"

namespace {

using namespace qf::transport;

bool hasControl(const std::string& text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

void checkGate(const std::string& address) {
    if (envelopeAddressFault(address) == AddressFault::kNone &&
        (hasControl(address) || address.size() > 254)) {
        std::abort();
    }
    if (hasControl(printableAddress(address))) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string raw(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> senders;
    for (const Mailbox& mailbox : parseReceivedAddresses(raw)) {
        senders.push_back(mailbox.address);
        checkGate(mailbox.address);
    }
    const std::string stored = decodeAddressHeader(raw);
    if (hasControl(stored) || asStoredText(stored) != stored) {
        std::abort();
    }
    std::vector<std::string> replyTo;
    for (const Mailbox& mailbox : parseMailboxList(stored)) {
        checkGate(mailbox.address);
        const bool namedSender =
            std::find(senders.begin(), senders.end(), mailbox.address) != senders.end();
        if (!namedSender && envelopeAddressFault(mailbox.address) == AddressFault::kNone) {
            std::abort();  // a reply would reach someone the header does not name
        }
        replyTo.push_back(mailbox.address);
    }
    std::vector<std::string> readAgain;
    for (const Mailbox& mailbox : parseReceivedAddresses(stored)) {
        if (!mailbox.address.empty()) {
            readAgain.push_back(mailbox.address);
        }
    }
    if (readAgain != replyTo) {
        std::abort();  // readers part on the stored text
    }
    (void)checkEnvelope(raw, replyTo);
    return 0;
}
