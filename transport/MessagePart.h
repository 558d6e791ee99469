// A received mail attached whole to an outgoing one (a forward as
// attachment), as a message/rfc822 part. Internal to qf_transport.
#pragma once

#include <string_view>

#include "transport/GMimeSupport.h"

namespace qf::transport {

// The message/rfc822 part that carries `original` (CR LF or LF line ends)
// unchanged, as 7bit; null when it cannot go as one: it holds a byte above
// 0x7F, NUL bytes, a bare CR or a line longer than 998 bytes (RFC 2046
// allows no base64 here), GMime finds no mail in it, or GMime would not
// write it back byte for byte. The part holds its own copy.
//
// An 8-bit mail is no message part: 8bit content may travel only with
// BODY=8BITMIME on MAIL FROM (RFC 6152), and libcurl 7.88 cannot add that
// parameter (it closes the address with '>' after whatever follows it), so
// the sender could not declare it even to a server that offers 8BITMIME.
GObjectPtr<GMimeObject> messagePart(std::string_view original);

}  // namespace qf::transport
