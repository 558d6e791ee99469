// The commands of quillfern-box. Each prints to `out`, reports failures to
// `err` and returns the exit status: 0 done, 1 failed or problem found.
#pragma once

#include <ostream>
#include <string>

#include "boxtool/BoxToolArguments.h"
#include "text/Status.h"

namespace qf::boxtool {

// The folder of the running program (".", when it cannot be told).
std::string executableFolder();

// --folder, else the program folder the program itself would use
// (settings/ProgramFolder.h): $QUILLFERN_FOLDER, the user's folder when
// installed, the executable's folder. Fails when none can be told.
Result<std::string> programFolder(const Arguments& args);

int runCommand(const Arguments& args, const std::string& programFolder, std::ostream& out,
               std::ostream& err);

}  // namespace qf::boxtool
