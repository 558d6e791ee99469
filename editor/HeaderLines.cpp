#include "editor/HeaderLines.h"

#include "text/Cp932.h"

namespace qf::editor {

namespace {

std::string withCrLf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 32 + 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

std::string headerLinesText(const HeaderFields& fields) {
    std::string text;
    text.reserve(fields.subject.size() + fields.from.size() + fields.date.size() +
                 fields.body.size() + 32);
    text.append("Subject:  ").append(fields.subject).append("\r\n");
    text.append("From:  ").append(fields.from).append("\r\n");
    text.append("Date:  ").append(fields.date).append("\r\n");
    text.append("Body:  ").append(fields.body);
    return text;
}

std::string headerLinesFileBytes(const HeaderFields& fields) {
    return text::toCp932(withCrLf(headerLinesText(fields)) + "\r\n");
}

}  // namespace qf::editor
