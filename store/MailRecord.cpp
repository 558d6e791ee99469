#include "store/MailRecord.h"

#include <algorithm>

#include "text/FixedField.h"

namespace qf::store {

namespace {

constexpr RecordLayout kMailLayout{RecordKind::kMail, 32284,     {0, 100},
                                   {190, 90},         {100, 90}, {280, kBodyFieldBytes},
                                   {32280, 2},        {32282, 2}};
constexpr RecordLayout kSentLayout{RecordKind::kSent, 32284,       {0, 100},
                                   {100, 90},         {32192, 90}, {190, kBodyFieldBytes},
                                   {32190, 2},        {32282, 2}};
constexpr RecordLayout kKeepLayout{RecordKind::kKeep, 32574,       {0, 300},
                                   {32482, 90},       {32392, 90}, {390, kBodyFieldBytes},
                                   {32390, 2},        {32572, 2}};

std::span<char> fieldOf(std::span<char> record, ByteRange range) {
    return record.subspan(range.offset, range.lengthBytes);
}

std::span<const char> fieldOf(std::span<const char> record, ByteRange range) {
    return record.subspan(range.offset, range.lengthBytes);
}

// The field without the 0x20 padding around it. In CP932 a 0x20 byte is
// always a space (never half of a character), so trimming the bytes before
// converting gives the same text as stripping it after, without converting
// the padding of a 32000-byte body.
std::span<const char> trimmed(std::span<const char> field) {
    const std::string_view kept = text::stripSpaces(std::string_view(field.data(), field.size()));
    return {kept.data(), kept.size()};
}

std::string fieldText(std::span<const char> record, ByteRange range) {
    return text::readField(trimmed(fieldOf(record, range)));
}

}  // namespace

const RecordLayout& layoutOf(RecordKind kind) {
    switch (kind) {
        case RecordKind::kMail:
            return kMailLayout;
        case RecordKind::kSent:
            return kSentLayout;
        case RecordKind::kKeep:
            return kKeepLayout;
    }
    return kMailLayout;
}

namespace {

using FieldWriter = void (*)(std::span<char>, std::string_view);

void encodeWith(FieldWriter write, const RecordLayout& layout, const MailFields& fields,
                std::int16_t status, std::span<char> record) {
    std::fill(record.begin(), record.end(), '\0');
    write(fieldOf(record, layout.subject), fields.subject);
    write(fieldOf(record, layout.fromOrTo), fields.fromOrTo);
    write(fieldOf(record, layout.date), fields.date);
    write(fieldOf(record, layout.body), fields.body);
    record[layout.lineEnd.offset] = '\r';
    record[layout.lineEnd.offset + 1] = '\n';
    writeStatusWord(record, layout.format(), status);
}

}  // namespace

void encodeRecord(const RecordLayout& layout, const MailFields& fields, std::int16_t status,
                  std::span<char> record) {
    encodeWith(&text::writeField, layout, fields, status, record);
}

void encodeCp932Record(const RecordLayout& layout, const MailFields& cp932Fields,
                       std::int16_t status, std::span<char> record) {
    encodeWith(&text::writeCp932Field, layout, cp932Fields, status, record);
}

MailFields decodeRecord(const RecordLayout& layout, std::span<const char> record) {
    return {fieldText(record, layout.subject), fieldText(record, layout.fromOrTo),
            fieldText(record, layout.date), fieldText(record, layout.body)};
}

std::string listText(std::span<const char> field) {
    std::string_view cut = text::cutAtNul(std::string_view(field.data(), field.size()));
    std::span<const char> bytes = trimmed(std::span<const char>(cut.data(), cut.size()));
    bool ascii = std::all_of(bytes.begin(), bytes.end(),
                             [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    return ascii ? std::string(bytes.begin(), bytes.end()) : text::readListField(bytes);
}

std::vector<ByteRange> listRanges(const RecordLayout& layout) {
    std::vector<ByteRange> ranges{layout.subject, layout.fromOrTo, layout.date};
    std::sort(ranges.begin(), ranges.end(),
              [](const ByteRange& a, const ByteRange& b) { return a.offset < b.offset; });
    std::vector<ByteRange> merged;
    for (const ByteRange& range : ranges) {
        if (!merged.empty() && merged.back().offset + merged.back().lengthBytes == range.offset) {
            merged.back().lengthBytes += range.lengthBytes;
        } else {
            merged.push_back(range);
        }
    }
    return merged;
}

}  // namespace qf::store
