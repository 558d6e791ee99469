#include "boxtool/TerminalText.h"

#include "words/Controls.h"

namespace qf::boxtool {

std::string terminalText(std::string_view utf8, bool keepLines) {
    return ui::withoutControls(utf8, keepLines ? "\n\t" : "");
}

}  // namespace qf::boxtool
