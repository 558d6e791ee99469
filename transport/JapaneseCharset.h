// Japanese charset conversion for mail, written by hand because the system
// converters get it wrong: ISO-2022-JP as Japanese mailers really write it
// (the Windows variant, with the NEC row 13 and the IBM extension kanji),
// Shift_JIS and EUC-JP with the same extensions, guessing the charset of
// undeclared or mislabelled 8-bit text, and RFC 2047 / RFC 2231 decoding and
// encoding of header texts.
//
// Every function here is pure (no files, no global state but read-only
// tables) and never fails: bytes that cannot be decoded become U+FFFD or the
// substitute mark 〓, the rest of the text is still converted.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qf::transport {

enum class TextCharset { kAscii, kUtf8, kIso2022Jp, kShiftJis, kEucJp, kOther };

// The family a charset label belongs to ("Shift_JIS", "x-sjis", "cp932" …
// are kShiftJis); unknown labels are kOther, an empty label kAscii.
TextCharset charsetFamily(std::string_view label);

// The most likely charset of undeclared text: ESC sequences mean
// ISO-2022-JP, valid UTF-8 means UTF-8, otherwise Shift_JIS or EUC-JP by
// which reading is valid and looks like Japanese.
TextCharset guessCharset(std::string_view bytes);

// ISO-2022-JP (JIS X 0208 with the NEC and IBM extensions, JIS Roman,
// half-width katakana by ESC ( I or SO/SI) to CP932 bytes.
std::string iso2022JpToCp932(std::string_view bytes);

// Text in charset `label` to UTF-8. A label the bytes plainly contradict
// (8-bit bytes in ISO-2022-JP or ASCII, invalid UTF-8, Shift_JIS or EUC-JP)
// or that is empty is replaced by a guess.
std::string toUtf8(std::string_view bytes, std::string_view label);

// The same text as CP932 bytes, as text::toCp932(toUtf8(bytes, label))
// gives them; Japanese text is not taken through UTF-8 on the way.
std::string toCp932Text(std::string_view bytes, std::string_view label);

// A raw header value (possibly folded, possibly raw 8-bit) to UTF-8 text:
// folding removed, RFC 2047 encoded-words decoded (adjacent words of one
// charset joined as bytes first), raw 8-bit runs guessed.
std::string decodeHeaderText(std::string_view rawValue);

// The value of parameter `name` in a raw structured header value such as
// `attachment; filename*0*=ISO-2022-JP''%1B...; filename*1*=...`, as UTF-8:
// RFC 2231 continuations joined in order and then decoded, a plain quoted
// value decoded as header text (it may hold encoded-words or raw 8-bit
// bytes). nullopt when the parameter is absent.
std::optional<std::string> headerParameter(std::string_view rawValue, std::string_view name);

// UTF-8 to ISO-2022-JP as Japanese mailers send it: half-width katakana
// written full-width, IBM extension characters as their NEC-selected codes,
// every line ending in ASCII mode. nullopt when the text holds a character
// that CP932 cannot (or that has no JIS code, such as the user-defined area).
std::optional<std::string> utf8ToIso2022Jp(std::string_view utf8);

// UTF-8 text as RFC 2047 encoded-words (ISO-2022-JP when it can hold the
// text, else UTF-8; base64), each word at most 75 characters, no character
// split across words, words folded with CRLF SPACE. `firstLineUsed` is the
// length of what precedes the value on its first line ("Subject: " = 9).
// Pure ASCII text comes back unchanged.
std::string encodeHeaderText(std::string_view utf8, std::size_t firstLineUsed);

// The RFC 2231 form of a parameter value: UTF-8''percent-encoded.
std::string encodeRfc2231Value(std::string_view utf8);

}  // namespace qf::transport
