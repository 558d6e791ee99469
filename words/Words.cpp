#include "words/Words.h"

#include <cstddef>

namespace qf::ui {

const std::vector<Wording>& allWordings() {
    static const std::vector<Wording> rows = {
#define QF_WORDS(name, box, title, sentence) {Say::name, Box::box, title, sentence},
#include "words/WordList.h"
#undef QF_WORDS
    };
    return rows;
}

const Wording& wording(Say id) {
    return allWordings()[static_cast<std::size_t>(id)];
}

std::string fillPlaceholders(std::string_view sentence, const std::vector<std::string>& context) {
    std::string out;
    out.reserve(sentence.size() + 8);
    for (std::size_t i = 0; i < sentence.size(); ++i) {
        const char next = i + 1 < sentence.size() ? sentence[i + 1] : '\0';
        if (sentence[i] == '%' && next >= '1' && next <= '9') {
            const auto n = static_cast<std::size_t>(next - '1');
            if (n < context.size()) {
                out += context[n];
            }
            ++i;
            continue;
        }
        out += sentence[i];
    }
    // A sentence whose last line is an empty context would end in a bare
    // line break.
    while (!out.empty() && out.back() == '\n') {
        out.pop_back();
    }
    return out;
}

std::string words(Say id, const std::vector<std::string>& context, std::string_view detail) {
    std::string out = fillPlaceholders(wording(id).sentence, context);
    if (!detail.empty()) {
        out += "\n（";
        out += detail;
        out += "）";
    }
    return out;
}

}  // namespace qf::ui
