#include "store/RecordFile.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <memory>

#include "base/NotDurable.h"

namespace qf::store {

namespace {

// Records moved per read or write when streaming a whole file (about 1 MB
// for a box): large enough to keep system calls rare, small enough to keep
// memory flat.
constexpr int kChunkRecords = 32;

Shape shapeOf(std::uint64_t lengthBytes, const RecordFormat& format) {
    Shape shape;
    shape.lengthBytes = lengthBytes;
    shape.wholeRecords = static_cast<int>(lengthBytes / format.lengthBytes);
    shape.tornBytes = lengthBytes % format.lengthBytes;
    return shape;
}

std::uint64_t recordOffset(int recordNumber, const RecordFormat& format) {
    return static_cast<std::uint64_t>(recordNumber - 1) * format.lengthBytes;
}

// An open record file for one operation; a missing file reads as empty.
class Reader {
  public:
    static Result<Reader> open(base::FileSystem& fs, const std::string& path,
                               const RecordFormat& format) {
        Reader reader(path, format);
        if (!fs.exists(path)) {
            return reader;
        }
        auto file = fs.open(path, base::OpenMode::kRead);
        if (!file) {
            return file.status();
        }
        reader.m_file = std::move(file).value();
        auto size = reader.m_file->size();
        if (!size) {
            return size.status();
        }
        reader.m_shape = shapeOf(size.value(), format);
        return reader;
    }

    const Shape& shape() const { return m_shape; }

    // Reads exactly out.size() bytes at `offset`; a short read means the file
    // shrank under us, which is reported rather than passed on as data.
    Status readExactly(std::uint64_t offset, std::span<char> out) {
        if (out.empty()) {
            return Status::ok();
        }
        if (!m_file) {
            return Status::corrupt(m_path + " has no bytes at offset " + std::to_string(offset));
        }
        auto got = m_file->readAt(offset, out);
        if (!got) {
            return got.status();
        }
        if (got.value() != out.size()) {
            return Status::corrupt(m_path + " ended early at offset " + std::to_string(offset));
        }
        return Status::ok();
    }

    Status readRecord(int recordNumber, std::span<char> record) {
        return readExactly(recordOffset(recordNumber, m_format), record);
    }

  private:
    Reader(std::string path, const RecordFormat& format)
        : m_path(std::move(path)), m_format(format) {}

