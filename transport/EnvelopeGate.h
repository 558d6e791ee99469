// The one gate every envelope address passes before a send: what goes into
// MAIL FROM and RCPT TO must be an RFC 5321 mailbox, whoever wrote it (the
// user, the address book, or a received mail through a reply). A send with
// one address that fails is refused before any byte goes to the server.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "transport/TransportFault.h"

namespace qf::transport {

enum class AddressFault {
    kNone,
    kControlCharacter,  // CR, LF, NUL or any other control character
    kTooLong,           // local part over 64 bytes, domain over 255, path over 254
    kMalformed,         // not local-part "@" domain: stray brackets, quotes, spaces …
};

// Why `address` (a bare address, UTF-8, without angle brackets) cannot go
// into an SMTP command; kNone when it can. UTF-8 letters are allowed (SMTPUTF8,
// international domain names); C1 controls are not.
AddressFault envelopeAddressFault(std::string_view address);

struct EnvelopeRefusal {
    bool sender = false;  // MAIL FROM, else a RCPT TO
    std::string address;
    AddressFault fault = AddressFault::kNone;
};

// The first address of the envelope that fails the gate. The sender may be
// empty: the null reverse-path "<>".
std::optional<EnvelopeRefusal> checkEnvelope(std::string_view sender,
                                             const std::vector<std::string>& recipients);

// The address texts of a send as given (sender, then recipients), before
// any parse: one holding a control character is refused whole, since a
// parser drops or splits at line breaks and would send to other addresses
// than the text shows (an old stored From with CR LF in it, say).
std::optional<EnvelopeRefusal> checkAddressTexts(std::string_view sender,
                                                 const std::vector<std::string_view>& recipients);

// The code a refusal is reported with (NMailGetErrorCode).
TransportFault envelopeFault(const EnvelopeRefusal& refusal);

// `address` as a user can be shown it: control characters as "\r", "\n" or
// "\xNN", cut to `maxCharacters` with "…".
std::string printableAddress(std::string_view address, std::size_t maxCharacters = 80);

}  // namespace qf::transport
