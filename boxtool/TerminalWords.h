// The store tool's own terminal texts, from boxtool/TerminalWordList.h.
#pragma once

#include <string>
#include <vector>

namespace qf::boxtool {

enum class TerminalSay {
#define QF_TERMINAL_WORDS(name, text) name,
#include "boxtool/TerminalWordList.h"
#undef QF_TERMINAL_WORDS
};

// What the store tool's own lines on the terminal start with.
inline constexpr char kToolName[] = "quillfern-box: ";

// The text of `id` with "%1", "%2" … replaced by `context` in order.
std::string terminalWords(TerminalSay id, const std::vector<std::string>& context = {});

}  // namespace qf::boxtool
