// A received mail attached whole to an outgoing one (a forward as
// attachment), as a message/rfc822 part. Internal to qf_transport.
#pragma once

#include <string_view>

#include "transport/GMimeSupport.h"

namespace qf::transport {

// The message/rfc822 part that carries `original` (CR LF or LF line ends)
// unchanged, marked 7bit or 8bit as its bytes need; null when it cannot go
// as one: GMime finds no mail in it, it holds NUL bytes, a bare CR or a
// line longer than 998 bytes (RFC 2046 allows no base64 here), or GMime
// would not write it back byte for byte. The part holds its own copy.
GObjectPtr<GMimeObject> messagePart(std::string_view original);

}  // namespace qf::transport
