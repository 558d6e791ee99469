// ISO-2022-JP as Japanese mailers really write it, written by hand because
// the system converters get it wrong: the Windows variant, with the NEC row
// 13 and the IBM extension kanji, and the sets of ISO-2022-JP-2 that old
// mailers mix in. Both functions are pure and never fail on their input.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qf::transport {

// ISO-2022-JP (JIS X 0208 with the NEC and IBM extensions, JIS Roman,
// half-width katakana by ESC ( I or SO/SI) to CP932 bytes. Characters of the
// other ISO-2022-JP-2 sets become their CP932 code, "?" where CP932 lacks
// them, 〓 where the bytes are none.
std::string iso2022JpToCp932(std::string_view bytes);
// The same in canonical form (text::canonicalCp932), in one pass where the
// text allows it.
std::string iso2022JpToCanonicalCp932(std::string_view bytes);

// UTF-8 to ISO-2022-JP as Japanese mailers send it: half-width katakana
// written full-width, IBM extension characters as their NEC-selected codes,
// every line ending in ASCII mode. nullopt when the text holds a character
// that CP932 cannot (or that has no JIS code, such as the user-defined area).
std::optional<std::string> utf8ToIso2022Jp(std::string_view utf8);

}  // namespace qf::transport
