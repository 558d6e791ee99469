#include "store/MailRecord.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text/Cp932.h"

namespace qf::store {
namespace {

// `text` padded with spaces to `width` bytes.
std::string padded(const std::string& text, std::size_t width) {
    return text + std::string(width - text.size(), ' ');
}

std::string encoded(RecordKind kind, const MailFields& fields, std::int16_t status) {
    std::vector<char> record(layoutOf(kind).lengthBytes, 'x');
    encodeRecord(layoutOf(kind), fields, status, record);
    return std::string(record.begin(), record.end());
}

const MailFields kSample{"\xE3\x81\x82 subject", "from@example.jp",
                         "Mon, 7 Dec 2026 10:00:00 +0900", "body"};
const std::string kSubjectCp932 = "\x82\xA0 subject";  // "あ subject"

TEST(MailRecordLayoutTest, MailRecordIsByteExact) {
    std::string golden = padded(kSubjectCp932, 100) + padded("Mon, 7 Dec 2026 10:00:00 +0900", 90) +
                         padded("from@example.jp", 90) + padded("body", 32000) + "\r\n" +
                         std::string("\x01\x00", 2);
    ASSERT_EQ(golden.size(), 32284u);
    EXPECT_EQ(encoded(RecordKind::kMail, kSample, 1), golden);
}

TEST(MailRecordLayoutTest, SentRecordHasTheDateAfterTheBody) {
    MailFields sent{"Re:  hello", "to@example.jp", "2026/12/08 13:45:10", "text"};
    std::string golden = padded("Re:  hello", 100) + padded("to@example.jp", 90) +
                         padded("text", 32000) + "\r\n" + padded("2026/12/08 13:45:10", 90) +
                         std::string("\x01\x00", 2);
    ASSERT_EQ(golden.size(), 32284u);
    EXPECT_EQ(encoded(RecordKind::kSent, sent, 1), golden);
}

TEST(MailRecordLayoutTest, KeepRecordHasNulReservedFieldAndItsNumberAsStatus) {
    std::string golden = padded(kSubjectCp932, 300) + std::string(90, '\0') +
                         padded("body", 32000) + "\r\n" +
                         padded("Mon, 7 Dec 2026 10:00:00 +0900", 90) +
                         padded("from@example.jp", 90) + std::string("\x02\x01", 2);  // 258
    ASSERT_EQ(golden.size(), 32574u);
    EXPECT_EQ(encoded(RecordKind::kKeep, kSample, 258), golden);
}

TEST(MailRecordLayoutTest, StatusWordIsSignedLittleEndian) {
    std::vector<char> record(layoutOf(RecordKind::kMail).lengthBytes);
    RecordFormat format = layoutOf(RecordKind::kMail).format();
    for (std::int16_t value : {std::int16_t{1}, std::int16_t{0}, std::int16_t{32767},
                               std::int16_t{-1}, std::int16_t{0x1234}}) {
        writeStatusWord(record, format, value);
        EXPECT_EQ(readStatusWord(record, format), value);
    }
    EXPECT_EQ(record[32282], '\x34');
    EXPECT_EQ(record[32283], '\x12');
}

TEST(MailRecordLayoutTest, TextsAreStrippedCutAndReadBack) {
    std::string sixty;
    for (int i = 0; i < 60; ++i) {
        sixty += "\xE6\xBC\xA2";  // 漢
    }
    MailFields fields{sixty, "  padded@example.jp  ", "   ", std::string(40000, 'b')};
    std::vector<char> record(32284);
    encodeRecord(layoutOf(RecordKind::kMail), fields, 1, record);
    MailFields back = decodeRecord(layoutOf(RecordKind::kMail), record);
    EXPECT_EQ(back.subject, sixty.substr(0, 50 * 3));
    EXPECT_EQ(std::string(record.begin() + 190, record.begin() + 192), "pa");
    EXPECT_EQ(back.fromOrTo, "padded@example.jp");
    EXPECT_EQ(back.date, "");
    EXPECT_EQ(back.body, std::string(32000, 'b'));

    // Fields that arrive in CP932 give the same record, unconverted.
    MailFields cp932{text::toCp932(sixty), fields.fromOrTo, fields.date, fields.body};
    std::vector<char> fromCp932(32284);
    encodeCp932Record(layoutOf(RecordKind::kMail), cp932, 1, fromCp932);
    EXPECT_TRUE(fromCp932 == record);
}

TEST(MailRecordLayoutTest, ListRangesSkipTheBody) {
    auto mail = listRanges(layoutOf(RecordKind::kMail));
    ASSERT_EQ(mail.size(), 1u);
    EXPECT_EQ(mail[0].offset, 0u);
    EXPECT_EQ(mail[0].lengthBytes, 280u);

    auto sent = listRanges(layoutOf(RecordKind::kSent));
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].lengthBytes, 190u);
    EXPECT_EQ(sent[1].offset, 32192u);

    auto keep = listRanges(layoutOf(RecordKind::kKeep));
    ASSERT_EQ(keep.size(), 2u);
    EXPECT_EQ(keep[0].lengthBytes, 300u);
    EXPECT_EQ(keep[1].offset, 32392u);
    EXPECT_EQ(keep[1].lengthBytes, 180u);
}

}  // namespace
}  // namespace qf::store
