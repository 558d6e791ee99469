// Text from a mail as the terminal may be given it: a subject or body can
// hold escape sequences that move the cursor, retitle the window or worse.
#pragma once

#include <string>
#include <string_view>

namespace qf::boxtool {

// `utf8` with every control character (C0, DEL and the C1 range U+0080 to
// U+009F, which terminals also obey) made a space; line feeds and tabs stay
// when `keepLines`. Japanese and any other text is kept as it is.
std::string terminalText(std::string_view utf8, bool keepLines = false);

}  // namespace qf::boxtool
