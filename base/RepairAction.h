// What a repair after a crash did to one file, as data: the window side
// words it (ui/RepairWords.h), so neither the store nor the file layer
// writes a sentence.
#pragma once

#include <cstdint>
#include <string>

namespace qf::base {

enum class RepairKind {
    // The file was missing and the temporary file of an interrupted
    // compaction, which passed the record checks, became it.
    kRestoredFromTemporary,
    // An empty temporary file beside a file with mail: a deletion stopped
    // before it replaced the file. The file and its `count` mails are kept.
    kDeletionNotDone,
    // Every mail of the temporary file is also in the file: it was removed.
    kRedundantTemporaryRemoved,
    // The file was a cut-short part of the temporary file (the old
    // delete-then-rebuild order): the temporary file replaced it.
    kCompactionFinished,
    // The temporary file fails the record checks (a torn record, a record
    // without CR LF): renamed to `setAside`, the file left as it is.
    kDamagedTemporaryKeptAside,
    // The temporary file holds mail the file lacks: renamed to `setAside`.
    kTemporaryWithMissingMailKeptAside,
    // `count` bytes at the end of the file, an append cut off, moved into
    // `setAside`.
    kTornTailMovedAside,
    // `count` records marked deleted (a deletion between its two steps)
    // were dropped.
    kDeletedMarksRemoved,
    // A whole-file write's temporary file (`temporary`) was removed; the
    // file it was to replace is whole.
    kLeftoverTemporaryRemoved,
};

struct RepairAction {
    RepairKind kind;
    std::string file{};       // the record or settings file's path
    std::string temporary{};  // the temporary file concerned, when there is one
    std::string setAside{};   // the path bytes or a temporary file were moved to
    std::uint64_t count = 0;
};

}  // namespace qf::base
