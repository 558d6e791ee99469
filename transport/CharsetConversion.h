// The text of received mail in whatever charset it declares, or fails to
// declare, as UTF-8 or CP932: Japanese mail as its mailers really write it
// (ISO-2022-JP, Shift_JIS and EUC-JP with the NEC and IBM extensions), a
// label the bytes plainly contradict replaced by a guess, every other
// registered charset through iconv.
//
// Every function here is pure (no files, no global state but read-only
// tables) and never fails: bytes that cannot be decoded become U+FFFD or the
// substitute mark 〓, the rest of the text is still converted.
#pragma once

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

// Text in charset `label` to UTF-8. A label the bytes plainly contradict
// (8-bit bytes in ISO-2022-JP or ASCII, invalid UTF-8, Shift_JIS or EUC-JP)
// or that is empty is replaced by a guess.
std::string toUtf8(std::string_view bytes, std::string_view label);

// The same text as CP932 bytes, as text::toCp932(toUtf8(bytes, label))
// gives them; Japanese text is not taken through UTF-8 on the way.
std::string toCp932Text(std::string_view bytes, std::string_view label);

}  // namespace qf::transport
