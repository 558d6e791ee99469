// The owner of the words the user reads. Core functions report a code and a
// diagnostic (Status, a receive run's message kind); this is the one place
// that turns a code and its context into the program's Japanese sentence:
// what failed and what to do next, with the outside text (the OS's, the
// server's or a library's own words, see Status::outsideText) after it in
// brackets. The program's own diagnostics (Status::message) never reach
// the user. Windows show it through the message-box seam, the
// command-line tool prints it. Plain C++ (UTF-8), so both can use it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/Status.h"

namespace qf::ui {

// How a window shows a message.
// kRetry: OK tries again, Cancel goes on. kStatus: a line of the main
// window's help bar or notice (a state, not a sentence), never a box.
enum class Box { kAsk, kInform, kWarn, kRetry, kStatus };

enum class Say {
#define QF_WORDS(name, box, title, sentence) name,
#include "words/WordList.h"
#undef QF_WORDS
};

struct Wording {
    Say id;
    Box box;
    const char* title;     // "" for the program's own title
    const char* sentence;  // with "%1" … for the context
};

// A message with its context and the outside text.
struct Message {
    Say id;
    std::vector<std::string> context;
    std::string detail;  // the OS's, server's or library's text, or empty
};

// The row of `id`.
const Wording& wording(Say id);
// Every row, in the order of the list (for tests).
const std::vector<Wording>& allWordings();

// `sentence` with "%1", "%2" … replaced by `context` in order (a number
// beyond the context by nothing), and no line break at its end.
std::string fillPlaceholders(std::string_view sentence, const std::vector<std::string>& context);

// `outside` as it may be shown: a server's text is hostile, so control
// characters become spaces, runs of spaces one, and a long text is cut (on
// a character's edge) to kMaxDetailBytes with "…" after it.
inline constexpr std::size_t kMaxDetailBytes = 200;
std::string shownDetail(std::string_view outside);

// `sentence`, then shownDetail(`detail`) in brackets "（…）" on a line of
// its own when it is not empty.
std::string withDetail(std::string sentence, std::string_view detail);

// The sentence of `id` with "%1", "%2" … replaced by `context` in order,
// then the detail as withDetail adds it.
std::string words(Say id, const std::vector<std::string>& context = {},
                  std::string_view detail = {});

// The sentence of `id` after `failure`: only its outside text is shown.
inline std::string words(Say id, const std::vector<std::string>& context, const Status& failure) {
    return words(id, context, failure.outsideText());
}

inline std::string words(const Message& message) {
    return words(message.id, message.context, message.detail);
}

}  // namespace qf::ui
