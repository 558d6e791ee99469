// Header texts both ways: a received header value with its RFC 2047
// encoded-words and raw 8-bit runs to UTF-8, and UTF-8 text to the
// encoded-words a sent header carries.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qf::transport {

// A raw header value with its folding removed (the white space after each
// line break stays) and the white space around it trimmed.
std::string unfoldHeaderValue(std::string_view raw);

// A raw header value (possibly folded, possibly raw 8-bit) to UTF-8 text:
// folding removed, RFC 2047 encoded-words decoded (adjacent words of one
// charset joined as bytes first), raw 8-bit runs guessed.
std::string decodeHeaderText(std::string_view rawValue);

// UTF-8 text as RFC 2047 encoded-words (ISO-2022-JP when it can hold the
// text, else UTF-8; base64), each word at most 75 characters, no character
// split across words, words folded with CRLF SPACE. `firstLineUsed` is the
// length of what precedes the value on its first line ("Subject: " = 9).
// Pure ASCII text comes back unchanged.
std::string encodeHeaderText(std::string_view utf8, std::size_t firstLineUsed);

}  // namespace qf::transport
