// A mailto: link (RFC 6068), as a browser hands it to the program, taken
// apart for the compose window.
//
//   mailto:a@example.jp,b@example.jp?cc=c@example.jp&subject=%E4%BB%B6&body=...
//
// The addresses of the path and of every to=, cc= and bcc= field are
// percent-decoded and split at ","; subject= and body= are percent-decoded
// UTF-8 ("+" is a plus, not a space). Field names are case-insensitive;
// other fields (in-reply-to=, ...) are ignored. The link is hostile text:
// the addresses are only put into the window, where the send path checks
// them as it checks every typed address.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/Status.h"

namespace qf::compose {

// Longer links are refused: no browser sends one this long by accident.
inline constexpr std::size_t kMailtoLinkMaxBytes = 256 * 1024;

struct MailtoLink {
    std::vector<std::string> to;  // UTF-8, in link order
    std::vector<std::string> cc;
    std::vector<std::string> bcc;
    std::string subject;  // one line: line breaks and controls became spaces
    std::string body;     // line breaks as "\n"
};

// Addresses as one line of the compose window (To, Cc or Bcc), joined by ", ".
std::string joinedAddressLine(const std::vector<std::string>& addresses);

// True when `argument` starts with "mailto:" in any letter case.
bool isMailtoLink(std::string_view argument);

// Fails with kInvalidArgument, naming the fault, when the link does not
// start with "mailto:", is longer than kMailtoLinkMaxBytes, has a "%" not
// followed by two hex digits, decodes to bytes that are not UTF-8, or has a
// control character (a CR LF among them) in an address.
Result<MailtoLink> parseMailtoLink(std::string_view link);

}  // namespace qf::compose
