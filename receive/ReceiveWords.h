// What the user is told about a receive run, the same in the windows and on
// the terminal: each message of the run, and a run that could not start
// fetching, as a message of the program's word list (ui/WordList.h).
#pragma once

#include <array>
#include <optional>
#include <string>

#include "receive/ReceiveRun.h"
#include "words/Words.h"

namespace qf::receive {

// `pop3Server`: the POP3 setting of the run, for the messages that name it.
ui::Message messageOf(const ReceiveMessage& message, const std::string& pop3Server = {});

// Why the run fetched nothing, with what to check: no POP3 server, a server
// that could not be reached, no ID or password. Nothing for any other end
// (a refused login and a broken session were told as they happened).
std::optional<ui::Message> startFailureOf(const ReceiveOutcome& outcome,
                                          const std::string& pop3Server);

// The mails a run stored, box by box in routing order, for the desktop's
// notice: "田中さん 2通, その他 1通". Boxes that took none are left out;
// `boxNames` are the names the main window shows, by slot.
std::string newMailCounts(const SlotCounts& stored,
                          const std::array<std::string, kBoxSlotCount>& boxNames);

}  // namespace qf::receive
