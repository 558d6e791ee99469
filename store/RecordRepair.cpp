// Repair and inspection of a record file: what a crash may have left (a
// leftover temporary file, a torn tail, records marked deleted) resolved or
// reported.
#include <algorithm>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "store/RecordFile.h"
#include "store/RecordReader.h"

namespace qf::store {

using records::appearsInOrder;
using records::recordOffset;

namespace {

std::string utcStamp() {
    std::time_t now = std::time(nullptr);
    std::tm parts{};
    gmtime_r(&now, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &parts);
    return text;
}

// `base`, or `base` with "-2", "-3", ... when that name is taken.
std::string unusedName(base::FileSystem& fs, const std::string& base) {
    std::string name = base;
    for (int i = 2; fs.exists(name); ++i) {
        name = base + "-" + std::to_string(i);
    }
    return name;
}

// "record 4, 9, 12 and 3 more" for a problem list that stays readable.
std::string numberList(const std::vector<int>& numbers) {
    constexpr std::size_t kShown = 10;
    std::string text;
    for (std::size_t i = 0; i < numbers.size() && i < kShown; ++i) {
        text += (i == 0 ? "" : ", ") + std::to_string(numbers[i]);
    }
    if (numbers.size() > kShown) {
        text += " and " + std::to_string(numbers.size() - kShown) + " more";
    }
    return text;
}

}  // namespace

Result<std::optional<base::RepairAction>> RecordFile::resolveLeftoverTemp(bool* needsCompaction) {
    if (!m_fs.exists(m_tempPath)) {
        return std::optional<base::RepairAction>();
    }
    const std::string folder = base::folderOf(m_path);
    auto replaceBoxWithTemp =
        [&](base::RepairKind done) -> Result<std::optional<base::RepairAction>> {
        if (Status s = m_fs.rename(m_tempPath, m_path); !s) {
            return s;
        }
        *needsCompaction = true;
        if (Status s = m_fs.syncFolder(folder); !s) {
            return s;
        }
        return std::optional<base::RepairAction>(
            base::RepairAction{.kind = done, .file = m_path, .temporary = m_tempPath});
    };
    if (!m_fs.exists(m_path)) {
        auto whole = RecordFile(m_fs, m_tempPath, m_tempPath, m_format).passesRecordChecks();
        if (!whole) {
            return whole.status();
        }
        if (!whole.value()) {
            return keepTempAside(base::RepairKind::kDamagedTemporaryKeptAside);
        }
        return replaceBoxWithTemp(base::RepairKind::kRestoredFromTemporary);
    }
    auto redundant = tempIsRedundant();
    if (!redundant) {
        return redundant.status();
    }
    if (redundant.value()) {
        auto tempShape = RecordFile(m_fs, m_tempPath, m_tempPath, m_format).shape();
        if (Status s = m_fs.remove(m_tempPath); !s) {
            return s;
        }
        // An empty copy is what a deletion leaves before it replaced the
        // box (a delete-all always): the box is whole, the deletion undone.
        auto boxShape = shape();
        if (tempShape && tempShape.value().lengthBytes == 0 && boxShape &&
            boxShape.value().wholeRecords > 0) {
            return std::optional<base::RepairAction>(base::RepairAction{
                .kind = base::RepairKind::kDeletionNotDone,
                .file = m_path,
                .temporary = m_tempPath,
                .count = static_cast<std::uint64_t>(boxShape.value().wholeRecords)});
        }
        return std::optional<base::RepairAction>(
            base::RepairAction{.kind = base::RepairKind::kRedundantTemporaryRemoved,
                               .file = m_path,
                               .temporary = m_tempPath});
    }
    // The old order deleted the box and rebuilt it from the temporary copy;
    // a box that is a part of the copy was cut short by a crash.
    auto tempIsWhole = RecordFile(m_fs, m_tempPath, m_tempPath, m_format).passesRecordChecks();
    if (!tempIsWhole) {
        return tempIsWhole.status();
    }
    if (!tempIsWhole.value()) {
        return keepTempAside(base::RepairKind::kDamagedTemporaryKeptAside);
    }
    auto boxIsPartOfTemp = appearsInOrder(m_fs, m_path, /*liveOnly=*/false, m_tempPath, m_format);
    if (!boxIsPartOfTemp) {
        return boxIsPartOfTemp.status();
    }
    if (boxIsPartOfTemp.value()) {
        return replaceBoxWithTemp(base::RepairKind::kCompactionFinished);
    }
    return keepTempAside(base::RepairKind::kTemporaryWithMissingMailKeptAside);
}

Result<std::optional<base::RepairAction>> RecordFile::keepTempAside(base::RepairKind why) {
    const std::string keptAs = unusedName(m_fs, m_tempPath + ".kept-" + utcStamp());
    if (Status s = m_fs.rename(m_tempPath, keptAs); !s) {
        return s;
    }
    if (Status s = m_fs.syncFolder(base::folderOf(m_path)); !s) {
        return s;
    }
    return std::optional<base::RepairAction>(base::RepairAction{
        .kind = why, .file = m_path, .temporary = m_tempPath, .setAside = keptAs});
}

Status RecordFile::findDamage(std::vector<int>* deleted, std::vector<int>* noLineEnd,
                              std::vector<int>* badStatus) const {
    const ByteRange ranges[] = {{m_format.lineEndOffset, 2}, {m_format.statusOffset, 2}};
    RecordFormat packed{4, 2, 0, false};  // the two ranges as scan() hands them over
    return scan(ranges, [&](int n, std::span<const char> bytes) {
        if (bytes[0] != '\r' || bytes[1] != '\n') {
            noLineEnd->push_back(n);
        }
        const std::int16_t status = readStatusWord(bytes, packed);
        if (status == 0) {
            deleted->push_back(n);
        } else if (badStatus != nullptr &&
                   (m_format.statusIsRecordNumber ? status < n : status != 1)) {
            badStatus->push_back(n);  // negative words are below every number
        }
        return Status::ok();
    });
}

Result<bool> RecordFile::passesRecordChecks() const {
    auto current = shape();
    if (!current) {
        return current.status();
    }
    std::vector<int> deleted, noLineEnd;
    if (Status s = findDamage(&deleted, &noLineEnd); !s) {
        return s;
    }
    return current.value().tornBytes == 0 && noLineEnd.empty();
}

// Appends cut off by a power cut can leave, before the torn tail, records
// whose later part never reached the disk (zeros where their CR LF and
// status word should be): they belong to the same interrupted write and go
// aside with it. Any other record stays.
int RecordFile::firstRecordOfTornEnd(const Shape& shape) const {
    std::vector<int> deleted, noLineEnd;
    if (!findDamage(&deleted, &noLineEnd)) {
        return shape.wholeRecords + 1;
    }
    int first = shape.wholeRecords + 1;
    while (!noLineEnd.empty() && noLineEnd.back() == first - 1 && !deleted.empty() &&
           deleted.back() == first - 1) {
        noLineEnd.pop_back();
        deleted.pop_back();
        --first;
    }
    return first;
}

Result<base::RepairAction> RecordFile::moveTornTailAside(const Shape& shape, int firstRecordAside) {
    const std::string aside = unusedName(m_fs, m_path + ".torn-" + utcStamp());
    const std::uint64_t wholeBytes = recordOffset(firstRecordAside, m_format);
    std::vector<char> tail(shape.lengthBytes - wholeBytes);
    auto box = m_fs.open(m_path, base::OpenMode::kReadWrite);
    if (!box) {
        return box.status();
    }
    auto got = box.value()->readAt(wholeBytes, tail);
    if (!got) {
        return got.status();
    }
    if (got.value() != tail.size()) {
        return Status::corrupt(m_path + " changed while its torn tail was being moved");
    }
    // The copy is durable before the box loses the bytes.
    {
        auto out = m_fs.open(aside, base::OpenMode::kTruncate);
        if (!out) {
            return out.status();
        }
        for (Status s : {out.value()->writeAt(0, tail), out.value()->flush(), out.value()->sync(),
                         m_fs.syncFolder(base::folderOf(m_path))}) {
            if (!s) {
                // The box still holds the bytes; a part copy (a full disk)
                // would only pile up, one more at every start.
                (void)m_fs.remove(aside);
                return s;
            }
        }
    }
    if (Status s = box.value()->truncate(wholeBytes); !s) {
        return s;
    }
    if (Status s = box.value()->sync(); !s) {
        return s;
    }
    return base::RepairAction{.kind = base::RepairKind::kTornTailMovedAside,
                              .file = m_path,
                              .setAside = aside,
                              .count = tail.size()};
}

Result<std::vector<base::RepairAction>> RecordFile::recover() {
    std::vector<base::RepairAction> actions;
    bool needsCompaction = false;
    auto leftover = resolveLeftoverTemp(&needsCompaction);
    if (!leftover) {
        return leftover.status();
    }
    if (leftover.value()) {
        actions.push_back(*leftover.value());
    }
    auto current = shape();
    if (!current) {
        return current.status();
    }
    if (current.value().tornBytes != 0) {
        auto moved = moveTornTailAside(current.value(), firstRecordOfTornEnd(current.value()));
        if (!moved) {
            return moved.status();
        }
        actions.push_back(moved.value());
    }
    std::vector<int> deleted, noLineEnd;
    if (Status s = findDamage(&deleted, &noLineEnd); !s) {
        return s;
    }
    // A record marked deleted exists only between the two steps of a
    // deletion: the compaction finishes what the user asked for. Not when a
    // record with status 0 also lacks its CR LF (zeroed blocks after a power
    // cut, or bytes that are no record at all): what it is, is not known.
    const bool onlyMarks = std::none_of(deleted.begin(), deleted.end(), [&](int n) {
        return std::find(noLineEnd.begin(), noLineEnd.end(), n) != noLineEnd.end();
    });
    if (needsCompaction || (!deleted.empty() && onlyMarks)) {
        if (Status s = compact(); !s) {
            return s;
        }
        // After a temporary file replaced the file, the compaction only
        // makes sure; it is an action of its own when marks were dropped.
        if (!deleted.empty()) {
            actions.push_back({.kind = base::RepairKind::kDeletedMarksRemoved,
                               .file = m_path,
                               .count = deleted.size()});
        }
    }
    return actions;
}

Result<FileReport> RecordFile::inspect() const {
    FileReport report;
    report.path = m_path;
    report.exists = m_fs.exists(m_path);
    auto current = shape();
    if (!current) {
        return current.status();
    }
    report.shape = current.value();
    const Shape& s = report.shape;
    if (s.tornBytes != 0) {
        report.problems.push_back({FileProblemKind::kTornTail,
                                   "ends in a torn record of " + std::to_string(s.tornBytes) +
                                       " bytes after record " + std::to_string(s.wholeRecords)});
    }
    if (s.wholeRecords > kMaxRecords) {
        report.problems.push_back({FileProblemKind::kTooManyRecords,
                                   "holds " + std::to_string(s.wholeRecords) +
                                       " records, more than " + std::to_string(kMaxRecords)});
    }
    std::vector<int> deleted;
    std::vector<int> noLineEnd;
    std::vector<int> badStatus;
    if (Status scanned = findDamage(&deleted, &noLineEnd, &badStatus); !scanned) {
        return scanned;
    }
    if (!deleted.empty()) {
        report.problems.push_back(
            {FileProblemKind::kMarkedDeleted,
             "record " + numberList(deleted) + " marked deleted (an interrupted deletion)",
             deleted});
    }
    if (!noLineEnd.empty()) {
        report.problems.push_back({FileProblemKind::kNoLineEnd,
                                   "record " + numberList(noLineEnd) + " without CR LF",
                                   noLineEnd});
    }
    if (!badStatus.empty()) {
        report.problems.push_back(
            {FileProblemKind::kUnknownStatusWord,
             "record " + numberList(badStatus) + " with a status word no live record has (" +
                 (m_format.statusIsRecordNumber
                      ? "a keep record holds a number from its own up to 32767"
                      : "a live record holds 1") +
                 "); the record is read and kept as it is",
             badStatus});
    }
    if (m_fs.exists(m_tempPath)) {
        auto redundant = tempIsRedundant();
        if (!redundant) {
            return redundant.status();
        }
        report.problems.push_back(
            {redundant.value() ? FileProblemKind::kRedundantTemporary
                               : FileProblemKind::kTemporaryWithMail,
             "leftover temporary file " + m_tempPath +
                 (redundant.value() ? " (every mail in it is also in the box)"
                                    : " (it holds mail that is not in the box)"),
             {},
             m_tempPath});
    }
    return report;
}

}  // namespace qf::store
