// The mail NMailPop3GetMail fetched last on a session, whole and as the
// server sent it (after dot-unstuffing): what the receive keeps as the mail's
// original. Taking it empties the session's copy; "" when nothing was fetched
// since, or the handle is unknown.
#pragma once

#include <string>

namespace qf::transport {

std::string takeRetrievedMail(int handle);

// The mail NMailSmtpSendMail last built on this thread, as it went to the
// server (for the send history's original); taking it empties it.
std::string takeLastSentMail();

}  // namespace qf::transport
