#include "store/RecordReader.h"

#include <algorithm>
#include <vector>

namespace qf::store::records {

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

Status Reader::readExactly(std::uint64_t offset, std::span<char> out) {
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

Result<Reader> Reader::open(base::FileSystem& fs, const std::string& path,
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

namespace {

bool startsWith(std::span<const char> haystack, std::span<const char> prefix) {
    return prefix.size() <= haystack.size() &&
           std::equal(prefix.begin(), prefix.end(), haystack.begin());
}

}  // namespace

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

}  // namespace qf::store::records
