// The last failure of any transport call on this thread: what NMailGetErrorCode
// and NMailGetMessage return. The transport keeps codes and the library's or
// server's own text; the program words them.
#pragma once

#include <string>
#include <string_view>

#include "transport/TransportFault.h"

namespace qf::transport {

struct LastFailure {
    TransportFault fault = TransportFault::kNone;
    std::string diagnostic;  // the server's reply, libcurl's or the OS's text (UTF-8)
    std::string about;       // what the fault concerns: an address, a file name
};

// Both texts are stored made printable (control characters escaped) and
// cut, since a server's reply or an address from a mail may hold anything.
void setLastError(TransportFault fault, std::string_view diagnostic = {},
                  std::string_view about = {});
void clearLastError();
// `text` as a failure's texts are kept: printable and cut.
std::string shownFailureText(std::string_view text);
const LastFailure& lastFailure();

}  // namespace qf::transport
