#include "boxtool/TerminalWords.h"

#include <cstddef>

#include "words/Words.h"

namespace qf::boxtool {

std::string terminalWords(TerminalSay id, const std::vector<std::string>& context,
                          std::string_view detail) {
    static const char* const kTexts[] = {
#define QF_TERMINAL_WORDS(name, text) text,
#include "boxtool/TerminalWordList.h"
#undef QF_TERMINAL_WORDS
    };
    return ui::withDetail(ui::fillPlaceholders(kTexts[static_cast<std::size_t>(id)], context),
                          detail);
}

}  // namespace qf::boxtool
