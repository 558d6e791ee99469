// The commands of quillfern-box. Each prints to `out`, reports failures to
// `err` and returns the exit status: 0 done, 1 failed or problem found,
// kDoneNotDurable done but a power cut may still undo it.
#pragma once

#include <ostream>
#include <string>

#include "base/Status.h"
#include "boxtool/BoxToolArguments.h"
#include "settings/ProgramFolder.h"
#include "store/BoxCatalogue.h"

namespace qf::boxtool {

inline constexpr int kDoneNotDurable = 7;

// The folder of the running program (".", when it cannot be told).
std::string executableFolder();

// --folder, else the program folder the program itself would use
// (settings/ProgramFolder.h): $QUILLFERN_FOLDER, the user's folder when
// installed, the executable's folder. Fails when none can be told.
Result<std::string> programFolder(const Arguments& args);

int runCommand(const Arguments& args, const std::string& programFolder, std::ostream& out,
               std::ostream& err);

// Repairs what a crash left in the program folder's box files and
// whole-file writes (the program does the same at start-up). Needs the
// folder's lock.
store::RecoveryReport repairFolder(const settings::ProgramFolder& folder);

// What the program says when the folder's lock was not taken: in use by
// another Quillfern (kRefused) or not usable, with the diagnostic.
std::string lockFailureWords(const Status& failure, const std::string& programFolder);

}  // namespace qf::boxtool
