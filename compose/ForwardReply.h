// What forwarding and answering everyone take from a received mail: the
// forward's subject, the recipients of a reply to all, read from the mail's
// original header when it is kept.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "transport/Addresses.h"

namespace qf::compose {

// "Fwd: " and the subject, with one prefix however often the mail was
// forwarded or answered before: "Fwd: Fwd: x", "FW: x" and "転送: x" give
// "Fwd: x"; a forwarded reply keeps one "Re: " ("Re: Fwd: x" gives
// "Fwd: Re: x").
std::string forwardSubject(std::string_view subject);

// The address headers of a mail as it came (the raw header of its original).
struct OriginalAddresses {
    std::vector<transport::Mailbox> from, replyTo, to, cc;
};
OriginalAddresses addressesOf(std::string_view rawMail);

struct ReplyAllRecipients {
    std::vector<transport::Mailbox> recipients;
    bool toReplyTo = false;  // the answer goes to Reply-To instead of From
};

// The sender (Reply-To when the mail names one) followed by its To and Cc,
// each address once (compared without case), none of `ownAddresses`, none
// without an address. When that leaves no one (the user wrote to
// themselves), the sender alone.
ReplyAllRecipients replyAllRecipients(const OriginalAddresses& mail,
                                      const std::vector<std::string>& ownAddresses);

// The recipients as a recipient line ("a@x, 名前 <b@y>").
std::string recipientLine(const std::vector<transport::Mailbox>& recipients);

}  // namespace qf::compose
