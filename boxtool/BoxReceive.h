// `quillfern-box [--folder PROGRAM_FOLDER] receive`: one receive run from the
// command line, with the program folder's corvid.ini, account (iniIdPass.ini
// NAME/NAME2) and sorting registrations used as the program uses them, so
// mail can be fetched from a script or a timer. Progress and messages go to
// the terminal.
#pragma once

#include <optional>
#include <ostream>
#include <string_view>

#include "receive/ReceiveRun.h"
#include "settings/ProgramFolder.h"

namespace qf::app {

// Exit statuses of the receive command.
inline constexpr int kReceiveOk = 0;            // every waiting mail stored (or none waited)
inline constexpr int kReceiveFolderBusy = 1;    // the folder is locked or cannot be prepared
inline constexpr int kReceiveNoConnection = 3;  // no POP3 server set, or it cannot be reached
inline constexpr int kReceiveLoginFailed = 4;   // empty ID or password, or the login refused
inline constexpr int kReceiveMailKept = 5;      // some mail not fetched, stored or deleted
inline constexpr int kReceiveSeenListLost = 6;  // the seen-list is lost and no choice was given
inline constexpr int kReceiveSeenListNotWritten = 7;  // all stored, the seen-list not written

// Takes the folder's lock, runs the receive run and prints what happened:
// progress and each stored mail on `out`, problems on `err`. Returns one of
// the statuses above. `lostSeenList` is what to do when mail is left on the
// server and its seen-list cannot be used; without it the run stops then.
int receiveCommand(const settings::ProgramFolder& folder, std::ostream& out, std::ostream& err,
                   std::optional<receive::SeenListChoice> lostSeenList = std::nullopt);

// "fetch-all" or "mark-seen"; nothing for any other text.
std::optional<receive::SeenListChoice> seenListChoiceNamed(std::string_view name);

}  // namespace qf::app
