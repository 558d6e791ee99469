// The commands of quillfern-box. Each prints to `out`, reports failures to
// `err` and returns the exit status: 0 done, 1 failed or problem found.
#pragma once

#include <ostream>
#include <string>

#include "boxtool/BoxToolArguments.h"

namespace qf::boxtool {

// The folder of the running program (".", when it cannot be told).
std::string executableFolder();

// --folder, else $QUILLFERN_FOLDER, else `executableFolder`.
std::string programFolder(const Arguments& args, const std::string& executableFolder);

int runCommand(const Arguments& args, const std::string& programFolder, std::ostream& out,
               std::ostream& err);

}  // namespace qf::boxtool
