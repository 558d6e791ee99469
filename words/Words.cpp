#include "words/Words.h"

#include <algorithm>
#include <cstddef>

#include "words/Controls.h"

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

namespace {

// C0 controls, DEL, and the C1 controls (U+0080 … U+009F, "\xC2\x80" …
// "\xC2\x9F" in UTF-8); `at` is where a character starts. Returns the
// control's length in bytes, 0 when there is none.
std::size_t controlAt(std::string_view text, std::size_t at) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte < 0x20 || byte == 0x7F) {
        return 1;
    }
    if (byte == 0xC2 && at + 1 < text.size()) {
        const auto next = static_cast<unsigned char>(text[at + 1]);
        return next >= 0x80 && next <= 0x9F ? 2 : 0;
    }
    return 0;
}

bool continuationByte(char byte) {
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

}  // namespace

std::string withoutControls(std::string_view text, std::string_view kept) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t control = controlAt(text, i);
        if (control == 0 || kept.find(text[i]) != std::string_view::npos) {
            out += text[i];
            ++i;
        } else {
            out += ' ';
            i += control;
        }
    }
    return out;
}

std::string shownDetail(std::string_view outside) {
    std::string out;
    out.reserve(std::min(outside.size(), kMaxDetailBytes + 4));
    for (std::size_t i = 0; i < outside.size();) {
        const std::size_t control = controlAt(outside, i);
        const bool space = control > 0 || outside[i] == ' ';
        if (space) {
            if (!out.empty() && out.back() != ' ') {
                out += ' ';
            }
            i += std::max<std::size_t>(control, 1);
            continue;
        }
        out += outside[i];
        ++i;
    }
    while (!out.empty() && out.back() == ' ') {
        out.pop_back();
    }
    if (out.size() > kMaxDetailBytes) {
        std::size_t cut = kMaxDetailBytes;
        while (cut > 0 && continuationByte(out[cut])) {
            --cut;
        }
        out.resize(cut);
        out += "…";
    }
    return out;
}

std::string withDetail(std::string sentence, std::string_view detail) {
    const std::string shown = shownDetail(detail);
    if (!shown.empty()) {
        sentence += "\n（";
        sentence += shown;
        sentence += "）";
    }
    return sentence;
}

std::string words(Say id, const std::vector<std::string>& context, std::string_view detail) {
    return withDetail(fillPlaceholders(wording(id).sentence, context), detail);
}

}  // namespace qf::ui
