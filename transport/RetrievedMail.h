// The mail NMailPop3GetMail fetched last on a session, whole and as the
// server sent it (after dot-unstuffing): what the receive keeps as the mail's
// original. Taking it empties the session's copy; "" when nothing was fetched
// since, or the handle is unknown.
#pragma once

#include <string>

namespace qf::transport {

std::string takeRetrievedMail(int handle);

}  // namespace qf::transport
