// Conversion between the program's UTF-8 text and CP932 (Windows Shift-JIS
// with the NEC and IBM extensions), the code page of every file and every
// transport buffer. This is the one place where that conversion happens.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qf::text {

// UTF-8 to CP932. A character CP932 cannot hold becomes "?"; invalid UTF-8
// bytes become "?" too. Never fails.
std::string toCp932(std::string_view utf8);

// CP932 to UTF-8. An invalid or truncated byte sequence becomes U+FFFD; the
// rest of the text is still converted. Never fails.
std::string fromCp932(std::string_view cp932);

// The bytes toCp932(fromCp932(cp932)) gives, without the UTF-8 between:
// where CP932 has two codes for a character (the NEC and IBM duplicates)
// the one toCp932 writes, an undecodable byte as "?". Text that arrives in
// CP932 already is stored the way text converted from UTF-8 would be.
std::string canonicalCp932(std::string_view cp932);

// True when the byte is the first byte of a double-byte CP932 character
// (0x81-0x9F, 0xE0-0xFC).
bool isCp932LeadByte(unsigned char byte);

// The length in bytes of the longest prefix of `cp932` that is at most
// `maxBytes` long and does not end inside a double-byte character.
std::size_t cp932PrefixLength(std::string_view cp932, std::size_t maxBytes);

// True when every character of the UTF-8 text can be written in CP932.
bool fitsCp932(std::string_view utf8);

// False when the C library has no CP932 converter. The functions above still
// never fail then, but all they can keep is ASCII: every other character
// becomes its replacement. The programs refuse to start without it, so
// that no mail is stored that way.
bool cp932ConversionAvailable();

}  // namespace qf::text
