// Control characters in text that came from outside (a mail, a server, a
// folder's name) before it reaches a message or the terminal.
#pragma once

#include <string>
#include <string_view>

namespace qf::ui {

// `text` with every control character (C0, DEL and the C1 range U+0080 to
// U+009F, which terminals also obey) made one space, except those in `kept`
// (say "\n\t"). Any other text is kept as it is.
std::string withoutControls(std::string_view text, std::string_view kept = {});

}  // namespace qf::ui
