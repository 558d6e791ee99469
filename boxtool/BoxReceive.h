// `quillfern-box [--folder PROGRAM_FOLDER] receive`: one receive run from the
// command line, with the program folder's corvid.ini, account (iniIdPass.ini
// NAME/NAME2) and sorting registrations used as the program uses them, so
// mail can be fetched from a script or a timer. Progress and messages go to
// the terminal.
#pragma once

#include <ostream>

#include "settings/ProgramFolder.h"

namespace qf::app {

// Exit statuses of the receive command.
inline constexpr int kReceiveOk = 0;            // every waiting mail stored (or none waited)
inline constexpr int kReceiveFolderBusy = 1;    // the folder is locked or cannot be prepared
inline constexpr int kReceiveNoConnection = 3;  // no POP3 server set, or it cannot be reached
inline constexpr int kReceiveLoginFailed = 4;   // empty ID or password, or the login refused
inline constexpr int kReceiveMailKept = 5;      // some mail not fetched, stored or deleted

// Takes the folder's lock, runs the receive run and prints what happened:
// progress and each stored mail on `out`, problems on `err`. Returns one of
// the statuses above.
int receiveCommand(const settings::ProgramFolder& folder, std::ostream& out, std::ostream& err);

}  // namespace qf::app
