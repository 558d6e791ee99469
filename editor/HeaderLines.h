// The four labelled lines in which a shown mail is saved as text (the quick
// save and the editor's save with header) and shown in the pane afterwards:
//
//   Subject:  <subject>
//   From:  <sender, or the recipient in the send history>
//   Date:  <date>
//   Body:  <body, with its own line breaks>
#pragma once

#include <string>
#include <string_view>

namespace qf::editor {

struct HeaderFields {
    std::string_view subject;
    std::string_view from;
    std::string_view date;
    std::string_view body;
};

// The lines as UTF-8 text, CR LF between them and no line end after the
// body: what the pane shows once the mail is saved.
std::string headerLinesText(const HeaderFields& fields);

// The file's bytes: the same text in CP932, every line break of the body
// (LF, CR LF or CR) written as CR LF, and a CR LF after the body.
std::string headerLinesFileBytes(const HeaderFields& fields);

}  // namespace qf::editor
