// Command line of quillfern-box: what to do, on which box, in which folder.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace qf::boxtool {

enum class CommandKind {
    kHelp,
    kList,
    kShow,
    kDelete,
    kCheck,
    kExport,
    kRecover,
    kReceive,
    kSearch,
    kOriginal
};

struct Arguments {
    CommandKind command = CommandKind::kHelp;
    std::optional<std::string> folder;  // --folder PROGRAM_FOLDER
    int box = 0;
    int recordNumber = 0;
    std::string mboxPath;
    bool force = false;
    std::string searchText;     // search TEXT
    bool exact = false;         // search --exact
    bool searchOneBox = false;  // search --box N
    std::string lostSeenList;   // receive --lost-seen-list fetch-all|mark-seen
};

// The parsed arguments, or nothing when they are not a valid command line;
// then `error` says why.
std::optional<Arguments> parseArguments(const std::vector<std::string>& args, std::string* error);

// The --help text.
std::string usageText();

}  // namespace qf::boxtool
