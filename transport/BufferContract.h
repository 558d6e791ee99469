// How texts cross the NMail interface: arguments arrive as NUL-terminated
// CP932 (a null pointer counts as empty), results go into caller-owned
// buffers, NUL-terminated, never longer than the buffer and never ending in
// half a double-byte character.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qf::transport {

// Capacity in bytes of the caller's subject, date, sender and header buffers,
// as set with NMailSetOption(1, n); 8192 until changed.
std::size_t textBufferSize();
void setTextBufferSize(std::size_t bytes);

// Capacity of NMailAttachmentFileFirst's body buffer as set with
// NMailSetOption(2, n); 0 until set, meaning strlen(mailText) + 1.
std::size_t bodyBufferSize();
void setBodyBufferSize(std::size_t bytes);

// A CP932 argument as UTF-8; empty for a null pointer.
std::string utf8Argument(const char* cp932);

// Writes `cp932` into `buffer` of `capacity` bytes, NUL included, cut at a
// character boundary. Nothing happens for a null buffer or no capacity.
void copyCp932(char* buffer, std::size_t capacity, std::string_view cp932);
// The same for UTF-8 text, converted to CP932 first.
void copyUtf8(char* buffer, std::size_t capacity, std::string_view utf8);

// The raw header and body of a mail: the header runs up to and including the
// line end before the first empty line; the body is what follows that line.
struct MailParts {
    std::string_view header, body;
};
MailParts splitHeaderAndBody(std::string_view mail);

// A header block of at most maxBytes that keeps whole lines only. When the
// whole block does not fit, trace fields (Received, DKIM/ARC signatures,
// X- fields) are dropped first, so the fields a reader decodes the mail
// with (From, Subject, Date, MIME-Version, Content-*) survive.
std::string fitHeader(std::string_view header, std::size_t maxBytes);

}  // namespace qf::transport
