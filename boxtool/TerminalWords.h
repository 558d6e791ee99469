// The store tool's own terminal texts, from boxtool/TerminalWordList.h.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/Status.h"

namespace qf::boxtool {

enum class TerminalSay {
#define QF_TERMINAL_WORDS(name, text) name,
#include "boxtool/TerminalWordList.h"
#undef QF_TERMINAL_WORDS
};

// What the store tool's own lines on the terminal start with.
inline constexpr char kToolName[] = "quillfern-box: ";

// The text of `id` with "%1", "%2" … replaced by `context` in order, then
// `detail` (the OS's or a library's own text) in brackets on a line of its
// own, as the program's messages show it.
std::string terminalWords(TerminalSay id, const std::vector<std::string>& context = {},
                          std::string_view detail = {});

// The text of `id` after `failure`: only its outside text is shown, never
// the program's own diagnostic.
inline std::string terminalWords(TerminalSay id, const std::vector<std::string>& context,
                                 const Status& failure) {
    return terminalWords(id, context, failure.outsideText());
}

}  // namespace qf::boxtool