    std::string m_path;
    RecordFormat m_format;
    std::unique_ptr<base::File> m_file;
    Shape m_shape;
};

bool startsWith(std::span<const char> haystack, std::span<const char> prefix) {
    return prefix.size() <= haystack.size() &&
           std::equal(prefix.begin(), prefix.end(), haystack.begin());
}

// True when every record of `part` (only its live ones when `liveOnly`) and
// its torn tail, as a prefix, appear in `whole` in the same order. Streams
// both files one record at a time.
Result<bool> appearsInOrder(base::FileSystem& fs, const std::string& part, bool liveOnly,
                            const std::string& whole, const RecordFormat& format) {
    auto partReader = Reader::open(fs, part, format);
    auto wholeReader = Reader::open(fs, whole, format);
    if (!partReader || !wholeReader) {
        return partReader ? wholeReader.status() : partReader.status();
    }
    Reader& p = partReader.value();
    Reader& w = wholeReader.value();
    std::vector<char> needle(format.lengthBytes);
    std::vector<char> candidate(format.lengthBytes);
    int next = 1;
    auto findInWhole = [&](std::span<const char> wanted) -> Result<bool> {
        while (next <= w.shape().wholeRecords) {
            if (Status s = w.readRecord(next++, candidate); !s) {
                return s;
            }
            if (startsWith(candidate, wanted)) {
                return true;
            }
        }
        return false;
    };
    for (int i = 1; i <= p.shape().wholeRecords; ++i) {
        if (Status s = p.readRecord(i, needle); !s) {
            return s;
        }
        if (liveOnly && readStatusWord(needle, format) == 0) {
            continue;
        }
        auto found = findInWhole(needle);
        if (!found || !found.value()) {
            return found;
        }
    }
    if (p.shape().tornBytes == 0) {
        return true;
    }
    std::span<char> tail(needle.data(), p.shape().tornBytes);
    if (Status s = p.readRecord(p.shape().wholeRecords + 1, tail); !s) {
        return s;
    }
    return findInWhole(tail);
}

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

std::int16_t readStatusWord(std::span<const char> record, const RecordFormat& format) {
    auto low = static_cast<unsigned char>(record[format.statusOffset]);
    auto high = static_cast<unsigned char>(record[format.statusOffset + 1]);
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(low | (high << 8)));
}

void writeStatusWord(std::span<char> record, const RecordFormat& format, std::int16_t status) {
    auto bits = static_cast<std::uint16_t>(status);
    record[format.statusOffset] = static_cast<char>(bits & 0xFF);
    record[format.statusOffset + 1] = static_cast<char>(bits >> 8);
}

RecordFile::RecordFile(base::FileSystem& fileSystem, std::string path, std::string tempPath,
                       RecordFormat format)
    : m_fs(fileSystem),
      m_path(std::move(path)),
      m_tempPath(std::move(tempPath)),
      m_format(format) {}

Result<Shape> RecordFile::shape() const {
    auto size = m_fs.size(m_path);
    if (!size) {
        if (size.status().code() == StatusCode::kNotFound) {
            return Shape{};
        }
        return size.status();
    }
    return shapeOf(size.value(), m_format);
}

Result<int> RecordFile::count() const {
    auto s = shape();
    if (!s) {
        return s.status();
    }
    return s.value().wholeRecords;
}

Result<bool> RecordFile::read(int recordNumber, std::span<char> record) const {
    if (record.size() != m_format.lengthBytes) {
        return Status::invalidArgument("record buffer of the wrong length for " + m_path);
    }
    auto reader = Reader::open(m_fs, m_path, m_format);
    if (!reader) {
        return reader.status();
    }
    if (recordNumber < 1 || recordNumber > reader.value().shape().wholeRecords) {
        return false;
    }
    // Read into a scratch copy so a failed read leaves the caller's record whole.
    std::vector<char> scratch(m_format.lengthBytes);
    if (Status s = reader.value().readRecord(recordNumber, scratch); !s) {
        return s;
    }
    std::copy(scratch.begin(), scratch.end(), record.begin());
    return true;
}

Status RecordFile::forEachChunk(const ChunkVisitor& visit) const {
    auto reader = Reader::open(m_fs, m_path, m_format);
    if (!reader) {
        return reader.status();
    }
    const int total = reader.value().shape().wholeRecords;
    const std::size_t length = m_format.lengthBytes;
    std::vector<char> chunk(length * static_cast<std::size_t>(std::min(total, kChunkRecords)));
    for (int first = 1; first <= total; first += kChunkRecords) {
        int records = std::min(kChunkRecords, total - first + 1);
        std::span<char> bytes(chunk.data(), length * static_cast<std::size_t>(records));
        if (Status s = reader.value().readRecord(first, bytes); !s) {
            return s;
        }
        if (Status s = visit(first, bytes); !s) {
            return s;
        }
    }
    return Status::ok();
}

Status RecordFile::forEach(const RecordVisitor& visit) const {
    const std::size_t length = m_format.lengthBytes;
    return forEachChunk([&](int first, std::span<const char> bytes) {
        for (std::size_t i = 0; i * length < bytes.size(); ++i) {
            if (Status s = visit(first + static_cast<int>(i), bytes.subspan(i * length, length));
                !s) {
                return s;
            }
        }
        return Status::ok();
    });
}

Status RecordFile::scan(std::span<const ByteRange> ranges, const RecordVisitor& visit) const {
    auto reader = Reader::open(m_fs, m_path, m_format);
    if (!reader) {
        return reader.status();
    }
    std::size_t total = 0;
    for (const ByteRange& range : ranges) {
        total += range.lengthBytes;
    }
    std::vector<char> bytes(total);
    for (int n = 1; n <= reader.value().shape().wholeRecords; ++n) {
        std::size_t filled = 0;
        for (const ByteRange& range : ranges) {
            std::span<char> part(bytes.data() + filled, range.lengthBytes);
            if (Status s =
                    reader.value().readExactly(recordOffset(n, m_format) + range.offset, part);
                !s) {
                return s;
            }
            filled += range.lengthBytes;
        }
        if (Status s = visit(n, bytes); !s) {
            return s;
        }
    }
    return Status::ok();
}

Status RecordFile::requireNoTornTail(const Shape& shape, const char* action) const {
    if (shape.tornBytes == 0) {
        return Status::ok();
    }
    return Status::corrupt(m_path + ": " + std::to_string(shape.tornBytes) +
                           " torn bytes at the end; no " + action + " until it is repaired");
}

Status RecordFile::write(int recordNumber, std::span<const char> record) {
    if (record.size() != m_format.lengthBytes) {
        return Status::invalidArgument("record of the wrong length for " + m_path);
    }
    auto current = shape();
    if (!current) {
        return current.status();
    }
    const Shape& before = current.value();
    if (recordNumber < 1 || recordNumber > before.wholeRecords + 1) {
        return Status::invalidArgument("record " + std::to_string(recordNumber) +
                                       " is beyond the end of " + m_path + " (" +
                                       std::to_string(before.wholeRecords) + " records)");
    }
    const bool appending = recordNumber == before.wholeRecords + 1;
    if (appending) {
        if (Status s = requireNoTornTail(before, "append"); !s) {
            return s;
        }
        if (before.wholeRecords >= kMaxRecords) {
            return Status::full(m_path + ": already holds the most records a box can hold (" +
                                std::to_string(kMaxRecords) + ")");
        }
    }
    auto file = m_fs.open(m_path, base::OpenMode::kReadWrite);
    if (!file) {
        return file.status();
    }
    Status written = file.value()->writeAt(recordOffset(recordNumber, m_format), record);
    if (!written && appending) {
        // A half-written record would become a torn tail; take it back.
        (void)file.value()->truncate(before.lengthBytes);
    }
    return written;
}

Status RecordFile::takeBackAppend(int recordNumber) {
    auto current = count();
    if (!current) {
        return current.status();
    }
    if (current.value() != recordNumber) {
        return Status::invalidArgument("record " + std::to_string(recordNumber) +
                                       " is not the last of " + m_path);
    }
    auto file = m_fs.open(m_path, base::OpenMode::kReadWrite);
    if (!file) {
        return file.status();
    }
    if (Status s = file.value()->truncate(recordOffset(recordNumber, m_format)); !s) {
        return s;
    }
    return file.value()->sync();
}

Status RecordFile::createIfMissing() {
    if (m_fs.exists(m_path)) {
        return Status::ok();
    }
    auto file = m_fs.open(m_path, base::OpenMode::kReadWrite);
    return file ? Status::ok() : file.status();
}

Status RecordFile::sync() {
    auto file = m_fs.open(m_path, base::OpenMode::kRead);
    if (!file) {
        return file.status();
    }
    if (Status s = file.value()->sync(); !s) {
        return s;
    }
    return m_fs.syncFolder(base::folderOf(m_path));
}

Result<bool> RecordFile::tempIsRedundant() const {
    return appearsInOrder(m_fs, m_tempPath, /*liveOnly=*/true, m_path, m_format);
}

Status RecordFile::removeRedundantTemp() {
    auto redundant = tempIsRedundant();
    if (!redundant) {
        return redundant.status();
    }
    if (!redundant.value()) {
        return Status::refused(m_tempPath + ": holds records missing from " + m_path +
                               "; no compaction until it is repaired");
    }
    return m_fs.remove(m_tempPath);
}

Result<std::vector<RecordFile::RecordRun>> RecordFile::keptRuns(int dropRecord) const {
    std::vector<RecordRun> runs;
    if (dropRecord == kEveryRecord) {
        return runs;
    }
    const ByteRange statusWord[] = {{m_format.statusOffset, 2}};
    const RecordFormat packed{2, 0, 0, false};  // the status word as scan() hands it over
    Status scanned = scan(statusWord, [&](int n, std::span<const char> bytes) {
        if (n == dropRecord || readStatusWord(bytes, packed) == 0) {
            return Status::ok();
        }
        if (!runs.empty() && runs.back().first + runs.back().count == n) {
            ++runs.back().count;
        } else {
            runs.push_back({n, 1});
        }
        return Status::ok();
    });
    if (!scanned) {
        return scanned;
    }
    return runs;
}

// Writes the records the compaction keeps into `target`, then flushes and
// syncs it. Only the status words are read; each run of kept records is
// copied as one range, in the kernel where it can be.
Status RecordFile::rebuildInto(const std::string& target, int dropRecord) const {
    auto runs = keptRuns(dropRecord);
    if (!runs) {
        return runs.status();
    }
    auto in = m_fs.open(m_path, base::OpenMode::kRead);
    if (!in) {
        return in.status();
    }
    auto out = m_fs.open(target, base::OpenMode::kTruncate);
    if (!out) {
        return out.status();
    }
    base::File& file = *out.value();
    std::uint64_t written = 0;
    for (const RecordRun& run : runs.value()) {
        const std::uint64_t bytes = static_cast<std::uint64_t>(run.count) * m_format.lengthBytes;
        if (Status s = base::copyRange(*in.value(), recordOffset(run.first, m_format), file,
                                       written, bytes);
            !s) {
            return s;
        }
        written += bytes;
    }
    if (Status s = file.flush(); !s) {
        return s;
    }
    return file.sync();
}

Status RecordFile::prepareCompaction() {
    auto current = shape();
    if (!current) {
        return current.status();
    }
    if (Status s = requireNoTornTail(current.value(), "compaction"); !s) {
        return s;
    }
    return m_fs.exists(m_tempPath) ? removeRedundantTemp() : Status::ok();
}

Status RecordFile::compact(int dropRecord) {
    if (Status s = prepareCompaction(); !s) {
        return s;
    }
    if (!m_fs.exists(m_path)) {
        return createIfMissing();
    }
    if (Status s = buildCompactedCopy(dropRecord); !s) {
        return s;
    }
    return installCompactedCopy();
}

// Until the rename the box is untouched and authoritative, so on any
// failure the partial temporary file can go.
Status RecordFile::buildCompactedCopy(int dropRecord) {
    if (Status s = rebuildInto(m_tempPath, dropRecord); !s) {
        discardCompactedCopy();
        return s;
    }
    return Status::ok();
}

Status RecordFile::installCompactedCopy() {
    if (Status s = m_fs.rename(m_tempPath, m_path); !s) {
        discardCompactedCopy();
        return s;
    }
    if (Status s = m_fs.syncFolder(base::folderOf(m_path)); !s) {
        return base::notDurable(m_path +
                                ": compacted, but the folder was not synced: " + s.message());
    }
    return Status::ok();
}

void RecordFile::discardCompactedCopy() {
    (void)m_fs.remove(m_tempPath);
}

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
        report.problems.push_back("ends in a torn record of " + std::to_string(s.tornBytes) +
                                  " bytes after record " + std::to_string(s.wholeRecords));
    }
    if (s.wholeRecords > kMaxRecords) {
        report.problems.push_back("holds " + std::to_string(s.wholeRecords) +
                                  " records, more than " + std::to_string(kMaxRecords));
    }
    std::vector<int> deleted;
    std::vector<int> noLineEnd;
    std::vector<int> badStatus;
    if (Status scanned = findDamage(&deleted, &noLineEnd, &badStatus); !scanned) {
        return scanned;
    }
    if (!deleted.empty()) {
        report.problems.push_back("record " + numberList(deleted) +
                                  " marked deleted (an interrupted deletion)");
    }
    if (!noLineEnd.empty()) {
        report.problems.push_back("record " + numberList(noLineEnd) + " without CR LF");
    }
    if (!badStatus.empty()) {
        report.problems.push_back(
            "record " + numberList(badStatus) + " with a status word no live record has (" +
            (m_format.statusIsRecordNumber ? "a keep record holds a number from its own up to 32767"
                                           : "a live record holds 1") +
            "); the record is read and kept as it is");
    }
    if (m_fs.exists(m_tempPath)) {
        auto redundant = tempIsRedundant();
        if (!redundant) {
            return redundant.status();
        }
        report.problems.push_back("leftover temporary file " + m_tempPath +
                                  (redundant.value() ? " (every mail in it is also in the box)"
                                                     : " (it holds mail that is not in the box)"));
    }
    return report;
}

}  // namespace qf::store
