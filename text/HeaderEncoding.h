// Base64 and RFC 2047 encoded-words, for header texts that are not plain
// ASCII: the mail sent and the mbox export write their headers with them,
// and received headers are read back through the decoders.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace qf::text {

// Base64 with padding, no line breaks.
std::string base64Encode(std::string_view bytes);

// Lenient base64: padding may be missing, stray characters are skipped.
std::string base64Decode(std::string_view text);

// `text` with each `escape` followed by two hex digits replaced by that
// byte: percent escapes (RFC 2231) or equals escapes (the "Q" encoding of
// RFC 2047, where `underscoreIsSpace`). An escape without two hex digits
// stays as it is.
std::string decodeHexEscapes(std::string_view text, char escape, bool underscoreIsSpace);

// `bytes` with every byte but the ASCII letters and digits and the bytes of
// `unescaped` written as "%" and two upper-case hex digits (RFC 3986, and
// RFC 2231's parameter values).
std::string percentEncode(std::string_view bytes, std::string_view unescaped);

// Turns a run of whole UTF-8 characters into the bytes of a charset.
using CharsetEncoder = std::function<std::string(std::string_view utf8)>;

// `utf8` as "B" encoded-words in `charset`, each word at most 75 characters
// and holding whole characters only (`toCharset` sees each word's text on
// its own, so a stateful charset starts and ends every word in ASCII).
// Words are joined by `fold` ("\r\n " in mail, "\n " in an mbox file).
// `firstLineUsed` is the length of what precedes the value on its first
// line ("Subject: " = 9), so that line stays within 76 characters.
// REQUIRES: `utf8` is not empty.
std::string encodeHeaderWords(std::string_view utf8, std::string_view charset,
                              const CharsetEncoder& toCharset, std::size_t firstLineUsed,
                              std::string_view fold);

}  // namespace qf::text
