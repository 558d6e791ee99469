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

// What show prints of one record; the decoded original's texts where it is
// kept (quillfern-box-receive decodes them: only it loads the MIME library).
struct ShownRecord {
    int recordNumber = 0;
    bool sent = false;  // the send history: the party is the recipient
    std::string subject, party, date;
    std::string to, cc;  // from the original; empty otherwise
    int status = 0;
    bool original = false;
    std::string body;
};
void printShownRecord(const ShownRecord& record, std::ostream& out);

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
