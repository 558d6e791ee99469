// The reading side of a record file, shared by its I/O, its compaction and
// its repair: an open file for one operation and the comparison that tells
// whether one file's records all appear in another.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>

#include "base/FileSystem.h"
#include "base/Status.h"
#include "store/RecordFile.h"

namespace qf::store::records {

Shape shapeOf(std::uint64_t lengthBytes, const RecordFormat& format);

std::uint64_t recordOffset(int recordNumber, const RecordFormat& format);

// An open record file for one operation; a missing file reads as empty.
class Reader {
  public:
    static Result<Reader> open(base::FileSystem& fs, const std::string& path,
                               const RecordFormat& format);

    const Shape& shape() const { return m_shape; }

    // Reads exactly out.size() bytes at `offset`; a short read means the file
    // shrank under us, which is reported rather than passed on as data.
    Status readExactly(std::uint64_t offset, std::span<char> out);

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

// True when every record of `part` (only its live ones when `liveOnly`) and
// its torn tail, as a prefix, appear in `whole` in the same order. Streams
// both files one record at a time.
Result<bool> appearsInOrder(base::FileSystem& fs, const std::string& part, bool liveOnly,
                            const std::string& whole, const RecordFormat& format);

}  // namespace qf::store::records
