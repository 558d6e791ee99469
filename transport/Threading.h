// What a reply carries so that the recipient's program puts it under the
// mail it answers: In-Reply-To and References (RFC 5322, 3.6.4), taken from
// the answered mail's own header. Every id comes from a mail, so only ids of
// the plain form "<left@right>" (printable ASCII, no space, no angle bracket
// inside) pass, and References is kept within one header line.
#pragma once

#include <string>
#include <string_view>

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

// True for one id of the plain form above.
bool isPlainMessageId(std::string_view id);

// The two header lines, CRLF-ended, for the transport's extra-header
// argument; "" for an empty thread. threadFromHeaderLines reads them back,
// keeping only ids that pass.
std::string threadHeaderLines(const ReplyThread& thread);
ReplyThread threadFromHeaderLines(std::string_view lines);

}  // namespace qf::transport
