#include "editor/HeaderLines.h"

#include "text/Cp932.h"
#include "text/LineBreaks.h"

namespace qf::editor {

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
    return text::toCp932(text::withCrLf(headerLinesText(fields)) + "\r\n");
}

}  // namespace qf::editor
