#include "compose/ReplyText.h"

#include "text/FixedField.h"

namespace qf::compose {

std::string replySubject(std::string_view receivedSubject) {
    return "Re:  " + std::string(text::stripSpaces(receivedSubject));
}

std::string pastedReplyBody(std::string_view clipboard, std::string_view receivedBody) {
    std::string body(clipboard);
    body += "\r\n\r\n\r\n\r";
    body += text::stripSpaces(receivedBody);
    return body;
}

}  // namespace qf::compose
