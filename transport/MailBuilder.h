// Building of outgoing mail.
#pragma once

#include <string>
#include <vector>

#include "base/Status.h"

namespace qf::transport {

struct OutgoingMail {  // all UTF-8
    std::string from;  // sender address
    std::string to;    // one or several, comma-separated, "name<addr>" allowed
    std::string subject, body;
    std::string attachments;  // comma-separated file paths (UTF-8), may be empty
    std::string cc = {};      // copies, as `to`; a Cc header and envelope recipients
};

struct BuiltMail {
    std::string bytes;                    // the whole message, CRLF line ends
    std::string envelopeFrom;             // bare address for MAIL FROM
    std::vector<std::string> recipients;  // bare addresses for RCPT TO
};

// Builds a MIME message (Date, Message-ID, MIME-Version, ISO-2022-JP
// subject/body where CP932 can hold them, UTF-8 otherwise, base64 attachments).
// Fails (nothing sent) when an attachment file cannot be read or no recipient parses.
Result<BuiltMail> buildMail(const OutgoingMail& mail);

}  // namespace qf::transport
