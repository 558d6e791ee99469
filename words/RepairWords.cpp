#include "words/RepairWords.h"

#include <filesystem>

#include "words/Words.h"

namespace qf::ui {

namespace {

Say sayOf(base::RepairKind kind) {
    using base::RepairKind;
    switch (kind) {
        case RepairKind::kRestoredFromTemporary:
            return Say::kRepairRestoredFromTemporary;
        case RepairKind::kDeletionNotDone:
            return Say::kRepairDeletionNotDone;
        case RepairKind::kRedundantTemporaryRemoved:
            return Say::kRepairRedundantTemporaryRemoved;
        case RepairKind::kCompactionFinished:
            return Say::kRepairCompactionFinished;
        case RepairKind::kDamagedTemporaryKeptAside:
            return Say::kRepairDamagedTemporaryKeptAside;
        case RepairKind::kTemporaryWithMissingMailKeptAside:
            return Say::kRepairTemporaryWithMissingMailKeptAside;
        case RepairKind::kTornTailMovedAside:
            return Say::kRepairTornTailMovedAside;
        case RepairKind::kDeletedMarksRemoved:
            return Say::kRepairDeletedMarksRemoved;
        case RepairKind::kLeftoverTemporaryRemoved:
            return Say::kRepairLeftoverTemporaryRemoved;
    }
    return Say::kRepairLeftoverTemporaryRemoved;  // not reached: every kind is listed
}

// The temporary and set-aside files lie beside the file: their names are
// enough, and keep the line short.
std::string nameOf(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

}  // namespace

std::string repairWords(const base::RepairAction& action) {
    return words(sayOf(action.kind), {action.file, nameOf(action.temporary),
                                      nameOf(action.setAside), std::to_string(action.count)});
}

std::string repairLines(const std::vector<base::RepairAction>& actions) {
    std::string lines;
    for (const base::RepairAction& action : actions) {
        lines += (lines.empty() ? "・" : "\n・") + repairWords(action);
    }
    return lines;
}

}  // namespace qf::ui
