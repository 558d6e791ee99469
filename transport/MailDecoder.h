// Decoding of a fetched mail into the texts the program stores (subject,
// date, sender, header in UTF-8; the body in UTF-8 or CP932) and its
// attachments (still in memory; NMailDecode.cpp writes them). Charsets are
// converted by CharsetConversion, structure and transfer encodings come from
// GMime, except for plain text mail, which needs no MIME parse.
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

// How deep multiparts may nest before the decoder stops taking them apart.
inline constexpr int kMaxNestingDepth = 32;

// The form the body is decoded into: UTF-8, or CP932 for a caller that keeps
// it so (Japanese text then goes there without passing through UTF-8).
enum class BodyForm { kUtf8, kCp932 };

struct DecodedMail {
    DecodedHeaders headers;
    std::string headerText;  // every header line, "Name: decoded value", CRLF-ended
    std::string body;        // the first text/plain part, else the text of the HTML; CRLF
    BodyForm bodyForm = BodyForm::kUtf8;  // what `body` is written in
    std::vector<Attachment> attachments;
    std::optional<PartialInfo> partial;  // set for a message/partial mail
    bool nestedTooDeep = false;          // multiparts below kMaxNestingDepth were left whole
};

// Decodes a whole mail. Never fails: text GMime cannot parse as a message is
// returned as the body, guessed for its charset.
DecodedMail decodeMail(std::string_view rawMail, BodyForm bodyForm = BodyForm::kUtf8);

namespace detail {
// decodeMail without its shortcut for plain text mail: every mail through the
// MIME parser. The decoder's tests hold the two to the same results.
DecodedMail decodeMailWithMimeParser(std::string_view rawMail, BodyForm bodyForm);
}  // namespace detail

// UTF-8 text in the body's form, for text the caller adds to the body.
std::string inBodyForm(const DecodedMail& mail, std::string_view utf8);

// One header field as it stands in the mail: its name, and its whole text
// from the name to the line break of its last folded line.
struct RawHeaderField {
    std::string_view name;
    std::string_view text;
};

// The fields of the header of `rawMail` (everything before the first empty
// line), in order; lines that are no field are left out.
std::vector<RawHeaderField> rawHeaderFields(std::string_view rawMail);

// What follows the header and its empty line; empty when there is none.
std::string_view rawBody(std::string_view rawMail);

}  // namespace qf::transport
