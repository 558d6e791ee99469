// What a reply carries so that the recipient's program puts it under the
// mail it answers: In-Reply-To and References (RFC 5322, 3.6.4), taken from
// the answered mail's own header. Every id comes from a mail, so only ids of
// the plain form "<left@right>" (printable ASCII, no space, no angle bracket
// inside) pass, and References is kept within one header line.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qf::transport {

struct ReplyThread {
    std::string inReplyTo;   // "<id>", or empty: no thread
    std::string references;  // "<id> <id> ...", or empty

    bool empty() const { return inReplyTo.empty(); }
};

// The thread a reply to the mail `rawMail` (its header is enough) carries:
// In-Reply-To its Message-ID; References its References (else its one
// In-Reply-To id) followed by its Message-ID. Empty without a Message-ID.
ReplyThread replyThreadOf(std::string_view rawMail);

// The ids of a References text ("<a@x> <b@y>"), in order.
std::vector<std::string> messageIdsOf(std::string_view references);

// True for one id of the plain form above.
bool isPlainMessageId(std::string_view id);

}  // namespace qf::transport
