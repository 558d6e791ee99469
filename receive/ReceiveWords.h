// What the user is told about a receive run, the same in the windows and on
// the terminal: each message of the run, and a run that could not start
// fetching, as a message of the program's word list (ui/WordList.h).
#pragma once

#include <optional>
#include <string>

#include "receive/ReceiveRun.h"
#include "ui/Words.h"

namespace qf::receive {

ui::Message messageOf(const ReceiveMessage& message);

// Why the run fetched nothing, with what to check: no POP3 server, a server
// that could not be reached, no ID or password. Nothing for any other end
// (a refused login and a broken session were told as they happened).
std::optional<ui::Message> startFailureOf(const ReceiveOutcome& outcome,
                                          const std::string& pop3Server);

}  // namespace qf::receive
