// Building of outgoing mail.
#pragma once

#include <string>
#include <vector>

#include "base/Status.h"

namespace qf::transport {

// A received mail attached whole (a forward as attachment).
struct AttachedMail {
    std::string bytes;     // the mail as it came
    std::string fileName;  // offered to the recipient's program, e.g. "<subject>.eml"
};

// A mail to send. Every address list entry holds one address or several,
// comma-separated, "name<addr>" allowed.
struct OutgoingMail {  // all UTF-8
    std::string from;  // sender address
    std::vector<std::string> to;
    std::string subject, body;
    // Files to attach, each path whole (a comma is part of a file's name).
    std::vector<std::string> attachments;
    std::vector<std::string> cc = {};
    // Recipients of the envelope only: never written into the headers.
    std::vector<std::string> bcc = {};
    std::string fromName = {};  // the sender's display name; empty: none (or the one in `from`)
    // The mail answered and its thread, as message ids "<...>" (ids from
    // received mail: one that is not a plain "<...>" token is left out).
    std::string inReplyTo = {};
    std::vector<std::string> references = {};
    // Attached after the files, each as a 7bit message/rfc822, or as base64
    // application/octet-stream when it cannot go as one, an 8-bit mail
    // included (see transport/MessagePart.h).
    std::vector<AttachedMail> mails = {};
};

struct BuiltMail {
    std::string bytes;                    // the whole message, CRLF line ends
    std::string envelopeFrom;             // bare address for MAIL FROM
    std::vector<std::string> recipients;  // bare addresses for RCPT TO
};

// Builds a MIME message (Date, Message-ID, MIME-Version, ISO-2022-JP
// subject/body where CP932 can hold them, UTF-8 otherwise, base64 attachments).
// Cc is written as a header; Bcc only joins `recipients`. Fails (nothing
// sent) when an attachment file cannot be read or no To, Cc or Bcc
// recipient parses.
Result<BuiltMail> buildMail(const OutgoingMail& mail);

}  // namespace qf::transport
