// A file of fixed-length records: the one mechanism under every box file and
// the address book.
//
// Layout of a record file (L = record length, no header, no index):
//
// | Bytes                   | Content                                       |
// |-------------------------|-----------------------------------------------|
// | (n-1)*L .. n*L-1        | record n, numbered from 1                     |
// | in each record          | a 16-bit little-endian signed status word     |
// |                         | (0 = deleted until the next compaction) and a |
// |                         | CR LF pair, at offsets given by RecordFormat  |
// | last length % L bytes   | a torn record, left by an interrupted write   |
//
// Count and torn tail. The count is the number of whole records; a torn tail
// is never listed or read. Its bytes may be part of a mail, so nothing that
// would overwrite or drop them runs while it is there: an append and a
// compaction refuse (kCorrupt) until recover() has moved the tail aside into
// "<file>.torn-<UTC time>".
//
// Compaction (dropping records whose status word is 0) is crash-safe: the
// live records are copied (in the kernel where the file system allows) to
// the temporary file beside the box, which is
// flushed and synced and then renamed over the box; the folder is synced.
// At every moment the box or the temporary file holds every live record.
// recover() decides which of the two is authoritative after a crash (also
// for files left by the old copy-delete-rebuild order) and never removes one
// unless the other provably holds every live record of it.
//
// Every operation opens the file for itself and closes it before returning;
// a missing file is an empty one and is created when something is written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/FileSystem.h"
#include "base/RepairAction.h"
#include "base/Status.h"

namespace qf::store {

// Record numbers are 16-bit signed values.
inline constexpr int kMaxRecords = 32767;

struct RecordFormat {
    std::size_t lengthBytes;
    std::size_t statusOffset;   // of the 16-bit status word
    std::size_t lineEndOffset;  // of the CR LF pair
    // A live record's status word: 1, or (keep box) the number the record
    // had when it was stored, so at least its number now and at most
    // kMaxRecords.
    bool statusIsRecordNumber;
};

// A byte range inside a record.
struct ByteRange {
    std::size_t offset;
    std::size_t lengthBytes;
};

struct Shape {
    std::uint64_t lengthBytes = 0;
    int wholeRecords = 0;
    std::uint64_t tornBytes = 0;
};

// What check finds wrong with a record file; the tool words each kind.
enum class FileProblemKind {
    kTornTail,            // the shape's torn bytes after its whole records
    kTooManyRecords,      // more whole records than kMaxRecords
    kMarkedDeleted,       // `records`: an interrupted deletion
    kNoLineEnd,           // `records` without CR LF
    kUnknownStatusWord,   // `records` with a status word no live record has
    kRedundantTemporary,  // `file`, left by a compaction: all its mail is in the box
    kTemporaryWithMail,   // `file`, left by a compaction: it holds mail the box lacks
    kUnreadable,          // the file could not be read; `outsideText` says why
};

struct FileProblem {
    FileProblemKind kind;
    std::string message;  // the program's own diagnostic, for logs and tests
    std::vector<int> records{};
    std::string file{};
    std::string outsideText{};
};

// A file recover() moved aside: the torn end of a write ("<box>.torn-…"),
// which holds no whole mail, or a compaction's temporary file it did not
// use ("<temp>.kept-…"), which may hold mail the box lacks.
struct SetAsideFile {
    bool tornEnd;
    std::string name;
};

// What check found in one record file; nothing is changed to find it.
struct FileReport {
    std::string path;
    bool exists = false;
    Shape shape;
    std::vector<FileProblem> problems;
    // Files recover() set aside beside this one (names, sorted); they are not
    // problems of the file.
    std::vector<SetAsideFile> setAside;
};

std::int16_t readStatusWord(std::span<const char> record, const RecordFormat& format);
void writeStatusWord(std::span<char> record, const RecordFormat& format, std::int16_t status);

class RecordFile {
  public:
    RecordFile(base::FileSystem& fileSystem, std::string path, std::string tempPath,
               RecordFormat format);

    const std::string& path() const { return m_path; }
    const std::string& tempPath() const { return m_tempPath; }
    const RecordFormat& format() const { return m_format; }

    Result<Shape> shape() const;
    // The number of whole records.
    Result<int> count() const;

    // Reads record n into `record` (REQUIRES: record.size() == lengthBytes).
    // False, and `record` untouched, when there is no whole record n.
    Result<bool> read(int recordNumber, std::span<char> record) const;

    // Calls `visit` with every whole record in file order. Reads in chunks:
    // memory does not grow with the file. Stops at the first failing visit.
    using RecordVisitor = std::function<Status(int recordNumber, std::span<const char> bytes)>;
    Status forEach(const RecordVisitor& visit) const;

