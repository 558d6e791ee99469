// Fixed-width text fields of the record files and the small text helpers the
// whole program shares (cut at NUL, strip spaces).
//
// A field of N bytes holds CP932 text, left-aligned and padded with 0x20.
// A double-byte character that would straddle the field's end is dropped
// whole, so a field never ends in half a character.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace qf::text {

// The text with ASCII spaces (U+0020 only) removed at both ends.
std::string_view stripSpaces(std::string_view text);
// The length of `text` without the spaces it ends in (none before `from`
// counted).
std::size_t lengthWithoutTrailingSpaces(std::string_view text, std::size_t from = 0);

// The text with every character of `characters` (ASCII only) removed at
// both ends.
std::string_view stripCharacters(std::string_view text, std::string_view characters);

// The text before the first NUL character, or all of it when there is none.
std::string_view cutAtNul(std::string_view text);

// Strips `utf8`, converts it to CP932 and writes it into `field`: left-aligned,
// cut at a character boundary, padded with 0x20 to the field's size.
void writeField(std::span<char> field, std::string_view utf8);
// The same for text that is CP932 already: stripped, cut and padded.
void writeCp932Field(std::span<char> field, std::string_view cp932);

// Converts the field from CP932 and strips spaces at both ends. NUL bytes
// are kept (a never-written field reads as NULs); see readListField.
std::string readField(std::span<const char> field);

// readField, then cut before the first NUL: what lists show.
std::string readListField(std::span<const char> field);

}  // namespace qf::text
