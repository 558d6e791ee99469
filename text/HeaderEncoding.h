// Base64 and RFC 2047 encoded-words, for header texts that are not plain
// ASCII: the mail sent and the mbox export write their headers with them.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace qf::text {

// Base64 with padding, no line breaks.
std::string base64Encode(std::string_view bytes);

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
