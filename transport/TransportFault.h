// What the last failed NMail call failed with: a code the caller words
// (NMailGetErrorCode), beside the library's or server's own text
// (NMailGetMessage). The transport words nothing itself.
#pragma once

#include <cstddef>

namespace qf::transport {

// The numbers are what NMailGetErrorCode returns; keep them stable.
enum class TransportFault {
    kNone = 0,
    kNoSession = 1,       // the handle names no open POP3 session
    kBadOption = 2,       // NMailSetOption: unknown option or value
    kBadServerName = 3,   // the server name is not "host[:port]" or a mail URL
    kServerNotFound = 4,  // the host name does not resolve
    kConnectFailed = 5,   // nothing accepted the connection, or it broke before the greeting
    kTimedOut = 6,        // the server did not answer within a time limit
    // A secure connection refused (see TlsRefusal in ConnectionTerms.h).
    kTlsUntrustedCertificate = 7,
    kTlsNameMismatch = 8,
    kTlsUnusableCaFile = 9,
    kTlsHandshakeFailed = 10,
    kTlsNotOffered = 11,
    kLoginRefused = 12,    // POP3 USER/PASS or APOP, or SMTP AUTH, refused
    kApopNotOffered = 13,  // APOP asked for; the greeting holds no timestamp
    kFetchFailed = 14,     // STAT, LIST, RETR or a skip failed; the session is broken
    kMailTooLarge = 15,    // a mail over 2 GB
    kNoUniqueId = 16,      // UIDL failed
    kDeleteFailed = 17,
    kCloseFailed = 18,  // the deletions were not committed; the mails stay on the server
    // Sending. about: the address concerned (made printable).
    kNoRecipient = 19,  // about: the recipient text, which holds no address
    kSenderControlCharacter = 20,
    kSenderTooLong = 21,
    kSenderMalformed = 22,
    kSenderRefused = 23,  // the server refused MAIL FROM
    kRecipientControlCharacter = 24,
    kRecipientTooLong = 25,
    kRecipientMalformed = 26,
    kRecipientRefused = 27,      // the server refused RCPT TO
    kAttachmentUnreadable = 28,  // a file to attach cannot be read
    kSendFailed = 29,            // any other refusal of a send
    kDeliveryUnconfirmed = 30,   // the whole mail went out and no reply came (kSendUnconfirmed)
    // Decoding a fetched mail.
    kAttachmentNotWritten = 31,  // an attachment could not be written (-5)
    kSplitMailNotKept = 32,      // a part of a split mail could not be kept
    // The mail was not taken apart: it was written whole as one file. These
    // are notices, not failures: the result is kAttachmentsWritten. about:
    // the file's name; the message: the parts or megabytes the mail has
    // (empty for the levels).
    kWholeMailNestedTooDeep = 33,  // more than kMaxNestingDepth levels of parts
    kWholeMailTooManyParts = 34,   // more attachments than kMaxAttachmentParts
    kWholeMailTooLarge = 35,       // attachments together over kMaxAttachmentMegabytes
    // OAuth 2.0 logins (POP3 and SMTP).
    kMechanismNotOffered = 36,  // the server does not offer XOAUTH2 (or not over TLS)
    kTokenRefused = 37,         // the server refused the access token
};

// What one mail may write into the attachment folder; a mail beyond them is
// written whole as one file instead.
inline constexpr std::size_t kMaxAttachmentParts = 1000;
inline constexpr std::size_t kMaxAttachmentMegabytes = 256;

inline bool isWholeMailNotice(TransportFault fault) {
    return fault == TransportFault::kWholeMailNestedTooDeep ||
           fault == TransportFault::kWholeMailTooManyParts ||
           fault == TransportFault::kWholeMailTooLarge;
}

}  // namespace qf::transport
