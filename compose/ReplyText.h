// The texts of the reply window that need no window: the filled reply and
// the body paste.
#pragma once

#include <string>
#include <string_view>

namespace qf::compose {

// The reply's subject: "Re:", two spaces, the received subject stripped.
std::string replySubject(std::string_view receivedSubject);

// The body paste: the clipboard text, three CR LF and one CR, then the
// received body stripped of spaces. The blank lines set the reply written
// elsewhere off from the received mail.
std::string pastedReplyBody(std::string_view clipboard, std::string_view receivedBody);

}  // namespace qf::compose
