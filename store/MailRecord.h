// The three mail record layouts of the box files.
//
// Text fields hold CP932 text, left-aligned and padded with 0x20 (see
// text/FixedField.h); a field never written holds NUL bytes. The status word
// is 16-bit signed little-endian, non-zero = live, 0 = deleted until the next
// compaction.
//
// MailRecord, the six receiving boxes (32284 bytes):
// | Offset | Bytes | Field                    |
// |--------|-------|--------------------------|
// | 0      | 100   | Subject                  |
// | 100    | 90    | Date                     |
// | 190    | 90    | From                     |
// | 280    | 32000 | Body                     |
// | 32280  | 2     | line end 0x0D 0x0A       |
// | 32282  | 2     | status word, 1           |
//
// SentRecord, the send history (32284 bytes, its own field order):
// | Offset | Bytes | Field                    |
// |--------|-------|--------------------------|
// | 0      | 100   | Subject                  |
// | 100    | 90    | To                       |
// | 190    | 32000 | Body                     |
// | 32190  | 2     | line end 0x0D 0x0A       |
// | 32192  | 90    | Date (the clock text)    |
// | 32282  | 2     | status word, 1           |
//
// KeepRecord, the keep box (32574 bytes):
// | Offset | Bytes | Field                    |
// |--------|-------|--------------------------|
// | 0      | 300   | Subject                  |
// | 300    | 90    | reserved, NUL bytes      |
// | 390    | 32000 | Body                     |
// | 32390  | 2     | line end 0x0D 0x0A       |
// | 32392  | 90    | Date                     |
// | 32482  | 90    | From                     |
// | 32572  | 2     | status word: the record's own number when stored |
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "store/RecordFile.h"

namespace qf::store {

enum class RecordKind { kMail, kSent, kKeep };

// The body field of every record layout: a longer body keeps its first bytes.
inline constexpr std::size_t kBodyFieldBytes = 32000;

struct RecordLayout {
    RecordKind kind;
    std::size_t lengthBytes;
    ByteRange subject;
    ByteRange fromOrTo;  // From, or To in the send history
    ByteRange date;
    ByteRange body;
    ByteRange lineEnd;
    ByteRange status;

    RecordFormat format() const {
        return {lengthBytes, status.offset, lineEnd.offset, kind == RecordKind::kKeep};
    }
};

const RecordLayout& layoutOf(RecordKind kind);

// The texts of one mail, UTF-8.
struct MailFields {
    std::string subject;
    std::string fromOrTo;
    std::string date;
    std::string body;
};

// Fills `record` (REQUIRES: the layout's length): each text stripped of
// spaces and cut to its field, line end CR LF, the given status word; bytes
// outside the fields (the keep box's reserved field) become NUL.
void encodeRecord(const RecordLayout& layout, const MailFields& fields, std::int16_t status,
                  std::span<char> record);
// The same for fields that hold CP932 bytes, as the transport hands them
// over: written without a conversion.
void encodeCp932Record(const RecordLayout& layout, const MailFields& cp932Fields,
                       std::int16_t status, std::span<char> record);

// The record's texts, converted and stripped of spaces at both ends.
MailFields decodeRecord(const RecordLayout& layout, std::span<const char> record);

// A field as a list shows it: cut at the first NUL, converted, stripped.
// Plain ASCII (the same in CP932) skips the conversion.
std::string listText(std::span<const char> field);

// The ranges a listing needs (Subject, From/To, Date), merged where they
// touch: one read for a MailRecord, two for the others.
std::vector<ByteRange> listRanges(const RecordLayout& layout);

}  // namespace qf::store