    // Calls `visit` with only the given byte ranges of every whole record,
    // concatenated in the order given: a listing that skips the bodies.
    Status scan(std::span<const ByteRange> ranges, const RecordVisitor& visit) const;

    // Writes record n, 1 <= n <= count + 1 (n = count + 1 appends). An append
    // is refused when the file holds kMaxRecords records (kFull) or has a torn
    // tail (kCorrupt); a failed append is cut back to the old length.
    Status write(int recordNumber, std::span<const char> record);

    // Takes back an append that must not stay: cuts the file before record
    // n (REQUIRES: n is the last record) and syncs it.
    Status takeBackAppend(int recordNumber);

    // Creates the file empty when it is missing.
    Status createIfMissing();

    // Makes the file and its entry in the folder durable. Call it before
    // telling a server that a stored mail may be deleted.
    Status sync();

    // Drops every record whose status word is 0, and record `dropRecord`
    // too when it is given (kEveryRecord: all of them), keeping the order.
    // A leftover temporary file is first removed when the file provably
    // holds all of it, otherwise the compaction is refused (kRefused).
    // Nothing is marked on disk: until the compacted copy is renamed over
    // the file, the file is as it was, so a failure changes nothing.
    static constexpr int kEveryRecord = -1;
    Status compact(int dropRecord = 0);

    // compact() in two steps, for a caller that must do something durable
    // in between (the move to the keep box): build the compacted copy beside
    // the file and sync it (REQUIRES: prepareCompaction() passed), then
    // rename it over the file and sync the folder. A failed build leaves no
    // copy; discardCompactedCopy() removes one that is not wanted after all.
    Status buildCompactedCopy(int dropRecord);
    Status installCompactedCopy();
    void discardCompactedCopy();

    // What compact() checks before it changes anything, without renumbering
    // a record: no torn tail (kCorrupt), no leftover temporary file that
    // holds mail the file lacks (kRefused; a redundant one is removed). A
    // caller picks the record to drop only after this, and a caller that
    // marks one marks it only after this, so that the compaction that
    // follows cannot be refused and leave the mark behind.
    Status prepareCompaction();

    // Repairs what a crash may have left, returning what it did, one action
    // per step:
    // resolves a leftover temporary file, moves a torn tail aside (with the
    // records right before it that hold zeros where their CR LF and status
    // word belong, cut short by the same power cut) and
    // finishes an interrupted deletion (drops records marked deleted, when
    // each of them has its CR LF: an unknown record is left as it is). A
    // temporary file that fails the record checks (a torn record, a record
    // without its CR LF) is never made the box: it is kept aside as
    // "<temp>.kept-<UTC time>".
    Result<std::vector<base::RepairAction>> recover();

    // Read-only check: torn tail, leftover temporary file, records marked
    // deleted, records without their CR LF, status words that no live
    // record has, more records than kMaxRecords.
    Result<FileReport> inspect() const;

  private:
    // Calls `visit` with runs of whole records (up to kChunkRecords at once)
    // and the number of the first.
    using ChunkVisitor = std::function<Status(int firstNumber, std::span<const char> bytes)>;
    Status forEachChunk(const ChunkVisitor& visit) const;
    // Consecutive live records: `count` of them from record `first`.
    struct RecordRun {
        int first;
        int count;
    };
    // The records a compaction keeps: live ones, other than dropRecord.
    Result<std::vector<RecordRun>> keptRuns(int dropRecord) const;
    Status requireNoTornTail(const Shape& shape, const char* action) const;
    Status removeRedundantTemp();
    Status rebuildInto(const std::string& target, int dropRecord) const;
    Result<bool> tempIsRedundant() const;
    Result<std::optional<base::RepairAction>> resolveLeftoverTemp(bool* needsCompaction);
    // Moves the torn tail, and the records from firstRecordAside on, into
    // "<file>.torn-<UTC time>".
    Result<base::RepairAction> moveTornTailAside(const Shape& shape, int firstRecordAside);
    // The first of the records without CR LF and with status 0 right before
    // the torn tail (wholeRecords + 1 when there is none).
    int firstRecordOfTornEnd(const Shape& shape) const;
    Result<std::optional<base::RepairAction>> keepTempAside(base::RepairKind why);
    // Numbers of the records marked deleted, of those without CR LF, and
    // (when asked) of those whose status word no live record has.
    Status findDamage(std::vector<int>* deleted, std::vector<int>* noLineEnd,
                      std::vector<int>* badStatus = nullptr) const;
    // True when the file has no torn tail and every record its CR LF.
    Result<bool> passesRecordChecks() const;

    base::FileSystem& m_fs;
    std::string m_path;
    std::string m_tempPath;
    RecordFormat m_format;
};

}  // namespace qf::store
