// Mail addresses in both directions: the mailboxes of an address header as a
// received mail carries it, the text such a header is stored as, and the
// mailboxes the sending side reads in typed or stored text.
//
// A received header is hostile. Its addresses are taken as written (an
// RFC 2047 encoded-word is never decoded inside one); only display names are
// decoded. The stored text is made so that reading it again for a reply, the
// address book or a batch send finds the real senders and nobody else.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qf::transport {

struct Mailbox {
    std::string name;     // display name, decoded (UTF-8); may be empty
    std::string address;  // bare address as written (UTF-8); may be empty
};

// The mailboxes of a raw address header value (possibly folded, 8-bit or with
// encoded-words), in order: comments dropped, group members taken out of their
// group, encoded-words decoded in display names only, control characters of
// names made spaces. Never fails.
std::vector<Mailbox> parseReceivedAddresses(std::string_view rawValue);

// The text a received address header is stored as, already as CP932 will
// hold it (asStoredText): the header decoded as it always was when that text
// reads back as exactly the addresses of parseReceivedAddresses, under our
// readers and any reader that keeps to RFC 5322; otherwise those mailboxes
// written out again, a display name holding address specials kept in quotes.
// A mailbox whose address CP932 cannot hold, or that no reader would find
// whole, is kept as a name with an empty address ("<>"): a reply never goes
// to an address the header does not name. No control characters either way.
std::string decodeAddressHeader(std::string_view rawValue);

// `utf8` as it reads back from a CP932 record: characters CP932 lacks as "?",
// and ¥ (U+00A5) and ‾ (U+203E), which CP932 would turn into a backslash and
// "~", as their full-width forms ￥ and ￣.
std::string asStoredText(std::string_view utf8);

// The mailboxes the sending side reads in text (UTF-8, as typed or stored):
// the recipients of a send. Mailboxes without an address are left out.
std::vector<Mailbox> parseMailboxList(std::string_view text);

// One mailbox as text that parseMailboxList reads back as it: `address`
// alone, or `name <address>` with the name quoted when it needs to be.
std::string formatMailbox(const Mailbox& mailbox);

// `text` as an RFC 5322 quoted string: in double quotes, each quote and
// backslash escaped with a backslash.
std::string quotedString(std::string_view text);

// `text` with each control character (C0, DEL, C1) made a space.
std::string controlsToSpaces(std::string_view text);

}  // namespace qf::transport
