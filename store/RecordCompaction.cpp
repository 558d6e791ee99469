// Compaction of a record file: the live records copied to the temporary
// file beside it, which is synced and renamed over the file.
#include <cstdint>
#include <vector>

#include "base/NotDurable.h"
#include "store/RecordFile.h"
#include "store/RecordReader.h"

namespace qf::store {

using records::appearsInOrder;
using records::recordOffset;

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
        return base::notDurable(
            m_path + ": compacted, but the folder was not synced: " + s.message(), s);
    }
    return Status::ok();
}

void RecordFile::discardCompactedCopy() {
    (void)m_fs.remove(m_tempPath);
}

}  // namespace qf::store
