#include "store/MailStore.h"

#include <algorithm>
#include <mutex>

#include "store/Originals.h"

namespace qf::store {

namespace {

// Every change to a box file, by any store of the process: a receive job
// appends on a thread of its own while the windows delete, move and
// compact, and a compaction that copied the box before an append and
// renamed the copy after it would drop the appended mail.
std::recursive_mutex& boxChanges() {
    static std::recursive_mutex mutex;
    return mutex;
}

}  // namespace

MailStore::MailStore(std::string dataFolder, base::FileSystem& fs)
    : m_dataFolder(std::move(dataFolder)), m_fs(fs) {
    std::span<const BoxInfo> boxes = allBoxes();
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        m_buffers[i].assign(layoutOf(boxes[i].kind).lengthBytes, '\0');
    }
}

Result<std::size_t> MailStore::slotOf(int box) const {
    std::span<const BoxInfo> boxes = allBoxes();
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        if (boxes[i].number == box) {
            return i;
        }
    }
    return Status::invalidArgument("there is no box " + std::to_string(box));
}

Result<RecordFile> MailStore::file(int box) const {
    const BoxInfo* info = findBox(box);
    if (info == nullptr) {
        return Status::invalidArgument("there is no box " + std::to_string(box));
    }
    return boxFile(m_fs, m_dataFolder, *info);
}

Result<int> MailStore::count(int box) const {
    auto f = file(box);
    return f ? f.value().count() : Result<int>(f.status());
}

Result<bool> MailStore::readRecord(int box, int recordNumber) {
    auto f = file(box);
    if (!f) {
        return f.status();
    }
    return f.value().read(recordNumber, m_buffers[slotOf(box).value()]);
}

std::span<const char> MailStore::currentRecord(int box) const {
    auto slot = slotOf(box);
    if (!slot) {
        return {};
    }
    return m_buffers[slot.value()];
}

MailFields MailStore::currentFields(int box) const {
    const BoxInfo* info = findBox(box);
    if (info == nullptr) {
        return {};
    }
    return decodeRecord(layoutOf(info->kind), currentRecord(box));
}

Status MailStore::readAll(int box, const RecordFile::RecordVisitor& visit) {
    auto f = file(box);
    if (!f) {
        return f.status();
    }
    std::vector<char>& buffer = m_buffers[slotOf(box).value()];
    return f.value().forEach([&](int n, std::span<const char> record) {
        std::copy(record.begin(), record.end(), buffer.begin());
        return visit(n, buffer);
    });
}

Status MailStore::list(int box, const std::function<void(const ListEntry&)>& visit) {
    int last = 0;
    Status scanned = listHeaders(box, [&](const ListEntry& row) {
        visit(row);
        last = row.recordNumber;
    });
    if (!scanned || last == 0) {
        return scanned;
    }
    auto read = readRecord(box, last);
    return read.status();
}

Status MailStore::listHeaders(int box, const std::function<void(const ListEntry&)>& visit) const {
    auto f = file(box);
    if (!f) {
        return f.status();
    }
    const RecordLayout& layout = layoutOf(findBox(box)->kind);
    const std::vector<ByteRange> ranges = listRanges(layout);
    // Where each field lands in the concatenated ranges that scan() hands over.
    auto packedOffset = [&](ByteRange field) {
        std::size_t packed = 0;
        for (const ByteRange& range : ranges) {
            if (field.offset >= range.offset && field.offset < range.offset + range.lengthBytes) {
                return packed + (field.offset - range.offset);
            }
            packed += range.lengthBytes;
        }
        return packed;
    };
    const std::size_t subjectAt = packedOffset(layout.subject);
    const std::size_t partyAt = packedOffset(layout.fromOrTo);
    const std::size_t dateAt = packedOffset(layout.date);
    return f.value().scan(ranges, [&](int n, std::span<const char> bytes) {
        visit({n, listText(bytes.subspan(subjectAt, layout.subject.lengthBytes)),
               listText(bytes.subspan(partyAt, layout.fromOrTo.lengthBytes)),
               listText(bytes.subspan(dateAt, layout.date.lengthBytes))});
        return Status::ok();
    });
}

Result<int> MailStore::append(int box, const MailFields& fields) {
    return appendWith(
        box, [&fields](const RecordLayout& layout, std::int16_t status, std::span<char> buffer) {
            encodeRecord(layout, fields, status, buffer);
        });
}

Result<int> MailStore::appendRecord(int box, std::span<const char> record) {
    const BoxInfo* info = findBox(box);
    if (info == nullptr || info->kind == RecordKind::kKeep ||
        record.size() != layoutOf(info->kind).lengthBytes) {
        return Status::invalidArgument("a record encoded for box " + std::to_string(box) +
                                       " must have its layout's length and not be the keep box");
    }
    return appendWith(box, [record](const RecordLayout&, std::int16_t, std::span<char> buffer) {
        std::copy(record.begin(), record.end(), buffer.begin());
    });
}

