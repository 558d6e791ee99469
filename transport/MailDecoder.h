// Decoding of a fetched mail into the texts the program stores (subject,
// date, sender, header, body; UTF-8) and its attachments (still in memory;
// NMailDecode.cpp writes them). Charsets are converted by JapaneseCharset,
// structure and transfer encodings come from GMime.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qf::transport {

struct DecodedHeaders {
    std::string subject, date, sender;
};  // UTF-8, decoded

// Decodes Subject, Date and From of a raw header block (RFC 5322, possibly
// unfolded or 8-bit). Never fails: undecodable parts are guessed or kept.
DecodedHeaders decodeHeaders(std::string_view rawHeader);

struct Attachment {
    std::string name;      // decoded (UTF-8) as the mail gives it, unsafe, may be empty
    std::string bytes;     // transfer-decoded content
    std::string mimeType;  // "image/png"; gives a generated name its extension
};

// One part of a split mail (message/partial).
struct PartialInfo {
    std::string id;
    int number = 0;
    int total = 0;  // 0 when this part does not say (only the last must)
};

struct DecodedMail {
    DecodedHeaders headers;
    std::string headerText;  // every header line, "Name: decoded value", CRLF-ended
    std::string body;        // the first text/plain part, else the text of the HTML; CRLF
    std::vector<Attachment> attachments;
    std::optional<PartialInfo> partial;  // set for a message/partial mail
};

// Decodes a whole mail. Never fails: text GMime cannot parse as a message is
// returned as the body, guessed for its charset.
DecodedMail decodeMail(std::string_view rawMail);

// The text of an HTML document: tags removed, block ends as line breaks,
// script and style dropped, character references decoded.
std::string htmlToText(std::string_view html);

}  // namespace qf::transport
