#include "store/RecordFile.h"

#include <algorithm>
#include <vector>

#include "store/RecordReader.h"

namespace qf::store {

using records::Reader;
using records::recordOffset;
using records::shapeOf;

namespace {

// Records moved per read or write when streaming a whole file (about 1 MB
// for a box): large enough to keep system calls rare, small enough to keep
// memory flat.
constexpr int kChunkRecords = 32;

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
    const std::uint64_t at = recordOffset(recordNumber, m_format);
    Status written = file.value()->writeAt(at, record);
    if (!written && appending) {
        // A half-written record would become a torn tail; take it back.
        (void)file.value()->truncate(before.lengthBytes);
    }
    if (written && appending) {
        base::startWritebackOfCompletedStretches(*file.value(), at, record.size());
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

}  // namespace qf::store