Result<int> MailStore::appendWith(int box, const RecordFiller& fill) {
    const std::lock_guard changing(boxChanges());
    auto f = file(box);
    if (!f) {
        return f.status();
    }
    auto current = f.value().count();
    if (!current) {
        return current.status();
    }
    // The keep box's status word is the record's own number; the number is
    // checked against the limit by the write below.
    const int recordNumber = current.value() + 1;
    const RecordLayout& layout = layoutOf(findBox(box)->kind);
    const auto status = static_cast<std::int16_t>(
        layout.kind == RecordKind::kKeep ? std::min(recordNumber, kMaxRecords) : 1);
    std::vector<char>& buffer = m_buffers[slotOf(box).value()];
    fill(layout, status, buffer);
    if (Status s = f.value().write(recordNumber, buffer); !s) {
        return s;
    }
    return recordNumber;
}

Status MailStore::requireRecord(const RecordFile& records, int recordNumber) {
    auto current = records.shape();
    if (!current) {
        return current.status();
    }
    if (recordNumber < 1 || recordNumber > current.value().wholeRecords) {
        return Status::notFound(records.path() + ": no record " + std::to_string(recordNumber));
    }
    return Status::ok();
}

Status MailStore::markDeleted(int box, int recordNumber) {
    const std::lock_guard changing(boxChanges());
    auto f = file(box);
    if (!f) {
        return f.status();
    }
    if (Status s = requireRecord(f.value(), recordNumber); !s) {
        return s;
    }
    std::vector<char>& buffer = m_buffers[slotOf(box).value()];
    writeStatusWord(buffer, f.value().format(), 0);
    return f.value().write(recordNumber, buffer);
}

Status MailStore::compact(int box) {
    const std::lock_guard changing(boxChanges());
    auto f = file(box);
    if (!f) {
        return f.status();
    }
    Status compacted = f.value().compact();
    collectOriginals(box);
    return compacted;
}

Status MailStore::deleteRecord(int box, int recordNumber) {
    const std::lock_guard changing(boxChanges());
    auto f = file(box);
    if (!f) {
        return f.status();
    }
    RecordFile& records = f.value();
    if (Status s = records.prepareCompaction(); !s) {
        return s;
    }
    if (Status s = requireRecord(records, recordNumber); !s) {
        return s;
    }
    // The record is dropped by the compaction itself, not marked first: a
    // compaction that fails then leaves the box exactly as it was.
    Status deleted = records.compact(recordNumber);
    collectOriginals(box);
    return deleted;
}

void MailStore::collectOriginals(int box) {
    (void)Originals(m_dataFolder, m_fs).collect(*this, box);
}

Status MailStore::deleteAll(int box) {
    const std::lock_guard changing(boxChanges());
    auto f = file(box);
    if (!f) {
        return f.status();
    }
    // An empty copy renamed over the box: the box is whole or empty, never
    // a part of it, whatever stops the deletion.
    Status emptied = f.value().compact(RecordFile::kEveryRecord);
    collectOriginals(box);
    return emptied;
}

Result<int> MailStore::moveToKeepBox(int recordNumber) {
    const std::lock_guard changing(boxChanges());
    auto found = readRecord(kOtherBox, recordNumber);
    if (!found) {
        return found.status();
    }
    if (!found.value()) {
        return Status::notFound("box " + std::to_string(kOtherBox) + ": no record " +
                                std::to_string(recordNumber));
    }
    auto other = file(kOtherBox);
    if (!other) {
        return other.status();
    }
    // "その他" without the mail is built (and synced) first, while nothing
    // has changed: a full disk stops the move there. Then the keep box gets
    // the mail durably, and only then does the copy replace "その他". A
    // failure before that takes the keep box's copy back; only a crash in
    // between leaves the mail in both boxes. It is never in neither.
    RecordFile& otherBox = other.value();
    if (Status s = otherBox.prepareCompaction(); !s) {
        return s;
    }
    auto before = otherBox.count();
    if (!before) {
        return before.status();
    }
    if (Status s = otherBox.buildCompactedCopy(recordNumber); !s) {
        return s;
    }
    // The mail's original goes with it, before its record does.
    const MailFields fields = currentFields(kOtherBox);
    if (Status s = Originals(m_dataFolder, m_fs).copy(kOtherBox, kKeepBox, fields); !s) {
        otherBox.discardCompactedCopy();
        return s;
    }
    auto kept = append(kKeepBox, fields);
    Status moved = kept ? sync(kKeepBox) : kept.status();
    if (moved) {
        moved = otherBox.installCompactedCopy();  // removes the copy when it fails
    } else {
        otherBox.discardCompactedCopy();
    }
    collectOriginals(kOtherBox);
    if (moved) {
        return kept;
    }
    // Unless "その他" lost the mail already (only its folder sync failed).
    auto after = otherBox.count();
    if (kept && after && after.value() == before.value()) {
        if (auto keepBox = file(kKeepBox)) {
            (void)keepBox.value().takeBackAppend(kept.value());
        }
    }
    collectOriginals(kKeepBox);
    return moved;
}

Status MailStore::sync(int box) {
    auto f = file(box);
    return f ? f.value().sync() : f.status();
}

Status MailStore::createIfMissing(int box) {
    auto f = file(box);
    return f ? f.value().createIfMissing() : f.status();
}

}  // namespace qf::store
